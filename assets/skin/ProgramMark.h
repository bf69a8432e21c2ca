#pragma once
// The program's mark (an accent tile with a play triangle inside a turning arrow), the
// header logo and the multi-size icon built from it.

#include <QByteArray>
#include <QImage>
#include <QString>

class QPainter;

namespace skin {

// Draws the mark into a square of side `size` at (x, y). Small sizes drop the arrow.
void DrawMark(QPainter& p, double x, double y, double size);

// The mark alone on a transparent square.
QImage PaintMark(int size);

// The mark and the name in white on transparent, for the header band.
QImage PaintTopLogo(const QString& fontFamily);

}  // namespace skin
