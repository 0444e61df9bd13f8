// The real program, driven from outside as a user drives it: started on a virtual screen of its
// own, its boxes filled by clicking and typing, its buttons pressed with the mouse, and what it
// does checked where it shows: at the local list site, at the mock submission interface and on
// the screen. Screenshots of both pages and of the notice window are kept in the build folder.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/support/list_site.h"
#include "tests/support/raw_server.h"

namespace kestrin::e2e {
namespace {

using testsupport::ListSite;
using testsupport::Submission;

const std::string kProgram = KESTRIN_E2E_PROGRAM;
const std::string kArtifacts = KESTRIN_E2E_ARTIFACTS;
constexpr int kNoticePort = KESTRIN_E2E_NOTICE_PORT;

// Where a control of the main window lies, in its client area: the layout's place, offset by the
// page container's (8, 186) for page controls.
struct Place {
  int left, top, width, height;
  bool onPage;
  [[nodiscard]] int CentreX() const { return (onPage ? 8 : 0) + left + width / 2; }
  [[nodiscard]] int CentreY() const { return (onPage ? 186 : 0) + top + height / 2; }
  [[nodiscard]] Rect Area(const Rect& window) const {
    return {window.x + (onPage ? 8 : 0) + left, window.y + (onPage ? 186 : 0) + top, width, height};
  }
};
constexpr Place kToolBar{16, 15, 248, 32, false};
constexpr Place kInterfaceBox{93, 151, 464, 24, false};  // 编辑框9
constexpr Place kPicture{312, 0, 432, 144, false};       // 图片框1, the part inside the window
constexpr Place kPatternBox{88, 20, 448, 24, true};      // 编辑框1
constexpr Place kFromBox{187, 64, 32, 24, true};         // 编辑框2
constexpr Place kToBox{251, 64, 32, 24, true};           // 编辑框3
constexpr Place kPageHint{550, 18, 88, 24, true};        // 标签2, red
constexpr Place kSiteLink{536, 102, 184, 48, true};      // 标签16, red
constexpr Place kCollectButton{184, 396, 72, 24, true};  // 按钮1
constexpr Place kSubmitCollected{524, 396, 72, 24, true};  // 按钮2
constexpr Place kPasteBox{16, 40, 704, 232, true};         // 编辑框11
constexpr Place kSubmitPasted{616, 312, 80, 32, true};     // 按钮3

bool IsRed(std::uint32_t pixel) {
  const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
  return r > 190 && g < 90 && b < 90;
}

// The main window by its caption's start, the notice window by its countdown.
bool IsMainWindow(const ScreenWindow& w) { return w.name.rfind("Kestrin", 0) == 0; }
bool IsNoticeWindow(const ScreenWindow& w) { return w.name.find(Utf8(u8"秒后关闭")) != std::string::npos; }

int RedPixels(const Capture& capture) {
  return static_cast<int>(std::count_if(capture.pixels.begin(), capture.pixels.end(), IsRed));
}

class EndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(kArtifacts);
    ASSERT_TRUE(PortIsFree(kNoticePort))
        << "port " << kNoticePort << ", where kestrin_e2e reads its notice page, is taken; "
        << "reconfigure with -DKESTRIN_E2E_NOTICE_PORT=<a free port> and rebuild";
    notice_ = std::make_unique<NoticeServer>(kNoticePort, site_.PopupPrefix());
    ASSERT_TRUE(notice_->Listening()) << "could not listen on port " << kNoticePort;
    screen_ = std::make_unique<VirtualScreen>();
    ASSERT_TRUE(screen_->Ready()) << "Xvfb did not start";
    program_ = std::make_unique<Process>(std::vector<std::string>{kProgram}, screen_->Environment());
    ASSERT_GT(program_->Pid(), 0) << "could not start " << kProgram;
  }

  void TearDown() override {
    if (program_) program_->Stop();
  }

  void Shot(const std::string& name, const Rect& rect) {
    const std::string path = kArtifacts + "/" + name + ".png";
    EXPECT_TRUE(screen_->SavePng(screen_->Grab(rect), path)) << path;
  }

  void FillBox(const Rect& window, const Place& box, const std::string& text) {
    ASSERT_TRUE(screen_->Click(window.x + box.CentreX(), window.y + box.CentreY()));
    ASSERT_TRUE(screen_->Keys("ctrl+a"));
    ASSERT_TRUE(screen_->Type(text));
  }

