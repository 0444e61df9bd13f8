// Start-up time and memory of the real program (kestrin_e2e) on a virtual screen, each against a
// baseline measured in the same run, its notice page answered at once by a local server. Run by
// bench/window_measure.sh:
//   - from exec until the window is ready for use: the interface box, clicked as soon as the window
//     is mapped and typed into, shows the key; against the same layout built directly with plain
//     Qt widgets (bench/plain_window.cpp);
//   - from exec until the window is painted, against a Qt Widgets hello world showing one Chinese
//     label;
//   - processes and resident memory of the program while the notice window shows its page and
//     after it has closed, against the hello world's, as root and, given `--uid=N --gid=N
//     --home=DIR`, as that user too. `--start-only` leaves the memory out.
#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/window_runs.h"
#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/support/list_site.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace kestrin::e2e {
namespace {

constexpr int kNoticePort = KESTRIN_E2E_NOTICE_PORT;
constexpr int kStartRuns = 11;  // the first of each is cold and left out

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double MiB(long kib) { return kib / 1024.0; }

bool IsMain(const ScreenWindow& w) { return w.name.rfind("Kestrin", 0) == 0; }
bool IsNotice(const ScreenWindow& w) { return w.name.find(Utf8(u8"秒后关闭")) != std::string::npos; }
bool IsHello(const ScreenWindow& w) { return w.name == "hello"; }
bool IsPlain(const ScreenWindow& w) { return w.name == "plain"; }

// Who runs the programs: this process's user, or another one through setpriv.
struct User {
  std::string name = "root";
  int uid = -1;  // -1: as this process
  int gid = -1;
  std::string home;
  [[nodiscard]] std::vector<std::string> Argv(const std::string& program) const {
    if (uid < 0) return {program};
    return {"setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid), "--clear-groups", "--",
            program};
  }
  [[nodiscard]] std::vector<std::string> Environment(const VirtualScreen& screen) const {
    std::vector<std::string> environment = screen.Environment();
    if (uid >= 0) {
      environment.insert(environment.end(), {"HOME=" + home, "USER=" + name, "LOGNAME=" + name,
                                             "XDG_RUNTIME_DIR=", "XDG_CACHE_HOME=", "XDG_CONFIG_HOME=",
                                             "XDG_DATA_HOME="});
    }
    return environment;
  }
};

// The picture box holds the main window's only large patch of red. The hello world's label is
// its only dark ink on a light window: a window that is mapped but not yet painted shows black
// (or what lay beneath), so dark pixels alone would count the hello world painted too early.
bool Painted(VirtualScreen& screen, const ScreenWindow& window, bool hello) {
  const Rect area = hello ? window.rect : Rect{window.rect.x + 312, window.rect.y, 432, 144};
  const Capture capture = screen.Grab(area);
  const auto count = [&](auto&& match) {
    return std::count_if(capture.pixels.begin(), capture.pixels.end(), [&](std::uint32_t p) {
      return match(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
    });
  };
  if (!hello) return count([](int r, int g, int b) { return r > 190 && g < 90 && b < 90; }) > 200;
  const auto dark = count([](int r, int g, int b) { return r < 90 && g < 90 && b < 90; });
  const auto light = count([](int r, int g, int b) { return r > 200 && g > 200 && b > 200; });
  return dark > 20 && light > static_cast<long>(capture.pixels.size()) / 2;
}

// From exec until the window is on the screen and until it is painted; -1 when it never is.
struct StartTimes {
  double mapped = -1;
  double painted = -1;
};

// Starts `program` and times its window's coming.
StartTimes StartAndPaint(VirtualScreen& screen, std::optional<Process>& process, const User& user,
                         const std::string& program, bool hello) {
  StartTimes times;
  const auto start = Clock::now();
  process.emplace(user.Argv(program), user.Environment(screen));
  while (Clock::now() - start < 60s) {
    if (const auto window = screen.FindWindow(hello ? IsHello : IsMain)) {
      if (times.mapped < 0) times.mapped = Milliseconds(Clock::now() - start);
      if (Painted(screen, *window, hello)) {
        times.painted = Milliseconds(Clock::now() - start);
        return times;
      }
    }
    std::this_thread::sleep_for(2ms);
  }
  return times;
}

// Processes of the web engine anywhere on the machine, for leftovers.
int WebEngineProcesses() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (std::getline(comm, name) && name.rfind("QtWebEngine", 0) == 0) ++count;
  }
  return count;
}

