#include "Pictograms.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace skin {

void DrawFilmFrame(QPainter& p, const QRectF& r, const QColor& ink, const QColor& paper) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double radius = r.height() * 0.08;
  QPainterPath body;
  body.addRoundedRect(r, radius, radius);
  p.fillPath(body, ink);
  // Sprocket holes: a column on each side.
  const double band = r.width() * 0.16;
  const int holes = 4;
  const double pitch = r.height() / holes;
  const double hole = std::min(band * 0.5, pitch * 0.5);
  for (int i = 0; i < holes; ++i) {
    const double cy = r.top() + pitch * (i + 0.5);
    for (double cx : {r.left() + band / 2, r.right() - band / 2}) {
      QPainterPath h;
      h.addRoundedRect(QRectF(cx - hole / 2, cy - hole / 2, hole, hole), hole * 0.25, hole * 0.25);
      p.fillPath(h, paper);
    }
  }
  // The picture window.
  const QRectF picture = r.adjusted(band, r.height() * 0.1, -band, -r.height() * 0.1);
  QPainterPath window;
  window.addRoundedRect(picture, radius * 0.6, radius * 0.6);
  p.fillPath(window, paper);
  // A little landscape in the picture: a hill and a sun.
  QPainterPath hill;
  hill.moveTo(picture.bottomLeft());
  hill.lineTo(picture.left() + picture.width() * 0.35, picture.top() + picture.height() * 0.45);
  hill.lineTo(picture.left() + picture.width() * 0.6, picture.top() + picture.height() * 0.75);
  hill.lineTo(picture.left() + picture.width() * 0.75, picture.top() + picture.height() * 0.6);
  hill.lineTo(picture.bottomRight());
  hill.closeSubpath();
  QColor soft = ink;
  soft.setAlpha(90);
  p.setClipPath(window);
  p.fillPath(hill, soft);
  const double sun = picture.height() * 0.14;
  p.setPen(Qt::NoPen);
  p.setBrush(soft);
  p.drawEllipse(
      QPointF(picture.right() - picture.width() * 0.22, picture.top() + picture.height() * 0.3),
      sun, sun);
  p.restore();
}

void DrawNote(QPainter& p, const QRectF& r, const QColor& ink) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(r.topLeft());
  p.scale(r.width() / 100.0, r.height() / 100.0);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  // Heads, tilted like handwritten ones.
  for (const QPointF& c : {QPointF(26, 78), QPointF(74, 70)}) {
    p.save();
    p.translate(c);
    p.rotate(-22);
    p.drawEllipse(QPointF(0, 0), 15, 11);
    p.restore();
  }
  // Stems and the beam.
  p.drawRect(QRectF(33, 20, 8, 58));
  p.drawRect(QRectF(81, 12, 8, 58));
  QPainterPath beam;
  beam.moveTo(33, 20);
  beam.lineTo(89, 8);
  beam.lineTo(89, 24);
  beam.lineTo(33, 36);
  beam.closeSubpath();
  p.drawPath(beam);
  p.restore();
}

void DrawPhone(QPainter& p, const QRectF& r, const QColor& ink, const QColor& screen) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double radius = r.width() * 0.18;
  QPainterPath body;
  body.addRoundedRect(r, radius, radius);
  p.fillPath(body, ink);
  const double side = r.width() * 0.1;
  const QRectF glass = r.adjusted(side, r.height() * 0.1, -side, -r.height() * 0.14);
  QPainterPath g;
  g.addRoundedRect(glass, radius * 0.35, radius * 0.35);
  p.fillPath(g, screen);
  // Home button.
  p.setPen(Qt::NoPen);
  p.setBrush(screen);
  const double dot = r.width() * 0.07;
  p.drawEllipse(QPointF(r.center().x(), r.bottom() - r.height() * 0.07), dot, dot);
  // Play triangle on the screen.
  const QPointF c = glass.center();
  const double t = glass.width() * 0.22;
  QPainterPath play;
  play.moveTo(c.x() - t * 0.7, c.y() - t);
  play.lineTo(c.x() + t, c.y());
  play.lineTo(c.x() - t * 0.7, c.y() + t);
  play.closeSubpath();
  p.fillPath(play, ink);
  p.restore();
}

void DrawDownloadArrow(QPainter& p, const QRectF& r, const QColor& ink, double stroke) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(ink, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const double cx = r.center().x();
  const double head = r.width() * 0.3;
  const double arrowBottom = r.top() + r.height() * 0.68;
  p.drawLine(QPointF(cx, r.top()), QPointF(cx, arrowBottom));
  p.drawPolyline(QVector<QPointF>{QPointF(cx - head, arrowBottom - head), QPointF(cx, arrowBottom),
                                  QPointF(cx + head, arrowBottom - head)});
  // The tray it drops into.
  const double trayTop = r.top() + r.height() * 0.78;
  p.drawPolyline(QVector<QPointF>{QPointF(r.left(), trayTop), QPointF(r.left(), r.bottom()),
                                  QPointF(r.right(), r.bottom()), QPointF(r.right(), trayTop)});
  p.restore();
}

void DrawPlayBadge(QPainter& p, const QPointF& centre, double radius, const QColor& fill,
                   const QColor& triangle) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawEllipse(centre, radius, radius);
  const double t = radius * 0.42;
  QPainterPath play;
  play.moveTo(centre.x() - t * 0.7, centre.y() - t);
  play.lineTo(centre.x() + t, centre.y());
  play.lineTo(centre.x() - t * 0.7, centre.y() + t);
  play.closeSubpath();
  p.fillPath(play, triangle);
  p.restore();
}

void DrawVideoScreen(QPainter& p, const QRectF& r, const QColor& frame, const QColor& screen,
                     const QColor& triangle) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double radius = r.height() * 0.1;
  QPainterPath outer;
  outer.addRoundedRect(r, radius, radius);
  p.fillPath(outer, frame);
  const double inset = r.height() * 0.07;
  QPainterPath inner;
  inner.addRoundedRect(r.adjusted(inset, inset, -inset, -inset), radius * 0.6, radius * 0.6);
  p.fillPath(inner, screen);
  DrawPlayBadge(p, r.center(), r.height() * 0.24, frame, triangle);
  p.restore();
}

void DrawArrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& ink,
               double stroke) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF d = to - from;
  const double len = std::hypot(d.x(), d.y());
  if (len <= 0) {
    p.restore();
    return;
  }
  const QPointF along = d / len;
  const QPointF across(-along.y(), along.x());
  const double head = stroke * 2.6;
  p.setPen(QPen(ink, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(from, to - along * head * 0.8);
  QPainterPath tip;
  tip.moveTo(to);
  tip.lineTo(to - along * head * 1.6 + across * head);
  tip.lineTo(to - along * head * 1.6 - across * head);
  tip.closeSubpath();
  p.setPen(Qt::NoPen);
  p.fillPath(tip, ink);
  p.restore();
}

void DrawSpot(QPainter& p, const QPointF& centre, double radius, const QColor& fill,
              const QColor& edge) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(edge, 1.0));
  p.setBrush(fill);
  p.drawEllipse(centre, radius - 0.5, radius - 0.5);
  p.restore();
}

}  // namespace skin
