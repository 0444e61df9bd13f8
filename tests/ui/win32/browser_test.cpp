// The web-browser control where no HTML engine works (Wine without Gecko): the address shows as
// a link at once, nothing asks the user anything, and the link opens only web addresses.
#include <gtest/gtest.h>

#include "runtime/windows/windows_api.h"

#include <chrono>
#include <vector>

#include "tests/ui/win32/win32_helpers.h"
#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

constexpr ControlLayout kRows[] = {
    {"超文本浏览框1", ControlKind::Browser, "", 0, 8, 330, 312},
};
const WindowLayout kLayouts[] = {{"notice", "", 349, 357, kRows}};

class DegradedBrowserTest : public testing::Test {
 protected:
  void SetUp() override {
    if (HtmlEngineAvailable()) GTEST_SKIP() << "an HTML engine works here: pages show, no link stands in";
    InstallProgram({kLayouts, {}, "notice"});
    ASSERT_TRUE(LoadWindow("notice"));
    area_ = ControlHandle("notice", "超文本浏览框1");
    SetAddressOpener([this](const Text& address) { opened_.push_back(address); });
  }
  void TearDown() override {
    SetAddressOpener({});
    if (HWND window = WindowHandle("notice")) ::DestroyWindow(window);
  }

  // Clicks the link's first line, a few pixels in.
  void ClickLink() { testwin::Click(area_, 12, 12); }

  HWND area_ = nullptr;
  std::vector<Text> opened_;
};

TEST_F(DegradedBrowserTest, TheAddressShowsAsALinkAtOnce) {
  EXPECT_EQ(BrowserLinkAddress(area_), "") << "no address at creation";
  const auto start = std::chrono::steady_clock::now();
  SetBrowserAddress("notice", "超文本浏览框1", "http://127.0.0.1:1/pop/17.html");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(1)) << "no wait for an engine that is not there";
  EXPECT_EQ(BrowserLinkAddress(area_), "http://127.0.0.1:1/pop/17.html");
  EXPECT_EQ(testwin::ShowingBox(), nullptr) << "nothing asks the user anything";
}

TEST_F(DegradedBrowserTest, TheLinkOpensOnlyWebAddresses) {
  struct Case {
    const char* address;
    bool opened;
  };
  const Case cases[] = {
      {"http://kestrin.example/pop/3.html", true},
      {"https://kestrin.example/pop/30.html", true},
      {"17.html", false},
      {"file:///C:/windows/win.ini", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    opened_.clear();
    SetBrowserAddress("notice", "超文本浏览框1", c.address);
    ClickLink();
    EXPECT_EQ(opened_.size(), c.opened ? 1u : 0u);
  }
  // Beside the link, nothing opens.
  opened_.clear();
  SetBrowserAddress("notice", "超文本浏览框1", "http://kestrin.example/pop/3.html");
  testwin::Click(area_, 300, 290);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(DegradedBrowserTest, ALongAddressBreaksWithinTheArea) {
  const Text address = "http://kestrin.example/" + Text(300, 'a') + ".html";
  SetBrowserAddress("notice", "超文本浏览框1", address);
  ::UpdateWindow(area_);
  // Its last line still opens it: click the lower part of the text.
  testwin::Click(area_, 12, 40);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], address);
}

}  // namespace
}  // namespace kestrin::ui
