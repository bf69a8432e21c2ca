#include "convert/FormatButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>

#include "appcore/Palette.h"

namespace convert {
namespace {

QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

// `amount` of `top` over `base`, for the light tints of the accent.
QColor Mix(uint32_t base, uint32_t top, double amount) {
  const QColor a = Colour(base), b = Colour(top);
  auto channel = [&](int x, int y) { return static_cast<int>(x + (y - x) * amount + 0.5); };
  return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                channel(a.blue(), b.blue()));
}

struct Colours {
  QColor fill, border, text, glyph;
};

Colours ColoursFor(FormatButton::Look look) {
  using L = FormatButton::Look;
  switch (look) {
    case L::Hover:
      return {Mix(palette::kPanel, palette::kAccent, 0.10), Colour(palette::kAccentHover),
              Colour(palette::kAccent), Colour(palette::kAccentHover)};
    case L::Pressed:
      return {Mix(palette::kPanel, palette::kAccent, 0.22), Colour(palette::kAccentPressed),
              Colour(palette::kAccentPressed), Colour(palette::kAccentPressed)};
    case L::Current:
      return {Colour(palette::kAccent), Colour(palette::kAccentPressed),
              Colour(palette::kTextOnAccent), Colour(palette::kTextOnAccent)};
    case L::Normal:
    default:
      return {Colour(palette::kPanel), Colour(palette::kBorder), Colour(palette::kText),
              Colour(palette::kTextSecondary)};
  }
}

// Draws the glyph of a class into a square `box`.
void DrawGlyph(QPainter& p, FormatButton::Glyph glyph, const QRectF& box, const QColor& colour) {
  const qreal s = box.width();
  const QPointF o = box.topLeft();
  auto at = [&](qreal x, qreal y) { return QPointF(o.x() + x * s, o.y() + y * s); };
  QPen pen(colour, qMax<qreal>(1.4, s / 12.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  switch (glyph) {
    case FormatButton::Glyph::Video: {
      // A screen with a play mark.
      p.drawRoundedRect(QRectF(at(0.04, 0.18), at(0.96, 0.82)), s * 0.12, s * 0.12);
      QPainterPath play;
      play.moveTo(at(0.40, 0.34));
      play.lineTo(at(0.68, 0.50));
      play.lineTo(at(0.40, 0.66));
      play.closeSubpath();
      p.setBrush(colour);
      p.drawPath(play);
      break;
    }
    case FormatButton::Glyph::Device: {
      // A handheld with its screen and button.
      p.drawRoundedRect(QRectF(at(0.24, 0.02), at(0.76, 0.98)), s * 0.10, s * 0.10);
      p.drawLine(at(0.30, 0.80), at(0.70, 0.80));
      p.setBrush(colour);
      p.setPen(Qt::NoPen);
      p.drawEllipse(at(0.50, 0.89), s * 0.045, s * 0.045);
      break;
    }
    case FormatButton::Glyph::Audio: {
      // A pair of beamed notes.
      p.setBrush(colour);
      p.setPen(Qt::NoPen);
      p.drawEllipse(at(0.24, 0.78), s * 0.15, s * 0.11);
      p.drawEllipse(at(0.72, 0.68), s * 0.15, s * 0.11);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      p.drawLine(at(0.37, 0.78), at(0.37, 0.16));
      p.drawLine(at(0.85, 0.68), at(0.85, 0.06));
      pen.setWidthF(s * 0.12);
      pen.setCapStyle(Qt::FlatCap);
      p.setPen(pen);
      p.drawLine(at(0.37, 0.19), at(0.85, 0.09));
      break;
    }
  }
}

// Draws `text` centred in `box` in the largest bold size from `maxPixels` down to
// `minPixels` that fits; a name still too wide is narrowed rather than shrunk further, so
// that long names stay as tall and readable as the others.
void DrawFittingText(QPainter& p, const QFont& base, const QString& text, const QRectF& box,
                     int maxPixels, int minPixels) {
  QFont font = base;
  font.setBold(true);
  qreal advance = 0;
  for (int px = maxPixels; px >= minPixels; --px) {
    font.setPixelSize(px);
    advance = QFontMetricsF(font).horizontalAdvance(text);
    if (advance <= box.width()) break;
  }
  p.save();
  p.setFont(font);
  if (advance > box.width()) {
    const qreal squeeze = box.width() / advance;
    p.translate(box.center().x(), 0);
    p.scale(squeeze, 1.0);
    p.translate(-box.center().x(), 0);
    const QRectF wide(box.center().x() - advance / 2, box.top(), advance, box.height());
    p.drawText(wide, Qt::AlignCenter, text);
  } else {
    p.drawText(box, Qt::AlignCenter, text);
  }
  p.restore();
}

}  // namespace

FormatButton::FormatButton(const QString& caption, Glyph glyph, Shape shape, QWidget* parent)
    : QAbstractButton(parent), glyph_(glyph), shape_(shape) {
  setText(caption);
  setAccessibleName(caption);
  setToolTip(caption);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
  resize(sizeHint());
}

QSize FormatButton::sizeHint() const {
  return shape_ == Shape::Card ? QSize(62, 57) : QSize(171, 32);
}

FormatButton::Look FormatButton::CurrentLook() const {
  if (!isEnabled()) return Look::Current;
  if (isDown()) return Look::Pressed;
  if (hovered_) return Look::Hover;
  return Look::Normal;
}

void FormatButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void FormatButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void FormatButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const Look look = CurrentLook();
  const Colours c = ColoursFor(look);

  const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = shape_ == Shape::Card ? 7 : 6;
  p.setPen(QPen(c.border, 1));
  p.setBrush(c.fill);
  p.drawRoundedRect(card, radius, radius);
  if (hasFocus() && look != Look::Current) {
    p.setPen(QPen(Colour(palette::kAccent), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(card.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
  }

  if (shape_ == Shape::Card) {
    const qreal glyphSize = 22;
    DrawGlyph(p, glyph_, QRectF((width() - glyphSize) / 2.0, 8, glyphSize, glyphSize), c.glyph);
    p.setPen(c.text);
    DrawFittingText(p, font(), text(), QRectF(4, 33, width() - 8, 18), 13, 11);
  } else {
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(14);
    const QFontMetrics metrics(f);
    const int glyphSize = 17;
    const int gap = 8;
    const int total = glyphSize + gap + metrics.horizontalAdvance(text());
    const int left = (width() - total) / 2;
    DrawGlyph(p, glyph_, QRectF(left, (height() - glyphSize) / 2.0, glyphSize, glyphSize), c.glyph);
    p.setPen(c.text);
    p.setFont(f);
    p.drawText(QRect(left + glyphSize + gap, 0, width(), height()),
               Qt::AlignLeft | Qt::AlignVCenter, text());
  }
}

}  // namespace convert
