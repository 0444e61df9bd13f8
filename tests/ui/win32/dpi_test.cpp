// Layout pixels at a window's DPI: each edge rounded once, so that what meets in the layout meets
// at every DPI and a page's controls sit where the window's own would.
#include "ui/win32/dpi.h"

#include <gtest/gtest.h>

namespace kestrin::ui {
namespace {

TEST(DpiTest, EveryEdgeIsRoundedOnceFromItsPlaceInTheWindow) {
  // A container at (1, 1), a control beside another on the window and one on its first page.
  const ControlLayout rows[] = {
      {"容器", ControlKind::PageContainer, "甲", 1, 1, 40, 40},
      {"甲", ControlKind::Label, "", 1, 50, 1, 1},
      {"乙", ControlKind::Label, "", 2, 50, 3, 1},
      {"丙", ControlKind::Label, "", 1, 1, 1, 1, 0, 0},
  };
  const WindowLayout layout{"window", "", 100, 100, rows};
  struct Case {
    int dpi;
    int row;
    RECT place;  // in the window's client area, a page's row offset by its container
  };
  const Case cases[] = {
      {144, 1, {2, 75, 3, 77}},   // 1.5 and 3: the edge the next control starts at
      {144, 2, {3, 75, 8, 77}},
      {144, 3, {3, 3, 5, 5}},     // 2 and 3 from the window's edge, not 1.5 + 1.5
      {120, 3, {3, 3, 4, 4}},
      {96, 3, {2, 2, 3, 3}},
  };
  for (const Case& c : cases) {
    const std::vector<ControlLayout> scaled = RowsAtDpi(layout, c.dpi);
    const ControlLayout& row = scaled[static_cast<std::size_t>(c.row)];
    const bool onPage = row.page != kOnWindow;
    const int x = row.left + (onPage ? scaled[0].left : 0);
    const int y = row.top + (onPage ? scaled[0].top : 0);
    EXPECT_EQ(x, c.place.left) << c.dpi << " " << c.row;
    EXPECT_EQ(y, c.place.top) << c.dpi << " " << c.row;
    EXPECT_EQ(x + row.width, c.place.right) << c.dpi << " " << c.row;
    EXPECT_EQ(y + row.height, c.place.bottom) << c.dpi << " " << c.row;
  }
}

}  // namespace
}  // namespace kestrin::ui