void PrintTree(const char* when, const TreeMemory& memory) {
  std::printf("    %-32s %d process(es), RSS %7.1f MiB, PSS %7.1f MiB:", when, memory.processes, MiB(memory.rssKiB),
              MiB(memory.pssKiB));
  for (const std::string& command : memory.commands) std::printf(" %s", command.c_str());
  std::printf("\n");
}

// Times ten warm starts of each, interleaved.
void MeasureStart(VirtualScreen& screen, const User& user) {
  std::vector<double> mapped[2];
  std::vector<double> painted[2];  // hello world, Kestrin
  for (int run = 0; run < kStartRuns; ++run) {
    for (const bool isHello : {true, false}) {
      std::optional<Process> process;
      const StartTimes times =
          StartAndPaint(screen, process, user, isHello ? KESTRIN_HELLO_PROGRAM : KESTRIN_E2E_PROGRAM, isHello);
      if (run > 0 && times.painted > 0) {
        mapped[isHello ? 0 : 1].push_back(times.mapped);
        painted[isHello ? 0 : 1].push_back(times.painted);
      }
      CloseAll(screen, process);
    }
  }
  const double h = Median(painted[0]);
  const double k = Median(painted[1]);
  std::printf("  start to window mapped, painted or not, median of %d warm runs: hello world %.1f ms, "
              "Kestrin %.1f ms\n",
              kStartRuns - 1, Median(mapped[0]), Median(mapped[1]));
  std::printf("  start to first paint, median of %d warm runs: hello world %.1f ms, Kestrin %.1f ms\n",
              kStartRuns - 1, h, k);
  std::printf("  FIGURE start to first paint, Kestrin / hello world: %.2f (reported, no target)\n", k / h);
}

// The interface box, 编辑框9, in the main window's client area: once emptied by the click and
// typed into, it shows the key's grey ink at its start and none further on, on white. Before
// the window is painted the area is black, and before the click it holds the long example text.
bool ShowsTheKey(VirtualScreen& screen, const ScreenWindow& window) {
  const Capture capture = screen.Grab({window.rect.x + 93 + 2, window.rect.y + 151 + 4, 456, 16});
  long white = 0;
  long near = 0;
  long far = 0;
  for (int y = 0; y < capture.rect.height; ++y) {
    for (int x = 0; x < capture.rect.width; ++x) {
      const std::uint32_t p = capture.At(x, y);
      const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
      if (r > 240 && g > 240 && b > 240) {
        ++white;
      } else if (r < 200 && std::abs(r - g) < 24 && std::abs(g - b) < 24) {
        if (x < 24) ++near;
        if (x > 40) ++far;
      }
    }
  }
  return white > static_cast<long>(capture.pixels.size()) * 3 / 4 && near > 3 && far == 0;
}

// Input given through the X server's XTEST extension from this process, as xdotool gives it but
// without starting a program: the click and the key reach the server within a millisecond of the
// window's mapping, whichever program is measured. libXtst is loaded by name, as xdotool's.
class FakeInput {
 public:
  explicit FakeInput(const std::string& display)
      : display_(XOpenDisplay(display.c_str())), library_(dlopen("libXtst.so.6", RTLD_NOW)) {
    if (library_ == nullptr) return;
    motion_ = reinterpret_cast<Motion>(dlsym(library_, "XTestFakeMotionEvent"));
    button_ = reinterpret_cast<Press>(dlsym(library_, "XTestFakeButtonEvent"));
    key_ = reinterpret_cast<Press>(dlsym(library_, "XTestFakeKeyEvent"));
  }
  ~FakeInput() {
    if (display_ != nullptr) XCloseDisplay(display_);
    if (library_ != nullptr) dlclose(library_);
  }
  FakeInput(const FakeInput&) = delete;
  FakeInput& operator=(const FakeInput&) = delete;

