// Start-up time and memory of the real program (kestrin_e2e) on a virtual screen, run by
// bench/window_measure.sh:
//   - from exec until the main window is mapped, and until its picture is painted on the screen;
//   - resident memory of the program and every process it started (QtWebEngine's helpers), while
//     the notice window's browser shows its page and again a few seconds after it has closed.
#include <algorithm>
#include <cstdio>
#include <thread>

#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/support/list_site.h"

namespace kestrin::e2e {
namespace {

constexpr int kNoticePort = KESTRIN_E2E_NOTICE_PORT;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool IsMain(const ScreenWindow& w) { return w.name.rfind("Kestrin", 0) == 0; }
bool IsNotice(const ScreenWindow& w) { return w.name.find(Utf8(u8"秒后关闭")) != std::string::npos; }

// The picture box holds the window's only large patch of red: once it shows, the window is painted.
bool PictureShows(VirtualScreen& screen, const Rect& window) {
  const Capture picture = screen.Grab({window.x + 312, window.y, 432, 144});
  const auto red = std::count_if(picture.pixels.begin(), picture.pixels.end(), [](std::uint32_t p) {
    return (p >> 16 & 0xFF) > 190 && (p >> 8 & 0xFF) < 90 && (p & 0xFF) < 90;
  });
  return red > 200;
}

void PrintTree(const char* when, const TreeMemory& memory) {
  std::printf("%-34s %3d processes  RSS %8.1f MiB  PSS %8.1f MiB\n", when, memory.processes, memory.rssKiB / 1024.0,
              memory.pssKiB / 1024.0);
  std::printf("%-34s", "");
  for (const std::string& command : memory.commands) std::printf(" %s", command.c_str());
  std::printf("\n");
}

struct StartTimes {
  double mapped = -1;
  double painted = -1;
};

StartTimes MeasureStart(VirtualScreen& screen, std::optional<Process>& program) {
  StartTimes times;
  const auto start = Clock::now();
  program.emplace(std::vector<std::string>{KESTRIN_E2E_PROGRAM}, screen.Environment());
  std::optional<ScreenWindow> main;
  while (Clock::now() - start < 120s) {
    if (!main) {
      main = screen.FindWindow(IsMain);
      if (main) times.mapped = Milliseconds(Clock::now() - start);
    }
    if (main && PictureShows(screen, main->rect)) {
      times.painted = Milliseconds(Clock::now() - start);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  return times;
}

int Run() {
  if (!PortIsFree(kNoticePort)) {
    std::fprintf(stderr, "port %d, where kestrin_e2e reads its notice page, is taken\n", kNoticePort);
    return 1;
  }
  testsupport::ListSite site;
  NoticeServer notice(kNoticePort, site.PopupPrefix());
  VirtualScreen screen;
  if (!notice.Listening() || !screen.Ready()) {
    std::fprintf(stderr, "could not start the notice server or Xvfb\n");
    return 1;
  }

  // Start-up, a few times: the first run also warms the disk cache, so it is shown apart.
  std::printf("start until the main window is mapped / painted (ms)\n");
  std::vector<double> painted;
  for (int run = 0; run < 4; ++run) {
    std::optional<Process> program;
    const StartTimes times = MeasureStart(screen, program);
    std::printf("  run %d: mapped %8.1f  painted %8.1f%s\n", run + 1, times.mapped, times.painted,
                run == 0 ? "  (cold)" : "");
    if (run > 0) painted.push_back(times.painted);
    if (const auto main = screen.FindWindow(IsMain)) screen.Close(main->id);
    if (!program->WaitForExit(20s)) std::printf("  run %d: still running 20 s after its window was closed\n", run + 1);
    screen.WaitForNoWindow([](const ScreenWindow&) { return true; }, 10s);
  }
  std::sort(painted.begin(), painted.end());
  std::printf("  median painted (warm runs): %.1f ms\n\n", painted[painted.size() / 2]);

  // Memory with the notice window's browser showing its page, then after the window has closed.
  std::optional<Process> program;
  MeasureStart(screen, program);
  const auto noticeWindow = screen.WaitForWindow(IsNotice, 60s);
  const auto noticeSeen = Clock::now();
  for (int i = 0; i < 200; ++i) {
    const auto fetched = site.Fetched();
    if (std::any_of(fetched.begin(), fetched.end(), [](const std::string& t) { return t.rfind("/pop/", 0) == 0; })) {
      break;
    }
    std::this_thread::sleep_for(100ms);
  }
  std::this_thread::sleep_for(3s);
  PrintTree(noticeWindow ? "notice window open, page shown" : "notice window never appeared", MeasureTree(program->Pid()));
  const bool closed = screen.WaitForNoWindow(IsNotice, 40s);
  std::printf("notice window %s after %.1f s\n", closed ? "closed" : "still open",
              Milliseconds(Clock::now() - noticeSeen) / 1000.0);
  for (int second = 1; second <= 10; ++second) {
    std::this_thread::sleep_for(1s);
    if (second == 1 || second == 5 || second == 10) {
      char when[64];
      std::snprintf(when, sizeof when, "%d s after the notice closed", second);
      PrintTree(when, MeasureTree(program->Pid()));
    }
  }
  if (const auto main = screen.FindWindow(IsMain)) screen.Close(main->id);
  const auto code = program->WaitForExit(20s);
  std::printf("exit code after closing the main window: %s\n", code ? std::to_string(*code).c_str() : "none (still running)");
  return 0;
}

}  // namespace
}  // namespace kestrin::e2e

int main() { return kestrin::e2e::Run(); }
