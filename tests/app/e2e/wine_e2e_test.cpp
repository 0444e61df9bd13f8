// kestrin.exe, built for Windows with its notice page on a local port, run under the Wine
// session's screen and driven from outside as a user drives it: its boxes filled by clicking at
// the layouts' places and typing, its buttons pressed with the mouse, and what it does checked
// where it shows (the local list site, the mock submission interface, bb.ini beside the program,
// the addresses handed to the shell's browser, the screen). A Windows build runs this as one of
// its tests: kestrin_wine_e2e_test --program=<kestrin_e2e.exe> --frame=<frame-metrics.exe>
// --port=<its notice port> --artifacts=<folder for the screenshots> [--planted=<a wininet.dll of
// the tests' own, put beside the program, which it must never load>].
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/app/e2e/wine_session.h"
#include "tests/support/list_site.h"
#include "tests/support/raw_server.h"

namespace kestrin::e2e {
namespace {

using testsupport::ListSite;
using testsupport::Submission;

struct Options {
  std::string program;
  std::string frame;
  std::string artifacts;
  std::string planted;
  int port = 0;
};
Options g_options;

// Layout pixels at a DPI, as the program scales them.
int AtDpi(int pixels, int dpi) { return (pixels * dpi + 48) / 96; }

// Where a control of the main window lies in its client area: the layout's place, offset by the
// page container's (8, 186) for page controls, each scaled to the screen's DPI.
struct Place {
  int left, top, width, height;
  bool onPage;
  [[nodiscard]] int CentreX(int dpi = 96) const {
    return (onPage ? AtDpi(8, dpi) : 0) + AtDpi(left, dpi) + AtDpi(width, dpi) / 2;
  }
  [[nodiscard]] int CentreY(int dpi = 96) const {
    return (onPage ? AtDpi(186, dpi) : 0) + AtDpi(top, dpi) + AtDpi(height, dpi) / 2;
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
constexpr Place kNoticeBrowser{0, 8, 330, 312, false};     // 超文本浏览框1 of the notice window

bool IsRed(std::uint32_t pixel) {
  const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
  return r > 190 && g < 90 && b < 90;
}
bool IsLinkBlue(std::uint32_t pixel) {
  const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
  return r < 60 && g < 60 && b > 190;
}
int Count(const Capture& capture, bool (*matches)(std::uint32_t)) {
  return static_cast<int>(std::count_if(capture.pixels.begin(), capture.pixels.end(), matches));
}

const std::regex& Countdown() {
  static const std::regex countdown(Utf8(u8"^([0-9]|1[0-9]|2[0-4])秒后关闭$"));
  return countdown;
}
bool IsNotice(const ScreenWindow& w) { return std::regex_match(w.name, Countdown()); }

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WineEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string problem = WineSessionProblem();
    ASSERT_TRUE(problem.empty()) << problem;
    ASSERT_FALSE(g_options.program.empty()) << "--program=<kestrin_e2e.exe> is missing";
    screen_ = std::make_unique<VirtualScreen>(EnvironmentValue("DISPLAY"));
    ASSERT_TRUE(screen_->Ready()) << "cannot open the session's screen";
    const std::optional<Frame> frame = MeasureFrame(g_options.frame);
    ASSERT_TRUE(frame.has_value()) << "the frame-metrics program did not run";
    frame_ = *frame;
    ASSERT_EQ(frame_.screenWidth, 1920);
    ASSERT_EQ(frame_.screenHeight, 1080);
    // A connection of the run before may take a moment to be let go of.
    for (int i = 0; i < 100 && !PortIsFree(g_options.port); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(PortIsFree(g_options.port)) << "port " << g_options.port << ", where the program reads its notice "
                                            << "page, is taken; reconfigure the Windows build";
    // The program in a folder of its own with a Chinese name: bb.ini goes beside it, through a
    // path in code page 936.
    folder_ = std::filesystem::temp_directory_path() /
              ("kestrin-wine-e2e-" + std::to_string(::getpid()) + "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    program_ = folder_ / std::filesystem::path(u8"程序") / "kestrin.exe";
    std::filesystem::create_directories(program_.parent_path());
    std::filesystem::copy_file(g_options.program, program_);
    if (!g_options.planted.empty()) {
      std::filesystem::copy_file(g_options.planted, program_.parent_path() / "wininet.dll");
    }
    std::filesystem::create_directories(g_options.artifacts);
    opened_ = EnvironmentValue("KESTRIN_WINE_OPENED");
    if (!opened_.empty()) std::filesystem::remove(opened_);
  }

  void TearDown() override {
    if (process_) process_->Stop();
    if (frame_.dpi != 96) SetDpi(96);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void Start() {
    process_ = std::make_unique<Process>(WineCommand(program_.string()), WineEnvironment());
    ASSERT_GT(process_->Pid(), 0);
  }

  // The main window's client area on the screen.
  [[nodiscard]] Rect Client(const ScreenWindow& window) const {
    return {window.rect.x + frame_.left, window.rect.y + frame_.top, window.rect.width - 2 * frame_.left,
            window.rect.height - frame_.top - frame_.left};
  }
  [[nodiscard]] Rect Area(const Rect& client, const Place& place) const {
    const int dpi = frame_.dpi;
    return {client.x + (place.onPage ? AtDpi(8, dpi) : 0) + AtDpi(place.left, dpi),
            client.y + (place.onPage ? AtDpi(186, dpi) : 0) + AtDpi(place.top, dpi), AtDpi(place.width, dpi),
            AtDpi(place.height, dpi)};
  }

  // The prefix's screen at `dpi` for the programs started from now on, and the frame they draw.
  bool SetDpi(int dpi) {
    const auto set = RunCommand({"/usr/lib/wine/wine64", "reg", "add", R"(HKCU\Control Panel\Desktop)", "/v", "LogPixels",
                                 "/t", "REG_DWORD", "/d", std::to_string(dpi), "/f"},
                                WineEnvironment());
    const std::optional<Frame> frame = MeasureFrame(g_options.frame);
    if (!set || !frame || frame->dpi != dpi) return false;
    frame_ = *frame;
    return true;
  }

  // Whether the planted wininet.dll beside the program was ever loaded (it leaves a mark).
  [[nodiscard]] bool PlantedWasLoaded() const {
    return std::filesystem::exists(program_.parent_path() / "wininet.dll.loaded");
  }

  void Shot(const std::string& name, const Rect& rect) {
    const std::string path = g_options.artifacts + "/" + name + ".png";
    EXPECT_TRUE(screen_->SavePng(screen_->Grab(rect), path)) << path;
  }

  void Press(const Rect& client, const Place& place) {
    ASSERT_TRUE(screen_->Click(client.x + place.CentreX(frame_.dpi), client.y + place.CentreY(frame_.dpi)));
  }

  // Clicks into a one-line box, selects what it holds and types over it.
  void FillBox(const Rect& client, const Place& box, const std::string& text) {
    Press(client, box);
    ASSERT_TRUE(screen_->Keys("End"));
    ASSERT_TRUE(screen_->Keys("shift+Home"));
    ASSERT_TRUE(screen_->Type(text));
  }

  [[nodiscard]] std::vector<std::string> OpenedAddresses() const {
    std::vector<std::string> lines;
    std::ifstream in(opened_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // Waits until the interface has received `count` requests in all, then a little longer to
  // catch any request too many.
  std::vector<Submission> WaitForSubmissions(ListSite& site, std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (site.Submissions().size() < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(1500ms);
    return site.Submissions();
  }

  std::unique_ptr<VirtualScreen> screen_;
  Frame frame_;
  std::filesystem::path folder_;
  std::filesystem::path program_;
  std::string opened_;
  std::unique_ptr<Process> process_;
};

TEST_F(WineEndToEndTest, CollectSubmitAndNoticeThroughTheWindow) {
  ListSite site;
  NoticeServer notice(g_options.port, site.PopupPrefix());
  ASSERT_TRUE(notice.Listening());
  const auto started = std::chrono::steady_clock::now();
  Start();
  const std::string caption = Utf8(u8"Kestrin百度推送v1.0");
  const auto isMain = [&](const ScreenWindow& w) { return w.name == caption; };

  // Start-up: the caption carries the version from the notice page, the notice window counts
  // down near the bottom-right corner of the 1920 x 1080 screen and shows the pop-up address.
  const auto main = screen_->WaitForWindow(isMain, 60s);
  ASSERT_TRUE(main.has_value()) << "no window captioned " << caption;
  const auto mainSeen = std::chrono::steady_clock::now();
  const auto noticeWindow = screen_->WaitForWindow(IsNotice, 30s);
  ASSERT_TRUE(noticeWindow.has_value()) << "no notice window counting down";
  const auto noticeSeen = std::chrono::steady_clock::now();
  std::printf("main window after %lld ms; notice window %lld ms later\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(mainSeen - started).count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(noticeSeen - mainSeen).count()));
  EXPECT_LT(noticeSeen - mainSeen, 10s) << "the notice window waits for no web engine";
  EXPECT_EQ(noticeWindow->rect.x, 1920 - 360);
  EXPECT_EQ(noticeWindow->rect.y, 1080 - 410);
  EXPECT_EQ(noticeWindow->rect.width, 349);
  EXPECT_EQ(noticeWindow->rect.height, 357);
  // No prompt of any kind: the program's two windows are all there is.
  for (const ScreenWindow& w : screen_->Windows()) {
    EXPECT_TRUE(isMain(w) || IsNotice(w)) << "an unexpected window: \"" << w.name << "\"";
  }
  // Without an HTML engine the pop-up address shows as a link in the browser's area.
  std::this_thread::sleep_for(1s);
  const Rect noticeClient = Client(*noticeWindow);
  EXPECT_GT(Count(screen_->Grab(Area(noticeClient, kNoticeBrowser)), IsLinkBlue), 50) << "no link in the notice window";
  Shot("notice_window", noticeWindow->rect);
  const Rect window = main->rect;
  const Rect client = Client(*main);
  Shot("main_window_start", window);

  // Page "列表采集": three list pages of four articles, collected and then submitted.
  const std::vector<Text> articles = site.AddNumberedListPages("/list/index_$.html", 1, 3, 4);
  FillBox(client, kInterfaceBox, site.InterfaceAddress("www.example.com", "abcdefghijklmnop"));
  FillBox(client, kPatternBox, site.Address("/list/index_$.html"));
  FillBox(client, kFromBox, "1");
  FillBox(client, kToBox, "3");
  Press(client, kCollectButton);
  const auto listPages = [&] { return site.FetchedUnder("/list/"); };
  for (int i = 0; i < 300 && listPages().size() < 3; ++i) std::this_thread::sleep_for(100ms);
  std::this_thread::sleep_for(2s);  // the last page's lines reach the box right after its fetch
  EXPECT_EQ(listPages(), (std::vector<std::string>{"/list/index_1.html", "/list/index_2.html", "/list/index_3.html"}));

  site.SetAnswerFor(articles[5], testsupport::answers::kBadToken);
  Press(client, kSubmitCollected);
  const auto collected = WaitForSubmissions(site, articles.size());
  std::vector<std::string> bodies;
  for (const Submission& s : collected) {
    bodies.push_back(s.body);
    EXPECT_EQ(s.target, "/urls?site=www.example.com&token=abcdefghijklmnop");
  }
  EXPECT_EQ(bodies, std::vector<std::string>(articles.begin(), articles.end()));
  Shot("main_window_collection_page", window);

  // Page 0's red labels show; the picture is on the window itself and shows on both pages.
  const Capture pageZero = screen_->Grab(window);
  EXPECT_GT(Count(screen_->Grab(Area(client, kPageHint)), IsRed), 20) << "标签2 is not shown in red on page 0";
  EXPECT_GT(Count(screen_->Grab(Area(client, kSiteLink)), IsRed), 20) << "标签16 is not shown in red on page 0";
  EXPECT_GT(Count(screen_->Grab(Area(client, kPicture)), IsRed), 200) << "the picture's red frame is not shown";

  // Page "自助推送": the tool bar's second button, then pasted lines submitted by 按钮3.
  site.ClearRecords();
  ASSERT_TRUE(screen_->Click(client.x + kToolBar.left + kToolBar.width * 3 / 4, client.y + kToolBar.CentreY()));
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Count(screen_->Grab(Area(client, kPageHint)), IsRed), 0) << "page 0's 标签2 still shows on page 1";
  EXPECT_EQ(Count(screen_->Grab(Area(client, kSiteLink)), IsRed), 0) << "page 0's 标签16 still shows on page 1";
  EXPECT_GT(Count(screen_->Grab(Area(client, kPicture)), IsRed), 200) << "the picture is gone on page 1";
  const std::vector<std::string> pasted = {"http://www.example.com/a.html", "http://www.example.com/b.html ",
                                           "http://www.example.com/c.html"};
  Press(client, kPasteBox);
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    if (i > 0) {
      ASSERT_TRUE(screen_->Keys("Return"));
    }
    ASSERT_TRUE(screen_->Type(pasted[i]));
  }
  Press(client, kSubmitPasted);
  const auto fromPaste = WaitForSubmissions(site, pasted.size());
  bodies.clear();
  for (const Submission& s : fromPaste) bodies.push_back(s.body);
  EXPECT_EQ(bodies, pasted);
  Shot("main_window_submission_page", window);
  EXPECT_NE(pageZero.pixels, screen_->Grab(window).pixels) << "the tool bar did not change the page";

  // The notice window closes itself 25 seconds after it opened, and only it.
  ASSERT_TRUE(screen_->WaitForNoWindow(IsNotice, 40s)) << "the notice window is still open";
  const auto open = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - noticeSeen);
  EXPECT_GE(open.count(), 20) << "the notice window closed early";
  ASSERT_TRUE(screen_->FindWindow(isMain).has_value()) << "the main window went with the notice window";
  std::this_thread::sleep_for(2s);
  const TreeMemory left = MeasureTree(process_->Pid());
  std::printf("3 s after the notice window closed: %d process(es), RSS %.1f MiB, PSS %.1f MiB\n", left.processes,
              left.rssKiB / 1024.0, left.pssKiB / 1024.0);
  EXPECT_EQ(left.processes, 1) << "nothing was started beside the program";
  EXPECT_TRUE(OpenedAddresses().empty()) << "the program's own version opens no browser";
  if (!g_options.planted.empty()) {
    EXPECT_FALSE(PlantedWasLoaded()) << "the wininet.dll beside the program was loaded";
  }
  EXPECT_FALSE(std::filesystem::exists(program_.parent_path() / "bb.ini")) << "nothing to note for its own version";

  // Closing the main window ends the program.
  ASSERT_TRUE(screen_->Close(main->id));
  const auto exitCode = process_->WaitForExit(30s);
  ASSERT_TRUE(exitCode.has_value()) << "the program did not end when its window was closed";
  EXPECT_EQ(*exitCode, 0);
}

// A newer version announced, and a notice server that is down: what shows at start, what is
// written beside the program and what is handed to the browser, before the notice window opens.
TEST_F(WineEndToEndTest, StartsWithANewerVersionAndWithTheServerDown) {
  struct Case {
    const char* name;
    bool serverUp;
    std::string caption;
    bool announced;  // a message box, bb.ini and the browser
  };
  const Case cases[] = {
      {"notice names v1.1", true, Utf8(u8"Kestrin百度推送v1.1"), true},
      {"notice server down", false, Utf8(u8"Kestrin百度推送"), false},
  };
  const std::filesystem::path settings = program_.parent_path() / "bb.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListSite site;
    std::optional<NoticeServer> notice;
    if (c.serverUp) {
      notice.emplace(g_options.port, site.PopupPrefix(), "v1.1");
      ASSERT_TRUE(notice->Listening());
    }
    std::filesystem::remove(settings);
    if (!opened_.empty()) std::filesystem::remove(opened_);
    Start();
    const auto main = screen_->WaitForWindow([&](const ScreenWindow& w) { return w.name == c.caption; }, 60s);
    ASSERT_TRUE(main.has_value()) << "no window captioned " << c.caption;
    if (c.announced) {
      const auto box = screen_->WaitForWindow([](const ScreenWindow& w) { return w.name == Utf8(u8"信息："); }, 20s);
      ASSERT_TRUE(box.has_value()) << "no message box announcing the new version";
      EXPECT_FALSE(screen_->FindWindow(IsNotice).has_value()) << "the notice window opens only after the box";
      std::this_thread::sleep_for(500ms);
      Shot("message_box", box->rect);
      // Noted beside the program, in GBK: section 版, key 本.
      EXPECT_EQ(ReadFile(settings), "[版]\r\n本=v1.1\r\n");
      EXPECT_TRUE(OpenedAddresses().empty()) << "the browser opens once the box is closed";
      ASSERT_TRUE(screen_->Keys("Return"));
      ASSERT_TRUE(screen_->WaitForNoWindow([](const ScreenWindow& w) { return w.name == Utf8(u8"信息："); }, 10s));
    }
    const auto noticeWindow = screen_->WaitForWindow(IsNotice, 30s);
    ASSERT_TRUE(noticeWindow.has_value()) << "no notice window";
    std::this_thread::sleep_for(1s);
    const int linkPixels = Count(screen_->Grab(Area(Client(*noticeWindow), kNoticeBrowser)), IsLinkBlue);
    if (c.announced) {
      const std::vector<std::string> opened = OpenedAddresses();
      ASSERT_EQ(opened.size(), 1u) << "the pop-up address goes to the browser once";
      EXPECT_TRUE(std::regex_match(opened[0], std::regex("^" + site.PopupPrefix() + R"(([3-9]|[12][0-9]|30)\.html$)")))
          << opened[0];
      EXPECT_GT(linkPixels, 50);
    } else {
      EXPECT_TRUE(OpenedAddresses().empty());
      EXPECT_FALSE(std::filesystem::exists(settings));
      EXPECT_EQ(linkPixels, 0) << "no address to show";
    }
    ASSERT_TRUE(screen_->Close(main->id));
    const auto exitCode = process_->WaitForExit(30s);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_TRUE(screen_->WaitForNoWindow(IsNotice, 10s)) << "the notice window goes with the main window";
    process_.reset();
  }
}

// At 125, 150 and 200 %: the window as large as its layout at that DPI, the notice window as far
// from the screen's corner as at 100 % (the corner less 360 x 410 layout pixels), and a collection
// run typed into the boxes and started with the button, each clicked at its scaled place. At 200 %
// the window is taller than the 1080 pixels of the screen and runs off its lower edge: there what
// the screen shows of it is checked.
TEST_F(WineEndToEndTest, AtEachDpiTheWindowScalesAndTakesClicksAtItsPlaces) {
  const Frame at96 = frame_;
  const std::string caption = Utf8(u8"Kestrin百度推送v1.0");
  for (const int dpi : {120, 144, 192}) {
    SCOPED_TRACE("DPI " + std::to_string(dpi));
    ASSERT_TRUE(SetDpi(dpi)) << "the prefix's screen is not at " << dpi << " DPI";
    ListSite site;
    NoticeServer notice(g_options.port, site.PopupPrefix());
    ASSERT_TRUE(notice.Listening());
    Start();
    const auto main = screen_->WaitForWindow([&](const ScreenWindow& w) { return w.name == caption; }, 60s);
    ASSERT_TRUE(main.has_value()) << "no window captioned " << caption;
    const auto noticeWindow = screen_->WaitForWindow(IsNotice, 30s);
    ASSERT_TRUE(noticeWindow.has_value()) << "no notice window";
    const Rect client = Client(*main);
    EXPECT_EQ(client.width, AtDpi(757 - 2 * at96.left, dpi));
    EXPECT_EQ(client.height, AtDpi(665 - at96.top - at96.left, dpi));
    EXPECT_EQ(noticeWindow->rect.x, AtDpi(1920 * 96 / dpi - 360, dpi));
    EXPECT_EQ(noticeWindow->rect.y, AtDpi(1080 * 96 / dpi - 410, dpi));
    EXPECT_LE(noticeWindow->rect.x + noticeWindow->rect.width, 1920) << "the notice window stays on the screen";
    EXPECT_LE(noticeWindow->rect.y + noticeWindow->rect.height, 1080) << "the notice window stays on the screen";

    // The picture, scaled, at its place (the notice window lies below it at every DPI).
    std::this_thread::sleep_for(1s);
    EXPECT_GT(Count(screen_->Grab(Area(client, kPicture)), IsRed), AtDpi(200, dpi)) << "the picture's red frame";
    // Before the clicks: the main window, once active, may lie over it.
    Shot("notice_window_dpi" + std::to_string(dpi), noticeWindow->rect);
    const Rect button = Area(client, kCollectButton);
    if (button.y + button.height <= 1080) {
      site.AddNumberedListPages("/list/index_$.html", 1, 2, 3);
      FillBox(client, kPatternBox, site.Address("/list/index_$.html"));
      FillBox(client, kFromBox, "1");
      FillBox(client, kToBox, "2");
      Press(client, kCollectButton);
      const auto listPages = [&] { return site.FetchedUnder("/list/"); };
      for (int i = 0; i < 300 && listPages().size() < 2; ++i) std::this_thread::sleep_for(100ms);
      EXPECT_EQ(listPages(), (std::vector<std::string>{"/list/index_1.html", "/list/index_2.html"}));
    } else {
      EXPECT_EQ(dpi, 192) << "only at 200 % is the window taller than the screen";
    }
    std::this_thread::sleep_for(1s);
    Rect shown = main->rect;
    shown.height = std::min(shown.height, 1080 - shown.y);
    Shot("main_window_dpi" + std::to_string(dpi), shown);

    ASSERT_TRUE(screen_->Close(main->id));
    const auto exitCode = process_->WaitForExit(30s);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0);
    process_.reset();
  }
  ASSERT_TRUE(SetDpi(96));
}

// A notice server that takes the connection and never answers: the window answers a click again
// within the notice page's deadline of its start, and the page is asked for once.
TEST_F(WineEndToEndTest, ASilentNoticeServerHoldsTheWindowOnce) {
  testsupport::RawServer notice(testsupport::scripts::Silent(), g_options.port);
  Start();
  const std::string caption = Utf8(u8"Kestrin百度推送");
  const auto main = screen_->WaitForWindow([&](const ScreenWindow& w) { return w.name == caption; }, 60s);
  ASSERT_TRUE(main.has_value()) << "no window captioned " << caption;
  const auto mainSeen = std::chrono::steady_clock::now();
  const Rect client = Client(*main);
  const auto hintShown = [&] { return Count(screen_->Grab(Area(client, kPageHint)), IsRed) > 20; };
  for (int i = 0; i < 500 && !hintShown(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(hintShown()) << "page 0 was never drawn";
  ASSERT_TRUE(screen_->Click(client.x + kToolBar.left + kToolBar.width * 3 / 4, client.y + kToolBar.CentreY()));
  bool answered = false;
  for (int i = 0; i < 500 && !answered; ++i) {
    answered = Count(screen_->Grab(Area(client, kPageHint)), IsRed) == 0;
    if (!answered) std::this_thread::sleep_for(20ms);
  }
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - mainSeen);
  ASSERT_TRUE(answered) << "the window never answered the click";
  std::printf("window thread held by the silent notice server for %lld ms\n", static_cast<long long>(waited.count()));
  EXPECT_LT(waited.count(), 4'000);
  ASSERT_TRUE(screen_->WaitForWindow(IsNotice, 30s).has_value()) << "no notice window";
  EXPECT_EQ(notice.ConnectionCount(), 1) << "the start reads the notice page once";
  ASSERT_TRUE(screen_->Close(main->id));
  EXPECT_TRUE(process_->WaitForExit(30s).has_value());
}

}  // namespace
}  // namespace kestrin::e2e

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&](const std::string& name) { return argument.substr(name.size()); };
    if (argument.rfind("--program=", 0) == 0) kestrin::e2e::g_options.program = value("--program=");
    if (argument.rfind("--frame=", 0) == 0) kestrin::e2e::g_options.frame = value("--frame=");
    if (argument.rfind("--artifacts=", 0) == 0) kestrin::e2e::g_options.artifacts = value("--artifacts=");
    if (argument.rfind("--port=", 0) == 0) kestrin::e2e::g_options.port = std::stoi(value("--port="));
    if (argument.rfind("--planted=", 0) == 0) kestrin::e2e::g_options.planted = value("--planted=");
  }
  return RUN_ALL_TESTS();
}
