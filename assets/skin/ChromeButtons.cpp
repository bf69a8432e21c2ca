#include "ChromeButtons.h"

#include <QPainter>
#include <QPainterPath>

#include "SkinColours.h"
#include "SkinGeometry.h"

namespace skin {
namespace {

QColor GlyphColour(ButtonState state) {
  return state == ButtonState::kNormal ? Colour(palette::kTextOnAccent, 200)
                                       : Colour(palette::kTextOnAccent);
}

void FillRounded(QPainter& p, const QRectF& r, double radius, const QColor& c) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  p.fillPath(path, c);
}

// The button's spot of the header band, drawn on with antialiasing.
QImage HeaderSpot(const QImage& face, const QPoint& pos) {
  return face.copy(QRect(pos, kChromeButtonSize)).convertToFormat(QImage::Format_RGB32);
}

const QRectF kHighlight(2, 2, 24, 20);

}  // namespace

QImage PaintMinButton(const QImage& face, ButtonState state) {
  QImage img = HeaderSpot(face, kMinButtonPos);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  if (state == ButtonState::kHover) FillRounded(p, kHighlight, 4, Colour(palette::kPanel, 40));
  if (state == ButtonState::kPressed)
    FillRounded(p, kHighlight, 4, Colour(palette::kHeaderDark, 150));
  p.fillRect(QRect(9, 12, 10, 2), GlyphColour(state));
  return img;
}

QImage PaintCloseButton(const QImage& face, ButtonState state) {
  QImage img = HeaderSpot(face, kCloseButtonPos);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  if (state == ButtonState::kHover) FillRounded(p, kHighlight, 4, Colour(palette::kFailure));
  if (state == ButtonState::kPressed) {
    FillRounded(p, kHighlight, 4, Colour(palette::kFailure).darker(125));
  }
  QPen pen(GlyphColour(state), 1.7, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  p.drawLine(QPointF(9.5, 7.5), QPointF(18.5, 16.5));
  p.drawLine(QPointF(18.5, 7.5), QPointF(9.5, 16.5));
  return img;
}

QImage PaintBottomButton(ButtonState state) {
  QImage img(kBottomButtonSize, QImage::Format_RGB32);
  img.fill(BottomBarColour());
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  uint32_t fill = palette::kAccent;
  switch (state) {
    case ButtonState::kNormal:
      fill = palette::kAccent;
      break;
    case ButtonState::kHover:
      fill = palette::kAccentHover;
      break;
    case ButtonState::kPressed:
      fill = palette::kAccentPressed;
      break;
    case ButtonState::kDisabled:
      fill = palette::kDisabledFill;
      break;
  }
  FillRounded(p, QRectF(0, 0, kBottomButtonSize.width(), kBottomButtonSize.height()), 6,
              Colour(fill));
  // A soft lower edge gives the raised states some depth; pressed and disabled stay flat.
  if (state == ButtonState::kNormal || state == ButtonState::kHover) {
    p.setClipRect(QRect(0, kBottomButtonSize.height() - 2, kBottomButtonSize.width(), 2));
    FillRounded(p, QRectF(0, 0, kBottomButtonSize.width(), kBottomButtonSize.height()), 6,
                Colour(palette::kAccentPressed, 110));
  }
  return img;
}

}  // namespace skin
