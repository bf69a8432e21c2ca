#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "appcore/GridLayout.h"

namespace fs = std::filesystem;
using namespace app;

TEST(GridLayoutTest, GridCellsFillRowsLeftToRight) {
  // Width 529, margins 5 (top) and 10 (left), cells 62 x 57, gaps 3 (vertical), 2 (horizontal):
  // eight columns.
  const auto cell = [](int index) { return GridCellRect(529, 5, 10, index, 62, 57, 3, 2); };
  EXPECT_EQ(cell(0), (Rect{10, 5, 74, 65}));
  EXPECT_EQ(cell(7), (Rect{458, 5, 522, 65}));
  EXPECT_EQ(cell(8), (Rect{10, 65, 74, 125}));
  // A container narrower than one cell still has one column.
  EXPECT_EQ(GridCellRect(30, 0, 0, 2, 62, 57, 0, 0), (Rect{0, 114, 62, 171}));
}
