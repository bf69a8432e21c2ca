#pragma once
// A button drawn from skin images: normal, mouse over, pressed and disabled. It sizes
// itself to its image and draws its caption centred on top. A transparent button draws
// only the caption.

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <array>

namespace app {

class ImageButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum State { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };

  explicit ImageButton(QWidget* parent = nullptr);

  // Images for the states; a missing disabled (or hover, pressed) image falls back to
  // the normal one. The button takes the normal image's size.
  void setImages(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed,
                 const QPixmap& disabled = QPixmap());
  void setTransparent(bool transparent);
  bool isTransparent() const { return transparent_; }
  void setCaptionColor(const QColor& c);

  // The state the button is drawn in now.
  State visualState() const;
  // The image drawn for a state (after fall-backs).
  QPixmap imageFor(State s) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  std::array<QPixmap, 4> images_;
  bool transparent_ = false;
  bool hovered_ = false;
  QColor captionColor_ = Qt::white;
};

}  // namespace app
