#include "ui/qt/ahead_of_window.h"

#include <gtest/gtest.h>

#include <array>

#include "resources/resources.h"

namespace kestrin::ui {
namespace {

std::span<const std::uint8_t> NotAPicture() {
  static constexpr std::array<std::uint8_t, 12> kBytes{0x89, 'P', 'N', 'G', 0, 1, 2, 3, 4, 5, 6, 7};
  return kBytes;
}

constexpr ControlLayout kControls[] = {
    {"图片框1", ControlKind::PictureBox, "", 312, -8, 432, 152, 0, kOnWindow, 0, &MainPicturePng},
    {"图片框2", ControlKind::PictureBox, "", 0, 0, 20, 10, 0, kOnWindow, 0, &NotAPicture},
};
const WindowLayout kWindow{"main", "", 757, 665, kControls, &WindowIconPng};

// What the thread prepared is what the window thread would have decoded itself, at the box's
// size, now or when first waited for, as often as it is asked for; a picture that
// does not decode is a null image every way.
TEST(AheadOfWindowTest, PreparedPicturesEqualThoseDecodedOnTheSpot) {
  PrepareAhead(kWindow);
  struct Case {
    const char* name;
    PictureSource source;
    QSize size;
    QSize expected;
  };
  const Case cases[] = {
      {"picture box", &MainPicturePng, {432, 152}, {432, 152}},
      {"icon at its own size", &WindowIconPng, {}, {128, 128}},
      {"not a picture", &NotAPicture, {20, 10}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage prepared = PictureImage(c.source, c.size);
    const QImage onTheSpot = PictureImage(c.source, c.size);
    const std::shared_future<QImage> later = PictureImageLater(c.source, c.size);
    EXPECT_EQ(prepared.size(), c.expected);
    EXPECT_EQ(prepared, onTheSpot);
    EXPECT_EQ(later.get(), onTheSpot);
    if (!prepared.isNull()) {
      EXPECT_EQ(prepared.format(), QImage::Format_ARGB32_Premultiplied);
    }
  }
}

}  // namespace
}  // namespace kestrin::ui
