#include "ProgramMark.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "SkinColours.h"
#include "SkinGeometry.h"

namespace skin {

void DrawMark(QPainter& p, double x, double y, double size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(x, y);
  p.scale(size / 100.0, size / 100.0);  // drawn on a 100 x 100 grid

  QLinearGradient tile(0, 0, 100, 100);
  tile.setColorAt(0, Colour(palette::kAccentHover));
  tile.setColorAt(1, Colour(palette::kAccentPressed));
  QPainterPath square;
  square.addRoundedRect(QRectF(0, 0, 100, 100), 22, 22);
  p.fillPath(square, tile);

  const QColor white = Colour(palette::kTextOnAccent);
  if (size >= 24) {
    // A turning arrow around the triangle: converting, round and round.
    QPen ring(white, 7.5, Qt::SolidLine, Qt::RoundCap);
    p.setPen(ring);
    const QRectF circle(20, 20, 60, 60);
    p.drawArc(circle, 110 * 16, 290 * 16);
    // Arrowhead at the arc's end (40 degrees), pointing along the turn into the gap.
    const double a = 40.0 * M_PI / 180.0;
    const QPointF end(50 + 30 * std::cos(a), 50 - 30 * std::sin(a));
    const QPointF along(-std::sin(a), -std::cos(a));
    const QPointF across(along.y(), -along.x());
    QPainterPath head;
    head.moveTo(end + along * 17);
    head.lineTo(end - along * 4 + across * 10);
    head.lineTo(end - along * 4 - across * 10);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.fillPath(head, white);
  }
  QPainterPath play;
  const double s = size >= 24 ? 1.0 : 1.35;  // a bigger triangle when it stands alone
  play.moveTo(50 - 11 * s, 50 - 15 * s);
  play.lineTo(50 + 15 * s, 50);
  play.lineTo(50 - 11 * s, 50 + 15 * s);
  play.closeSubpath();
  p.fillPath(play, white);
  p.restore();
}

QImage PaintMark(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  DrawMark(p, 0, 0, size);
  p.end();
  return img.convertToFormat(QImage::Format_ARGB32);
}

QImage PaintTopLogo(const QString& fontFamily) {
  QImage img(kTopLogoSize, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawMark(p, 12, 6, 24);
  QFont font(fontFamily);
  font.setPixelSize(17);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 0.4);
  p.setFont(font);
  p.setPen(Colour(palette::kTextOnAccent));
  p.drawText(QRect(44, 0, kTopLogoSize.width() - 44, kTopLogoSize.height()),
             Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Wizconv"));
  p.end();
  return img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace skin
