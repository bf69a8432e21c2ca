#pragma once
// Placing equal cells in a grid that fills a container row by row (the format buttons).
// Plain C++.

namespace app {

// A rectangle in window coordinates; right and bottom are exclusive edges.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const Rect&) const = default;
};

// Places cell `index` of a grid that fills a container row by row. The right and bottom
// edges include the gaps, as the callers expect.
Rect GridCellRect(int containerWidth, int topMargin, int leftMargin, int index, int cellWidth,
                  int cellHeight, int verticalGap, int horizontalGap);

}  // namespace app
