#pragma once
// Small drawings the illustrations are made of. Each fits the rectangle it is given and
// draws with antialiasing in the colours it is handed.

#include <QColor>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace skin {

// A strip of film: a frame with sprocket holes down both sides.
void DrawFilmFrame(QPainter& p, const QRectF& r, const QColor& ink, const QColor& paper);
// Two beamed eighth notes.
void DrawNote(QPainter& p, const QRectF& r, const QColor& ink);
// A phone seen from the front, screen showing a play triangle.
void DrawPhone(QPainter& p, const QRectF& r, const QColor& ink, const QColor& screen);
// An arrow pointing down into a tray.
void DrawDownloadArrow(QPainter& p, const QRectF& r, const QColor& ink, double stroke);
// A filled circle with a play triangle cut in it.
void DrawPlayBadge(QPainter& p, const QPointF& centre, double radius, const QColor& fill,
                   const QColor& triangle);
// A screen (rounded rectangle) showing a play triangle.
void DrawVideoScreen(QPainter& p, const QRectF& r, const QColor& frame, const QColor& screen,
                     const QColor& triangle);
// A straight arrow from one point to another.
void DrawArrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& ink,
               double stroke);
// A soft round spot behind a pictogram.
void DrawSpot(QPainter& p, const QPointF& centre, double radius, const QColor& fill,
              const QColor& edge);

}  // namespace skin
