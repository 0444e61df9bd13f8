// The items of a layout row's text: tool-bar captions, status parts and page names.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kestrin::ui {
namespace {

TEST(LayoutLinesTest, ARowsTextSplitsIntoItsItemsAtEachLineFeed) {
  struct Case {
    const char* name;
    std::string_view text;
    std::vector<std::string_view> items;
  };
  const Case cases[] = {
      {"three captions", "甲\n乙\n丙", {"甲", "乙", "丙"}},
      {"one item", "状态提示：", {"状态提示："}},
      {"empty text is one empty item", "", {""}},
      // A status bar of two parts whose second starts empty.
      {"line feed at the end", "状态提示：\n", {"状态提示：", ""}},
      {"empty item between", "一\n\n二", {"一", "", "二"}},
      {"only a line feed", "\n", {"", ""}},
      {"CR stays part of its item", "一\r\n二", {"一\r", "二"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LayoutLines(c.text), c.items);
  }
}

}  // namespace
}  // namespace kestrin::ui
