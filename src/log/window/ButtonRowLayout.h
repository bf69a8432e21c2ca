#pragma once
// Where a row of buttons goes when it is centred as a group in a panel.

#include <vector>

namespace logwindow {

// Left edges of buttons of the given widths, laid out left to right with `gap` pixels
// between neighbours and the whole group centred in a panel `panelWidth` wide:
// the first left edge is panelWidth / 2 - groupWidth / 2 (both halves rounded down).
// A panel narrower than the group keeps the first button at 0 so that it stays reachable.
std::vector<int> CentredButtonLefts(int panelWidth, const std::vector<int>& widths, int gap);

}  // namespace logwindow
