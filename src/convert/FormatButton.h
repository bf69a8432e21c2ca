#pragma once
// The drawn buttons of step 2: a format card (a small glyph of its class above the format's
// name) and a class tab (glyph and caption side by side). Four looks: normal, mouse over,
// pressed, and disabled, which marks the current choice and is drawn in the accent colour.

#include <QAbstractButton>

namespace convert {

class FormatButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum class Glyph { Video, Device, Audio };
  enum class Shape { Card, Tab };
  enum class Look { Normal, Hover, Pressed, Current };

  FormatButton(const QString& caption, Glyph glyph, Shape shape, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  // The look the button is drawn with now.
  Look CurrentLook() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  Glyph glyph_;
  Shape shape_;
  bool hovered_ = false;
};

}  // namespace convert
