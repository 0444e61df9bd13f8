// kestrin.exe's figures under Wine, in one run on the Wine session's screen, against two
// baselines built and started the same way: a plain Win32 window with one Chinese label
// (bench/windows/hello_window.cpp), and the main window's first page made directly as the system's
// controls (bench/windows/plain_window.cpp), whole and with its picture alone. Run by
// bench/windows/window_measure.sh:
//   - the size of kestrin.exe and of the hello world;
//   - from the start of Wine until the window is painted, the four programs' starts interleaved;
//   - resident memory of the process once the notice window has closed.
// Arguments: --program=<kestrin_e2e.exe> --hello=<hello.exe> --plain=<plain_window.exe>
//            --frame=<frame-metrics.exe> --port=<kestrin_e2e.exe's notice port>
//            --size=<stripped kestrin.exe> --hello-size=<stripped hello.exe>
//            [--starts=N (7)] [--start-only: the start figures alone]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/window_runs.h"
#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/app/e2e/wine_session.h"
#include "tests/support/list_site.h"

namespace kestrin::e2e {
namespace {

using Clock = std::chrono::steady_clock;
struct Options {
  std::string program, hello, plain, frame, size, helloSize;
  int port = 0;
  int starts = 7;  // of each program; the first of each is cold and left out
  bool startOnly = false;
};

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double MiB(long kib) { return kib / 1024.0; }
bool IsMain(const ScreenWindow& w) { return w.name.rfind("Kestrin", 0) == 0; }
bool IsNotice(const ScreenWindow& w) { return w.name.find(Utf8(u8"秒后关闭")) != std::string::npos; }
bool IsHello(const ScreenWindow& w) { return w.name == "hello"; }

// The main window's picture holds its only large patch of red; the hello world's label is its
// only dark ink. Either showing means the window is painted.
bool Painted(VirtualScreen& screen, const Frame& frame, const ScreenWindow& window, bool hello) {
  const Rect area = hello ? window.rect : Rect{window.rect.x + frame.left + 312, window.rect.y + frame.top, 432, 144};
  const Capture capture = screen.Grab(area);
  const auto count = std::count_if(capture.pixels.begin(), capture.pixels.end(), [hello](std::uint32_t p) {
    const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
    return hello ? r < 90 && g < 90 && b < 90 : r > 190 && g < 90 && b < 90;
  });
  return count > (hello ? 20 : 200);
}

// Starts the program under Wine and returns the time until its window is painted, or -1.
double StartAndPaint(VirtualScreen& screen, const Frame& frame, std::optional<Process>& process,
                     const std::string& program, bool hello, const std::string& argument = {}) {
  const auto start = Clock::now();
  std::vector<std::string> command = WineCommand(program);
  if (!argument.empty()) command.push_back(argument);
  process.emplace(command, WineEnvironment());
  while (Clock::now() - start < 60s) {
    if (const auto window = screen.FindWindow(hello ? IsHello : IsMain);
        window && Painted(screen, frame, *window, hello)) {
      return Milliseconds(Clock::now() - start);
    }
    std::this_thread::sleep_for(2ms);
  }
  return -1;
}

void PrintMemory(const char* when, const TreeMemory& memory) {
  std::printf("    %-34s %d process(es), RSS %6.1f MiB, PSS %6.1f MiB\n", when, memory.processes, MiB(memory.rssKiB),
              MiB(memory.pssKiB));
}

int Run(const Options& options) {
  const std::string problem = WineSessionProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  const std::optional<Frame> frame = MeasureFrame(options.frame);
  testsupport::ListSite site;
  NoticeServer notice(options.port, site.PopupPrefix());
  VirtualScreen screen(EnvironmentValue("DISPLAY"));
  if (!frame || !notice.Listening() || !screen.Ready()) {
    std::fprintf(stderr, "no frame metrics, notice server or screen\n");
    return 1;
  }
  std::printf("kestrin.exe against a Win32 hello world with one Chinese label, both static mingw-w64 builds "
              "under Wine 8 on Xvfb:\n");
  const auto kestrinBytes = std::filesystem::file_size(options.size);
  const auto helloBytes = std::filesystem::file_size(options.helloSize);
  std::printf("  size: kestrin.exe %ju bytes, hello world %ju bytes (stripped)\n", static_cast<std::uintmax_t>(kestrinBytes),
              static_cast<std::uintmax_t>(helloBytes));

  struct Started {
    const char* name;
    std::string program;
    std::string argument;
    bool hello;
    std::vector<double> painted;
  };
  Started programs[] = {{"hello world", options.hello, {}, true, {}},
                        {"plain controls, picture only", options.plain, "--picture-only", false, {}},
                        {"plain controls", options.plain, {}, false, {}},
                        {"kestrin.exe", options.program, {}, false, {}}};
  for (int run = 0; run < options.starts; ++run) {
    for (Started& started : programs) {
      std::optional<Process> process;
      const double painted =
          StartAndPaint(screen, *frame, process, started.program, started.hello, started.argument);
      if (run > 0 && painted > 0) started.painted.push_back(painted);
      CloseAll(screen, process);
    }
  }
  std::printf("  start to first paint, median of %d warm runs:\n", options.starts - 1);
  for (const Started& started : programs) std::printf("    %-30s %6.1f ms\n", started.name, Median(started.painted));
  const double h = Median(programs[0].painted);
  const double k = Median(programs[3].painted);
  std::printf("  RATIO start to first paint, kestrin.exe / hello world: %.2f\n", k / h);
  std::printf("  RATIO start to first paint, kestrin.exe / plain controls: %.2f\n", k / Median(programs[2].painted));
  std::printf("    plain controls / hello world: %.2f; the picture alone / hello world: %.2f\n",
              Median(programs[2].painted) / h, Median(programs[1].painted) / h);
  if (options.startOnly) return 0;

  std::optional<Process> baseline;
  StartAndPaint(screen, *frame, baseline, options.hello, true);
  std::this_thread::sleep_for(3s);
  const TreeMemory helloMemory = MeasureTree(baseline->Pid());
  PrintMemory("hello world, 3 s after its paint", helloMemory);
  CloseAll(screen, baseline);

  std::optional<Process> program;
  StartAndPaint(screen, *frame, program, options.program, false);
  const bool opened = screen.WaitForWindow(IsNotice, 30s).has_value();
  std::this_thread::sleep_for(3s);
  PrintMemory(opened ? "kestrin.exe, notice window open" : "kestrin.exe, no notice window", MeasureTree(program->Pid()));
  const bool closed = screen.WaitForNoWindow(IsNotice, 40s);
  std::this_thread::sleep_for(3s);
  const TreeMemory after = MeasureTree(program->Pid());
  PrintMemory(closed ? "kestrin.exe, 3 s after it closed" : "kestrin.exe, notice still open", after);
  std::printf("  RATIO RSS after the notice closed, kestrin.exe / hello world: %.2f (PSS %.2f)\n",
              static_cast<double>(after.rssKiB) / helloMemory.rssKiB,
              static_cast<double>(after.pssKiB) / helloMemory.pssKiB);
  CloseAll(screen, program);
  return 0;
}

}  // namespace
}  // namespace kestrin::e2e

int main(int argc, char** argv) {
  kestrin::e2e::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto take = [&](const std::string& name, std::string& into) {
      if (argument.rfind(name, 0) == 0) into = argument.substr(name.size());
    };
    take("--program=", options.program);
    take("--hello=", options.hello);
    take("--plain=", options.plain);
    take("--frame=", options.frame);
    take("--size=", options.size);
    take("--hello-size=", options.helloSize);
    if (argument.rfind("--port=", 0) == 0) options.port = std::stoi(argument.substr(7));
    if (argument.rfind("--starts=", 0) == 0) options.starts = std::max(2, std::stoi(argument.substr(9)));
    if (argument == "--start-only") options.startOnly = true;
  }
  return kestrin::e2e::Run(options);
}
