#include "app/mainwindow/ImageButton.h"

#include <QPainter>

namespace app {

ImageButton::ImageButton(QWidget* parent) : QAbstractButton(parent) {
  setAttribute(Qt::WA_Hover);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
}

void ImageButton::setImages(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed,
                            const QPixmap& disabled) {
  images_ = {normal, hover, pressed, disabled};
  if (!normal.isNull()) setFixedSize(normal.size());
  update();
}

void ImageButton::setTransparent(bool transparent) {
  transparent_ = transparent;
  update();
}

void ImageButton::setCaptionColor(const QColor& c) {
  captionColor_ = c;
  update();
}

ImageButton::State ImageButton::visualState() const {
  if (!isEnabled()) return Disabled;
  if (isDown()) return Pressed;
  if (hovered_) return Hover;
  return Normal;
}

QPixmap ImageButton::imageFor(State s) const {
  const QPixmap& p = images_[s];
  return p.isNull() ? images_[Normal] : p;
}

QSize ImageButton::sizeHint() const {
  return images_[Normal].isNull() ? QSize(90, 32) : images_[Normal].size();
}

void ImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const State state = visualState();
  if (!transparent_) {
    QPixmap image = imageFor(state);
    if (!image.isNull()) painter.drawPixmap(rect(), image);
  }
  if (!text().isEmpty()) {
    QColor color = captionColor_;
    if (state == Disabled) color.setAlpha(transparent_ ? 110 : 200);
    painter.setPen(color);
    QFont f = font();
    f.setBold(true);
    painter.setFont(f);
    QRect r = rect();
    if (state == Pressed) r.translate(0, 1);  // the caption sinks with the button
    painter.drawText(r, Qt::AlignCenter, text());
  }
}

void ImageButton::enterEvent(QEnterEvent* e) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(e);
}

void ImageButton::leaveEvent(QEvent* e) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(e);
}

}  // namespace app
