// The start window's first frame, drawn on a thread before its widgets are made, against the
// widgets: each control's box the same, pixel for pixel.
#include "ui/qt/stand_in.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "resources/resources.h"
#include "tests/ui/qt/stand_in_check.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

constexpr std::string_view kWindow = "first";

// Every kind a start window draws, in the looks the main window asks for: a multi-line box whose
// text wraps and scrolls, one that is empty, a read-only and a grey line box, a label that wraps
// and one in the large font, a tool bar in bold.
constexpr ControlLayout kControls[] = {
    {"工具条1", ControlKind::ToolBar, "列表采集\n自助推送", 16, 15, 248, 32, kBoldFont},
    {"标签1", ControlKind::Label, "推送接口请到百度站长获取，地址如下：", 32, 56, 216, 32},
    {"编辑框1", ControlKind::EditBox, "https://ziyuan.example/linksubmit/index", 32, 96, 208, 24, kReadOnly},
    {"编辑框2", ControlKind::EditBox, "如：http://data.example/urls?site=www.example-site.cn&token=xxxxxxxx", 93, 130,
     300, 24, kGreyText},
    {"图片框1", ControlKind::PictureBox, "", 312, -8, 200, 80, 0, kOnWindow, 0, &MainPicturePng},
    {"选择夹1", ControlKind::PageContainer, "一\n二", 8, 160, 480, 260},
    {"状态条1", ControlKind::StatusBar, "状态提示：\n", 0, 0, 0, 20, 0, kOnWindow, 60},
    {"标签2", ControlKind::Label, "分页数字用$代替", 8, 4, 88, 24, kRedText, 0},
    {"选择框1", ControlKind::CheckBox, "分页", 8, 30, 47, 24, kChecked, 0},
    {"选择框2", ControlKind::CheckBox, "倒序采集", 60, 30, 72, 24, 0, 0},
    {"单选框1", ControlKind::RadioButton, "gb2312编码", 140, 30, 80, 24, 0, 0},
    {"单选框2", ControlKind::RadioButton, "UTF-8编码", 230, 30, 80, 24, kChecked, 0},
    {"编辑框3", ControlKind::EditBox, "10", 320, 30, 32, 24, 0, 0},
    {"编辑框4", ControlKind::EditBox, "<div class=\"cca\">\r", 8, 60, 112, 32, kMultiLine, 0},
    {"编辑框5", ControlKind::EditBox, "", 130, 60, 200, 100, kMultiLine, 0},
    {"编辑框6", ControlKind::EditBox, "一\r\n二\r\n三\r\n四\r\n五\r\n六\r\n七\r\n八\r\n九\r\n十\r\n十一\r\n十二\r\n"
     "十三\r\n十四\r\n十五\r\n十六\r\n十七\r\n十八", 340, 110, 100, 90, kMultiLine, 0},
    {"标签3", ControlKind::Label, "官网：kestrin.example", 340, 60, 130, 48, kRedText | kLargeFont, 0},
    {"按钮1", ControlKind::Button, "开始采集", 8, 170, 72, 24, 0, 0},
    {"按钮2", ControlKind::Button, "第二页", 8, 8, 80, 24, 0, 1},  // not in the first frame
};
const WindowLayout kLayouts[] = {{kWindow, "首帧", 520, 480, kControls}};

TEST(StandInTest, TheFirstFrameIsWhatTheWidgetsDrawAfterIt) {
  InstallProgram({kLayouts, {}, kWindow});
  ASSERT_TRUE(LoadWindow(kWindow));
  QWidget* window = WindowWidget(kWindow);
  ASSERT_NE(window, nullptr);
  if (QWidget* focused = window->focusWidget()) focused->clearFocus();

  const testgui::FrameComparison comparison = testgui::CompareFirstFrame(kLayouts[0], *window);
  ASSERT_EQ(comparison.boxes.size(), std::size(kControls) - 1);
  for (const testgui::BoxDifference& box : comparison.boxes) EXPECT_EQ(box.pixels, 0) << box.control;
  EXPECT_EQ(comparison.windowPixels, 0);
  if (comparison.windowPixels != 0) {
    const std::string folder = testing::TempDir();
    comparison.widgets.save(QString::fromStdString(folder + "first_frame_widgets.png"));
    comparison.standIn.save(QString::fromStdString(folder + "first_frame_drawn.png"));
    ADD_FAILURE() << "both frames are in " << folder;
  }
  delete window;
}

QImage PaintedBy(StandIn& standIn, const QWidget& window) {
  QImage image(window.size() * window.devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(window.devicePixelRatioF());
  QPainter painter(&image);
  standIn.Paint(painter, window.height());
  return image;
}

// A frame drawn is kept where the window's frame on disk says, when asked once it is painted; the
// next window drawn from the same shows it without drawing, pixel for pixel the same; one drawn
// from something else draws again, and so does a window with nowhere to keep a frame.
TEST(StandInTest, AFrameDrawnIsKeptAndShownTheNextTime) {
  InstallProgram({kLayouts, {}, kWindow});
  ASSERT_TRUE(LoadWindow(kWindow));
  QWidget* window = WindowWidget(kWindow);
  ASSERT_NE(window, nullptr);
  const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / "stand_in_kept" / "frame";
  std::filesystem::remove_all(path.parent_path());
  const auto onDisk = [&](const std::filesystem::path& at) {
    std::promise<FrameOnDisk> read;
    read.set_value({at, QByteArray(32, 's'), ReadKeptFrame(at)});
    return read.get_future().share();
  };

  QImage drawn;
  {
    StandIn first(kLayouts[0], *window, onDisk(path));
    EXPECT_FALSE(first.FromDisk());
    first.Keep();  // not painted yet: nothing to keep
    drawn = PaintedBy(first, *window);
    EXPECT_FALSE(std::filesystem::exists(path));
    first.Keep();
  }
  for (int i = 0; i < 1000 && !ReadKeptFrame(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(ReadKeptFrame(path).has_value()) << "the drawn frame was not kept";
  {
    StandIn second(kLayouts[0], *window, onDisk(path));
    EXPECT_TRUE(second.FromDisk());
    EXPECT_EQ(PaintedBy(second, *window), drawn);
  }
  {
    StandIn nowhere(kLayouts[0], *window, onDisk({}));
    EXPECT_FALSE(nowhere.FromDisk());
    EXPECT_EQ(PaintedBy(nowhere, *window), drawn);
  }
  QPalette darker = window->palette();
  darker.setColor(QPalette::Window, Qt::darkGray);
  window->setPalette(darker);
  {
    StandIn other(kLayouts[0], *window, onDisk(path));
    EXPECT_FALSE(other.FromDisk());
    EXPECT_NE(PaintedBy(other, *window), drawn);
  }
  delete window;
}

}  // namespace
}  // namespace kestrin::ui
