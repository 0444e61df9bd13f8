// What rows ask of their controls' looks: the size of a character height, label wrapping.
#include "ui/qt/control_looks.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include "ui/qt/widget_access.h"
#include "ui/qt/window_font.h"

namespace kestrin::ui {
namespace {

// The size of a character height is the largest whose cell fits, in each face.
TEST(ControlLooksTest, ACharacterHeightIsTheLargestSizeWhoseCellFits) {
  QFont other = WindowFont();
  other.setFamilies({QStringLiteral("DejaVu Sans")});
  for (const QFont& base : {WindowFont(), other}) {
    for (const int cell : {16, 20, 24}) {
      const int size = PixelSizeForCell(base, cell);
      QFont font = base;
      font.setPixelSize(size);
      EXPECT_LE(QFontMetrics(font).height(), cell) << base.families().join(",").toStdString() << " " << cell;
      font.setPixelSize(size + 1);
      EXPECT_GT(QFontMetrics(font).height(), cell) << base.families().join(",").toStdString() << " " << cell;
    }
  }
}

// A label breaks into lines only in a box of two lines, and only when it reaches further than the
// box as SimSun draws it: a full-width mark at the end leaves the right half of its cell blank.
// Checked at every width around the text's.
TEST(ControlLooksTest, LabelsWrapWhenTheyReachPastTheirBox) {
  const QFont window = WindowFont();
  const QFont large = RowFont(window, kLargeFont);
  struct Case {
    const char* name;
    const char* text;  // GBK, as every narrow text here
    QFont font;
    int blank;  // of the advance, left blank at the end
  };
  const Case cases[] = {
      {"ending in a full-width colon", "推送接口请到百度站长获取，地址如下：", window, 6},
      {"Latin in the large font", "官网：kestrin.example", large, 0},
      {"trailing blanks", "地址如下   ", window, 0},
      {"bold", "列表采集", RowFont(window, kBoldFont), 0},
  };
  for (const Case& c : cases) {
    const QString text = ToQString(c.text);
    const int reach = QFontMetrics(c.font).horizontalAdvance(text) - c.blank;
    for (int width = reach - 40; width <= reach + 4; ++width) {
      const ControlLayout twoLines{"标签", ControlKind::Label, "", 0, 0, width, 48};
      const ControlLayout oneLine{"标签", ControlKind::Label, "", 0, 0, width, 16};
      EXPECT_EQ(NeedsWrap(c.font, text, twoLines), reach > width) << c.name << " at " << width;
      EXPECT_FALSE(NeedsWrap(c.font, text, oneLine)) << c.name << " at " << width;
    }
  }
}

}  // namespace
}  // namespace kestrin::ui