  void Press(const Rect& window, const Place& button) {
    ASSERT_TRUE(screen_->Click(window.x + button.CentreX(), window.y + button.CentreY()));
  }

  // Waits until the interface has received `count` requests in all, then a little longer to
  // catch any request too many.
  std::vector<Submission> WaitForSubmissions(std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (site_.Submissions().size() < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(1500ms);
    return site_.Submissions();
  }

  // What is on the screen and what runs, for a window that never came.
  std::string Scene() {
    std::string scene = "windows:";
    for (const ScreenWindow& w : screen_->Windows()) scene += " \"" + w.name + "\"";
    scene += "; processes:";
    for (const std::string& command : MeasureTree(program_->Pid()).commands) scene += " " + command;
    return scene;
  }

  ListSite site_;
  std::unique_ptr<NoticeServer> notice_;
  std::unique_ptr<VirtualScreen> screen_;
  std::unique_ptr<Process> program_;
};

TEST_F(EndToEndTest, CollectSubmitAndNoticeThroughTheWindow) {
  const std::string caption = Utf8(u8"Kestrin百度推送v1.0");
  const auto isMain = [&](const ScreenWindow& w) { return w.name == caption; };
  const std::regex countdown(Utf8(u8"^([0-9]|1[0-9]|2[0-4])秒后关闭$"));
  const auto isNotice = [&](const ScreenWindow& w) { return std::regex_match(w.name, countdown); };

  // Start-up: the caption carries the version from the notice page, the notice window counts
  // down near the bottom-right corner of the 1920 x 1080 screen and shows the pop-up page.
  const auto main = screen_->WaitForWindow(isMain, 90s);
  ASSERT_TRUE(main.has_value()) << "no window captioned " << caption;
  const auto notice = screen_->WaitForWindow(isNotice, 60s);
  ASSERT_TRUE(notice.has_value()) << "no notice window counting down; " << Scene();
  const auto noticeSeen = std::chrono::steady_clock::now();
  EXPECT_EQ(notice->rect.x, 1920 - 360);
  EXPECT_EQ(notice->rect.y, 1080 - 410);
  const Rect window = main->rect;

  const std::regex popup(R"(^/pop/([3-9]|[12][0-9]|30)\.html$)");
  const auto popupFetched = [&] {
    const auto fetched = site_.Fetched();
    return std::any_of(fetched.begin(), fetched.end(), [&](const std::string& t) { return std::regex_match(t, popup); });
  };
  for (int i = 0; i < 300 && !popupFetched(); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(popupFetched()) << "the notice window's browser never asked for a pop-up page /pop/3..30.html";
  std::this_thread::sleep_for(1s);  // let the browser paint the page
  Shot("notice_window", notice->rect);
  Shot("main_window_start", window);

  // Page "列表采集": three list pages of four articles, collected and then submitted.
  const std::vector<Text> articles = site_.AddNumberedListPages("/list/index_$.html", 1, 3, 4);
  const Text interface = site_.InterfaceAddress("www.example.com", "abcdefghijklmnop");
  FillBox(window, kInterfaceBox, interface);  // the click also empties the example address
  FillBox(window, kPatternBox, site_.Address("/list/index_$.html"));
  FillBox(window, kFromBox, "1");
  FillBox(window, kToBox, "3");
  Press(window, kCollectButton);
  const auto listPages = [&] { return site_.FetchedUnder("/list/"); };
  for (int i = 0; i < 300 && listPages().size() < 3; ++i) std::this_thread::sleep_for(100ms);
  std::this_thread::sleep_for(2s);  // the last page's lines reach the box right after its fetch
  EXPECT_EQ(listPages(), (std::vector<std::string>{"/list/index_1.html", "/list/index_2.html", "/list/index_3.html"}));

  site_.SetAnswerFor(articles[5], testsupport::answers::kBadToken);
  Press(window, kSubmitCollected);
  const auto collected = WaitForSubmissions(articles.size());
  std::vector<std::string> bodies;
  for (const Submission& s : collected) {
    bodies.push_back(s.body);
    EXPECT_EQ(s.target, "/urls?site=www.example.com&token=abcdefghijklmnop");
  }
  EXPECT_EQ(bodies, std::vector<std::string>(articles.begin(), articles.end()));
  Shot("main_window_collection_page", window);

  // Page 0's red labels show; the picture is on the window itself and shows on both pages.
  const Capture pageZero = screen_->Grab(window);
  EXPECT_GT(RedPixels(screen_->Grab(kPageHint.Area(window))), 20) << "标签2 is not shown in red on page 0";
  EXPECT_GT(RedPixels(screen_->Grab(kSiteLink.Area(window))), 20) << "标签16 is not shown in red on page 0";
  EXPECT_GT(RedPixels(screen_->Grab(kPicture.Area(window))), 200) << "the picture's red frame is not shown";

  // Page "自助推送": the tool bar's second button, then pasted lines submitted by 按钮3.
  site_.ClearRecords();
  ASSERT_TRUE(screen_->Click(window.x + kToolBar.left + kToolBar.width * 3 / 4, window.y + kToolBar.CentreY()));
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(RedPixels(screen_->Grab(kPageHint.Area(window))), 0) << "page 0's 标签2 still shows on page 1";
  EXPECT_EQ(RedPixels(screen_->Grab(kSiteLink.Area(window))), 0) << "page 0's 标签16 still shows on page 1";
  EXPECT_GT(RedPixels(screen_->Grab(kPicture.Area(window))), 200) << "the picture is gone on page 1";
  const std::vector<std::string> pasted = {"http://www.example.com/a.html", "http://www.example.com/b.html ",
                                           "http://www.example.com/c.html"};
  ASSERT_TRUE(screen_->Click(window.x + kPasteBox.CentreX(), window.y + kPasteBox.CentreY()));
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    if (i > 0) {
      ASSERT_TRUE(screen_->Keys("Return"));
    }
    ASSERT_TRUE(screen_->Type(pasted[i]));
  }
  Press(window, kSubmitPasted);
  const auto fromPaste = WaitForSubmissions(pasted.size());
  bodies.clear();
  for (const Submission& s : fromPaste) bodies.push_back(s.body);
  EXPECT_EQ(bodies, pasted);
  Shot("main_window_submission_page", window);
  EXPECT_NE(pageZero.pixels, screen_->Grab(window).pixels) << "the tool bar did not change the page";

  // The notice window closes itself 25 seconds after it opened.
  ASSERT_TRUE(screen_->WaitForNoWindow(isNotice, 40s)) << "the notice window is still open";
  const auto open = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - noticeSeen);
  EXPECT_GE(open.count(), 20) << "the notice window closed early";
  ASSERT_TRUE(screen_->FindWindow(isMain).has_value()) << "the main window went with the notice window";
  // The web engine's processes take their time to end, longer under ASan on a loaded machine.
  TreeMemory left = MeasureTree(program_->Pid());
  for (int i = 0; i < 100 && left.processes != 1; ++i) {
    std::this_thread::sleep_for(100ms);
    left = MeasureTree(program_->Pid());
  }
  EXPECT_EQ(left.processes, 1) << "the notice window's program and its web engine end with the window; " << Scene();