  [[nodiscard]] bool Ready() const { return display_ != nullptr && motion_ && button_ && key_; }

  // A left click at `x`, `y` of the screen, then the key `w`.
  void ClickAndType(int x, int y) {
    motion_(display_, -1, x, y, 0);
    button_(display_, 1, True, 0);
    button_(display_, 1, False, 0);
    const unsigned code = XKeysymToKeycode(display_, XK_w);
    key_(display_, code, True, 0);
    key_(display_, code, False, 0);
    XFlush(display_);
  }

 private:
  using Motion = int (*)(Display*, int, int, int, unsigned long);
  using Press = int (*)(Display*, unsigned, int, unsigned long);
  Display* display_;
  void* library_;
  Motion motion_ = nullptr;
  Press button_ = nullptr;
  Press key_ = nullptr;
};

struct ReadyTimes {
  double mapped = -1;
  double painted = -1;
  double ready = -1;
};

// Starts `program`, clicks into its interface box and types a key as soon as its window is
// mapped, and times the mapping, its first paint and the key's showing.
ReadyTimes StartAndUse(VirtualScreen& screen, FakeInput& input, std::optional<Process>& process, const User& user,
                       const std::string& program, bool plain) {
  ReadyTimes times;
  const auto start = Clock::now();
  process.emplace(user.Argv(program), user.Environment(screen));
  std::optional<ScreenWindow> window;
  while (!window && Clock::now() - start < 60s) {
    window = screen.FindWindow(plain ? IsPlain : IsMain);
    if (!window) std::this_thread::sleep_for(1ms);
  }
  if (!window) return times;
  times.mapped = Milliseconds(Clock::now() - start);
  input.ClickAndType(window->rect.x + 93 + 300, window->rect.y + 151 + 12);
  while (Clock::now() - start < 60s) {
    if (times.painted < 0 && Painted(screen, *window, false)) times.painted = Milliseconds(Clock::now() - start);
    if (ShowsTheKey(screen, *window)) {
      times.ready = Milliseconds(Clock::now() - start);
      break;
    }
    std::this_thread::sleep_for(1ms);
  }
  return times;
}

// Ten warm starts of each, interleaved: Kestrin, its notice page answered at once, and the same
// layout as plain widgets.
void MeasureReady(VirtualScreen& screen, const User& user) {
  FakeInput input(screen.Name());
  if (!input.Ready()) {
    std::printf("  no XTEST input (libXtst.so.6): not measured\n");
    return;
  }
  std::vector<double> mapped[2];  // plain widgets, Kestrin
  std::vector<double> painted[2];
  std::vector<double> ready[2];
  for (int run = 0; run < kStartRuns; ++run) {
    for (const bool plain : {true, false}) {
      std::optional<Process> process;
      const ReadyTimes times =
          StartAndUse(screen, input, process, user, plain ? KESTRIN_PLAIN_PROGRAM : KESTRIN_E2E_PROGRAM, plain);
      if (times.ready < 0) std::printf("  %s never showed the key\n", plain ? "plain widgets" : "Kestrin");
      if (run > 0 && times.ready > 0) {
        mapped[plain ? 0 : 1].push_back(times.mapped);
        painted[plain ? 0 : 1].push_back(times.painted);
        ready[plain ? 0 : 1].push_back(times.ready);
      }
      CloseAll(screen, process);
    }
  }
  const double p = Median(ready[0]);
  const double k = Median(ready[1]);
  std::printf("  start to window mapped, medians of %zu and %zu warm runs: plain widgets %.1f ms, Kestrin %.1f ms\n",
              mapped[0].size(), mapped[1].size(), Median(mapped[0]), Median(mapped[1]));
  std::printf("  start to first paint, medians: plain widgets %.1f ms, Kestrin %.1f ms\n", Median(painted[0]),
              Median(painted[1]));
  std::printf("  start to ready for use (the key typed into the interface box shown), medians: plain widgets "
              "%.1f ms, Kestrin %.1f ms\n",
              p, k);
  std::printf("  RATIO start to ready for use, Kestrin / plain widgets: %.2f (target 1.1 at most)\n", k / p);
}

