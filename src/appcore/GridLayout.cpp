#include "appcore/GridLayout.h"

#include <algorithm>

namespace app {

Rect GridCellRect(int containerWidth, int topMargin, int leftMargin, int index, int cellWidth,
                  int cellHeight, int verticalGap, int horizontalGap) {
  const int columns =
      std::max(1, cellWidth > 0 ? (containerWidth - leftMargin - horizontalGap) / cellWidth : 1);
  const int column = index % columns;
  const int row = index / columns;
  Rect r;
  r.left = leftMargin + column * (cellWidth + horizontalGap);
  r.top = topMargin + row * (cellHeight + verticalGap);
  r.right = r.left + cellWidth + horizontalGap;
  r.bottom = r.top + cellHeight + verticalGap;
  return r;
}

}  // namespace app
