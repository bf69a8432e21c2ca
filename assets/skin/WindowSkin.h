#pragma once
// The window skin bitmap: header band, title strip, left column, page card and bottom bar,
// with the rounded corners cut out in the transparent colour.

#include <QImage>

namespace skin {

// The window's face without the shape: every pixel opaque, no transparent colour.
// Chrome buttons copy their backgrounds from it so that they blend in.
QImage PaintWindowFace();

// True when the pixel lies inside the rounded window (its centre within the outline).
bool InsideWindowShape(int x, int y);

// The face with every pixel outside the shape set to exactly the transparent colour and
// no pixel inside it equal to that colour.
QImage PaintWindowSkin();

}  // namespace skin