  // Closing the main window ends the program.
  ASSERT_TRUE(screen_->Close(main->id));
  const auto exitCode = program_->WaitForExit(30s);
  ASSERT_TRUE(exitCode.has_value()) << "the program did not end when its window was closed";
  EXPECT_EQ(*exitCode, 0);
}

// A notice server that takes the connection and never answers, and a list page that trickles, a
// byte at a time and never to the end: the window thread waits no longer than the notice page's
// deadline for its one reading, the window answers a click right after it, and closing the window
// ends the program at once while a collection still waits.
TEST(EndToEndHostileTest, ClosingEndsTheProgramWhateverRuns) {
  ASSERT_TRUE(PortIsFree(kNoticePort)) << "port " << kNoticePort << " is taken";
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<p>";
  testsupport::RawServer notice(testsupport::scripts::Silent(), kNoticePort);
  testsupport::RawServer listPages(testsupport::scripts::Trickle(head, 500));
  VirtualScreen screen;
  ASSERT_TRUE(screen.Ready()) << "Xvfb did not start";
  Process program({kProgram}, screen.Environment());
  ASSERT_GT(program.Pid(), 0);

  const std::string caption = Utf8(u8"Kestrin百度推送");
  const auto isMain = [&](const ScreenWindow& w) { return w.name == caption; };
  const std::regex countdown(Utf8(u8"^([0-9]|1[0-9]|2[0-4])秒后关闭$"));
  const auto isNotice = [&](const ScreenWindow& w) { return std::regex_match(w.name, countdown); };
  const auto main = screen.WaitForWindow(isMain, 90s);
  ASSERT_TRUE(main.has_value()) << "no window captioned " << caption;
  const auto mainSeen = std::chrono::steady_clock::now();
  // Once page 0 is drawn, a click on the second page's tool-bar button, handled once the window
  // thread is free again: page 0's red hint goes.
  const Rect window = main->rect;
  const auto hintShown = [&] { return RedPixels(screen.Grab(kPageHint.Area(window))) > 20; };
  for (int i = 0; i < 500 && !hintShown(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(hintShown()) << "page 0 was never drawn";
  ASSERT_TRUE(screen.Click(window.x + kToolBar.left + kToolBar.width * 3 / 4, window.y + kToolBar.CentreY()));
  bool answered = false;
  for (int i = 0; i < 500 && !answered; ++i) {
    answered = RedPixels(screen.Grab(kPageHint.Area(window))) == 0;
    if (!answered) std::this_thread::sleep_for(20ms);
  }
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - mainSeen);
  ASSERT_TRUE(answered) << "the window never answered the click";
  std::printf("window thread held by the silent notice server for %lld ms\n", static_cast<long long>(waited.count()));
  EXPECT_LT(waited.count(), 4'000);
  ASSERT_TRUE(screen.Click(window.x + kToolBar.left + kToolBar.width / 4, window.y + kToolBar.CentreY()));
  ASSERT_TRUE(screen.WaitForWindow(isNotice, 30s).has_value()) << "no notice window";
  EXPECT_EQ(notice.ConnectionCount(), 1) << "the start reads the notice page once";

  const auto fill = [&](const Place& box, const std::string& text) {
    ASSERT_TRUE(screen.Click(window.x + box.CentreX(), window.y + box.CentreY()));
    ASSERT_TRUE(screen.Keys("ctrl+a"));
    ASSERT_TRUE(screen.Type(text));
  };
  fill(kPatternBox, listPages.Url("/list/$.html"));
  fill(kFromBox, "1");
  fill(kToBox, "3");
  ASSERT_TRUE(screen.Click(window.x + kCollectButton.CentreX(), window.y + kCollectButton.CentreY()));
  for (int i = 0; i < 100 && listPages.ConnectionCount() == 0; ++i) std::this_thread::sleep_for(100ms);
  ASSERT_EQ(listPages.ConnectionCount(), 1) << "the collection did not start";
  std::this_thread::sleep_for(1s);

  const auto closing = std::chrono::steady_clock::now();
  ASSERT_TRUE(screen.Close(main->id));
  const auto exitCode = program.WaitForExit(10s);
  const auto closed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closing);
  ASSERT_TRUE(exitCode.has_value()) << "the program did not end when its window was closed";
  std::printf("program ended %lld ms after the close\n", static_cast<long long>(closed.count()));
  EXPECT_EQ(*exitCode, 0);
  EXPECT_LT(closed.count(), 1'000);
}

// The notice window's program ends when the main program does, whichever way that ends.
TEST_F(EndToEndTest, NoticeProgramEndsWithTheMainProgram) {
  struct Case {
    const char* name;
    std::function<void(const ScreenWindow&)> end;
  };
  const Case cases[] = {
      {"main window closed", [this](const ScreenWindow& main) { screen_->Close(main.id); }},
      {"main program killed", [this](const ScreenWindow&) { kill(program_->Pid(), SIGKILL); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto main = screen_->WaitForWindow(IsMainWindow, 90s);
    ASSERT_TRUE(main.has_value());
    ASSERT_TRUE(screen_->WaitForWindow(IsNoticeWindow, 60s).has_value()) << Scene();
    const pid_t group = program_->Pid();
    c.end(*main);
    EXPECT_TRUE(screen_->WaitForNoWindow(IsNoticeWindow, 10s)) << "the notice window outlived the main program";
    (void)program_->WaitForExit(10s);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i, std::this_thread::sleep_for(100ms)) gone = kill(-group, 0) != 0;
    EXPECT_TRUE(gone) << "a process of the program's group is still running";
    program_->Stop();
    program_ = std::make_unique<Process>(std::vector<std::string>{kProgram}, screen_->Environment());
  }
}

}  // namespace
}  // namespace kestrin::e2e
