#include "Illustrations.h"

#include <QPainter>
#include <QPainterPath>

#include "Pictograms.h"
#include "SkinColours.h"
#include "SkinGeometry.h"

namespace skin {
namespace {

QImage TransparentImage(const QSize& size) {
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

// The card body: white with a hairline frame, the frame on whole pixels.
void DrawCard(QPainter& p) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath card;
  card.addRoundedRect(QRectF(0.5, 0.5, kModeCardSize.width() - 1, kModeCardSize.height() - 1), 12,
                      12);
  p.setPen(QPen(Colour(palette::kBorder), 1.0));
  p.setBrush(Colour(palette::kPanel));
  p.drawPath(card);
  p.restore();
}

void DrawPill(QPainter& p, const QRectF& r, const QColor& c) {
  QPainterPath pill;
  pill.addRoundedRect(r, r.height() / 2, r.height() / 2);
  p.fillPath(pill, c);
}

QImage Finish(QImage& img) { return img.convertToFormat(QImage::Format_ARGB32); }

}  // namespace

QImage PaintLeftLogo() {
  QImage img = TransparentImage(kLeftLogoSize);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor spot = Colour(palette::kPanel);
  const QColor spotEdge = Colour(palette::kBorder);
  const QColor screenTint = Mix(palette::kPanel, palette::kAccent, 0.18);
  const QColor flow = Mix(palette::kWindow, palette::kAccent, 0.6);  // opaque: no darker overlap

  // Converting: a film becomes music and a clip for the phone.
  DrawSpot(p, QPointF(90, 64), 46, spot, spotEdge);
  DrawFilmFrame(p, QRectF(60, 43, 60, 42), Colour(palette::kHeaderLight), spot);
  DrawArrow(p, QPointF(74, 118), QPointF(54, 150), flow, 3);
  DrawArrow(p, QPointF(106, 118), QPointF(126, 150), flow, 3);
  DrawSpot(p, QPointF(46, 192), 36, spot, spotEdge);
  DrawNote(p, QRectF(29, 174, 36, 36), Colour(palette::kAccent));
  DrawSpot(p, QPointF(134, 192), 36, spot, spotEdge);
  DrawPhone(p, QRectF(121, 170, 26, 44), Colour(palette::kHeaderDark), screenTint);

  // A quiet divider between the two workflows.
  p.setPen(Qt::NoPen);
  p.setBrush(Colour(palette::kBorder));
  for (int i = -1; i <= 1; ++i) p.drawEllipse(QPointF(90 + i * 14, 262), 2.5, 2.5);

  // Downloading: a video arrives.
  DrawSpot(p, QPointF(90, 338), 54, spot, spotEdge);
  DrawDownloadArrow(p, QRectF(68, 306, 44, 56), Colour(palette::kAccent), 6);
  DrawPlayBadge(p, QPointF(124, 372), 17, Colour(palette::kHeaderLight), Colour(palette::kPanel));
  p.end();
  return Finish(img);
}

QImage PaintDownloadCard() {
  QImage img = TransparentImage(kModeCardSize);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCard(p);
  const QColor screenTint = Mix(palette::kPanel, palette::kAccent, 0.14);
  DrawVideoScreen(p, QRectF(40, 24, 124, 82), Colour(palette::kHeaderLight), screenTint,
                  Colour(palette::kPanel));
  // The download badge overlaps the screen's corner, ringed in white to stand apart.
  p.setPen(QPen(Colour(palette::kPanel), 4));
  p.setBrush(Colour(palette::kAccent));
  p.drawEllipse(QPointF(172, 98), 27, 27);
  DrawDownloadArrow(p, QRectF(161, 82, 22, 30), Colour(palette::kPanel), 3.5);
  // Progress of the transfer.
  DrawPill(p, QRectF(40, 132, 160, 8), Colour(palette::kBorder));
  DrawPill(p, QRectF(40, 132, 104, 8), Colour(palette::kAccent));
  p.end();
  return Finish(img);
}

QImage PaintConvertCard() {
  QImage img = TransparentImage(kModeCardSize);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCard(p);
  DrawFilmFrame(p, QRectF(28, 40, 80, 60), Colour(palette::kHeaderLight), Colour(palette::kPanel));
  DrawArrow(p, QPointF(118, 70), QPointF(150, 70), Colour(palette::kAccent), 4);
  p.setPen(Qt::NoPen);
  p.setBrush(Colour(palette::kAccent));
  p.drawEllipse(QPointF(186, 70), 30, 30);
  DrawNote(p, QRectF(170, 53, 32, 34), Colour(palette::kPanel));
  // The choice of formats, hinted by three chips.
  DrawPill(p, QRectF(52, 126, 40, 12), Mix(palette::kPanel, palette::kAccent, 0.25));
  DrawPill(p, QRectF(100, 126, 40, 12), Mix(palette::kPanel, palette::kSuccess, 0.3));
  DrawPill(p, QRectF(148, 126, 40, 12), Mix(palette::kPanel, palette::kHeaderLight, 0.25));
  p.end();
  return Finish(img);
}

}  // namespace skin
