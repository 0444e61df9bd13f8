// What rows ask of their controls' looks: the size of a character height, label wrapping.
#include "ui/qt/control_looks.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

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

// A label breaks into lines only in a box of two lines, and only when its ink, not its advance,
// is wider than the box: a full-width colon at the end leaves half its cell blank. Checked at
// every width around the text's.
TEST(ControlLooksTest, LabelsWrapWhenTheirInkDoesNotFit) {
  const QFont window = WindowFont();
  const QFont large = RowFont(window, kLargeFont);
  struct Case {
    const char* name;
    const char* text;  // UTF-8
    QFont font;
  };
  const Case cases[] = {
      {"ending in a full-width colon", "推送接口请到百度站长获取，地址如下：", window},
      {"Latin in the large font", "官网：kestrin.example", large},
      {"trailing blanks", "地址如下   ", window},
      {"bold", "列表采集", RowFont(window, kBoldFont)},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf8(c.text);
    const int advance = QFontMetrics(c.font).horizontalAdvance(text);
    const int ink = InkWidth(c.font, text);
    EXPECT_LE(ink, advance) << c.name;
    for (int width = advance - 40; width <= advance + 4; ++width) {
      const ControlLayout twoLines{"标签", ControlKind::Label, "", 0, 0, width, 48};
      const ControlLayout oneLine{"标签", ControlKind::Label, "", 0, 0, width, 16};
      EXPECT_EQ(NeedsWrap(c.font, text, twoLines), ink > width) << c.name << " at " << width;
      EXPECT_FALSE(NeedsWrap(c.font, text, oneLine)) << c.name << " at " << width;
    }
  }
}

}  // namespace
}  // namespace kestrin::ui
