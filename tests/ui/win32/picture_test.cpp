// Pictures scaled to their boxes: areas averaged by coverage and by alpha (enlargements shaded
// between neighbours), and laid over the window's background.
#include "ui/win32/picture.h"

#include <gtest/gtest.h>

#include <vector>

#include "resources/resources.h"

namespace kestrin::ui {
namespace {

DecodedImage Image(int width, int height, std::vector<std::uint32_t> pixels) {
  return DecodedImage{width, height, std::move(pixels)};
}

TEST(ScaleImageTest, EachPixelAveragesTheAreaItCoversOrShadesBetweenItsSources) {
  struct Case {
    const char* name;
    DecodedImage from;
    int width, height;
    std::vector<std::uint32_t> expected;
  };
  const Case cases[] = {
      {"same size is unchanged", Image(2, 1, {0xFF102030, 0x80FFFFFF}), 2, 1, {0xFF102030, 0x80FFFFFF}},
      {"two opaque pixels into one", Image(2, 1, {0xFF000000, 0xFFFFFFFF}), 1, 1, {0xFF808080}},
      // A transparent pixel's colour must not show: red at half coverage keeps its red.
      {"a transparent neighbour lends no colour", Image(2, 1, {0xFFFF0000, 0x0000FF00}), 1, 1, {0x80FF0000}},
      {"all transparent stays transparent", Image(2, 2, {0, 0, 0, 0}), 1, 1, {0}},
      // Three columns into two: the middle source column is shared half and half.
      {"a column split between two", Image(3, 1, {0xFF000000, 0xFF909090, 0xFFFFFFFF}), 2, 1, {0xFF303030, 0xFFDADADA}},
      {"enlarged, each copies its source", Image(1, 1, {0xFF123456}), 2, 2, {0xFF123456, 0xFF123456, 0xFF123456, 0xFF123456}},
      // Enlarged, a pixel between two sources shades between them by nearness, not as a block.
      {"enlarged, shaded between its sources", Image(2, 1, {0xFF000000, 0xFFFFFFFF}), 4, 1,
       {0xFF000000, 0xFF404040, 0xFFBFBFBF, 0xFFFFFFFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedImage scaled = ScaleImage(c.from, c.width, c.height);
    EXPECT_EQ(scaled.width, c.width);
    EXPECT_EQ(scaled.height, c.height);
    EXPECT_EQ(scaled.pixels, c.expected);
  }
  EXPECT_TRUE(ScaleImage(Image(0, 0, {}), 4, 4).pixels.empty());
  EXPECT_TRUE(ScaleImage(Image(1, 1, {0xFF000000}), 0, 4).pixels.empty());
}

TEST(ComposeOverTest, AlphaMixesWithTheBackground) {
  const DecodedImage composed =
      ComposeOver(Image(3, 1, {0xFFFF0000, 0x00FF0000, 0x80000000}), 0xF5F5F5);
  EXPECT_EQ(composed.pixels, (std::vector<std::uint32_t>{0xFFFF0000, 0xFFF5F5F5, 0xFF7A7A7A}));
}

// The main window's picture as its box shows it: its red frame survives the scaling.
TEST(ScaleImageTest, TheMainPictureKeepsItsRedFrameAtTheBoxSize) {
  const std::optional<DecodedImage> picture = DecodePng(MainPicturePng());
  ASSERT_TRUE(picture.has_value());
  const DecodedImage shown = ComposeOver(ScaleImage(*picture, 432, 152), 0xF5F5F5);
  int red = 0;
  for (std::uint32_t p : shown.pixels) {
    if ((p >> 16 & 0xFF) > 190 && (p >> 8 & 0xFF) < 90 && (p & 0xFF) < 90) ++red;
  }
  EXPECT_GT(red, 200);
}

}  // namespace
}  // namespace kestrin::ui