void MeasureMemory(VirtualScreen& screen, const User& user, testsupport::ListSite& site) {
  std::printf("  as %s:\n", user.name.c_str());
  std::optional<Process> hello;
  StartAndPaint(screen, hello, user, KESTRIN_HELLO_PROGRAM, true);
  std::this_thread::sleep_for(3s);
  const TreeMemory helloMemory = MeasureTree(hello->Pid());
  PrintTree("hello world", helloMemory);
  CloseAll(screen, hello);

  std::optional<Process> program;
  site.ClearRecords();
  StartAndPaint(screen, program, user, KESTRIN_E2E_PROGRAM, false);
  const auto notice = screen.WaitForWindow(IsNotice, 60s);
  const auto noticeSeen = Clock::now();
  for (int i = 0; i < 100 && site.FetchedUnder("/pop/").empty(); ++i) std::this_thread::sleep_for(100ms);
  std::this_thread::sleep_for(3s);
  PrintTree(notice ? "notice window open, page shown" : "notice window never appeared", MeasureTree(program->Pid()));
  const bool closed = screen.WaitForNoWindow(IsNotice, 40s);
  std::printf("    notice window %s after %.1f s\n", closed ? "closed" : "still open",
              Milliseconds(Clock::now() - noticeSeen) / 1000.0);
  std::this_thread::sleep_for(3s);
  const TreeMemory after = MeasureTree(program->Pid());
  PrintTree("3 s after the notice closed", after);
  std::printf("    web engine processes left on the machine: %d\n", WebEngineProcesses());
  std::printf("  RATIO RSS after the notice closed, Kestrin (%d process(es)) / hello world, as %s: %.2f "
              "(target 1.5 at most)\n",
              after.processes, user.name.c_str(), static_cast<double>(after.rssKiB) / helloMemory.rssKiB);
  CloseAll(screen, program);
}

int Run(int argc, char** argv) {
  std::vector<User> users{User{}};
  if (const passwd* self = getpwuid(geteuid())) users.front().name = self->pw_name;
  User other;
  bool startOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const char* name) { return argument.substr(std::strlen(name)); };
    if (argument.rfind("--uid=", 0) == 0) other.uid = std::stoi(value("--uid="));
    if (argument.rfind("--gid=", 0) == 0) other.gid = std::stoi(value("--gid="));
    if (argument.rfind("--home=", 0) == 0) other.home = value("--home=");
    if (argument.rfind("--user=", 0) == 0) other.name = value("--user=");
    if (argument == "--start-only") startOnly = true;
  }
  if (other.uid >= 0) users.push_back(other);
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
  std::printf("The program's window against the same layout as plain Qt widgets (Xvfb):\n");
  MeasureReady(screen, users.front());
  std::printf("The program's window against a Qt Widgets hello world with one Chinese label (Xvfb):\n");
  MeasureStart(screen, users.front());
  if (startOnly) return 0;
  for (const User& user : users) MeasureMemory(screen, user, site);
  return 0;
}

}  // namespace
}  // namespace kestrin::e2e

int main(int argc, char** argv) { return kestrin::e2e::Run(argc, argv); }
