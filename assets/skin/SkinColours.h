#pragma once
// Qt colours from the shared palette. Every colour of the skin is one of the palette's,
// a mix of two of them, or one of them with some transparency.

#include <QColor>
#include <cstdint>

#include "appcore/Palette.h"

namespace skin {

inline QColor Colour(uint32_t rgb) { return QColor::fromRgb(QRgb(0xFF000000u | rgb)); }

inline QColor Colour(uint32_t rgb, int alpha) {
  QColor c = Colour(rgb);
  c.setAlpha(alpha);
  return c;
}

// share = 0 gives a, 1 gives b.
inline QColor Mix(uint32_t a, uint32_t b, double share) {
  const QColor ca = Colour(a), cb = Colour(b);
  auto channel = [share](int x, int y) { return static_cast<int>(x + (y - x) * share + 0.5); };
  return QColor(channel(ca.red(), cb.red()), channel(ca.green(), cb.green()),
                channel(ca.blue(), cb.blue()));
}

// The left column: the page background with a breath of the accent.
inline QColor ColumnTint() { return Mix(palette::kWindow, palette::kAccent, 0.05); }
// The bottom bar behind the five wizard buttons.
inline QColor BottomBarColour() { return Colour(palette::kPanel); }

}  // namespace skin
