#include "log/window/ButtonRowLayout.h"

#include <algorithm>

namespace logwindow {

std::vector<int> CentredButtonLefts(int panelWidth, const std::vector<int>& widths, int gap) {
  std::vector<int> lefts;
  if (widths.empty()) return lefts;
  int groupWidth = gap * static_cast<int>(widths.size() - 1);
  for (int w : widths) groupWidth += w;
  int left = std::max(0, panelWidth / 2 - groupWidth / 2);
  for (int w : widths) {
    lefts.push_back(left);
    left += w + gap;
  }
  return lefts;
}

}  // namespace logwindow
