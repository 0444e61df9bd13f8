// Start-up time and memory of the real program (kestrin_e2e) on a virtual screen, against a plain
// Qt Widgets hello world showing one Chinese label, measured in the same run. Run by
// bench/window_measure.sh:
//   - from exec until the window is painted, interleaved with the hello world's: once with no first
//     frame kept from an earlier start, once with the frame the first of those starts kept;
//   - processes and resident memory of the program while the notice window shows its page and
//     after it has closed, against the hello world's, as root and, given `--uid=N --gid=N
//     --home=DIR`, as that user too. `--start-only` leaves the memory out.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/support/list_site.h"

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

// Who runs the programs: this process's user, or another one through setpriv.
struct User {
  std::string name = "root";
  int uid = -1;  // -1: as this process
  int gid = -1;
  std::string home;
  std::string cacheHome;  // XDG_CACHE_HOME, where the program keeps its first frame; empty: none
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
    if (!cacheHome.empty()) environment.push_back("XDG_CACHE_HOME=" + cacheHome);
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

void CloseAll(VirtualScreen& screen, std::optional<Process>& process) {
  for (const ScreenWindow& window : screen.Windows()) screen.Close(window.id);
  if (!process->WaitForExit(20s)) std::printf("  still running 20 s after its window was closed\n");
  process->Stop();
  screen.WaitForNoWindow([](const ScreenWindow&) { return true; }, 10s);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
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

// Times ten warm starts of each, interleaved. With `keep` false, the program finds no first frame
// kept from its last start: the folder where it keeps one is emptied before each start.
void MeasureStart(VirtualScreen& screen, const User& user, bool keep) {
  std::vector<double> mapped[2];
  std::vector<double> painted[2];  // hello world, Kestrin
  for (int run = 0; run < kStartRuns; ++run) {
    for (const bool isHello : {true, false}) {
      if (!keep && !isHello) {
        std::error_code error;
        std::filesystem::remove_all(user.cacheHome, error);
      }
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
  const char* frame = keep ? "first frame kept from the last start" : "no first frame kept";
  std::printf("  %s:\n", frame);
  std::printf("    start to window mapped, painted or not, median of %d warm runs: hello world %.1f ms, "
              "Kestrin %.1f ms\n",
              kStartRuns - 1, Median(mapped[0]), Median(mapped[1]));
  std::printf("    start to first paint, median of %d warm runs: hello world %.1f ms, Kestrin %.1f ms\n",
              kStartRuns - 1, h, k);
  std::printf("  RATIO start to first paint, Kestrin / hello world, %s: %.2f (target 1.2 at most)\n", frame,
              k / h);
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
  std::printf("The program's window against a Qt Widgets hello world with one Chinese label (Xvfb):\n");
  {
    User starter = users.front();
    starter.cacheHome = (std::filesystem::temp_directory_path() / ("kestrin-measure-cache-" + std::to_string(getpid())))
                            .string();
    MeasureStart(screen, starter, false);
    MeasureStart(screen, starter, true);
    std::error_code error;
    std::filesystem::remove_all(starter.cacheHome, error);
  }
  if (startOnly) return 0;
  for (const User& user : users) MeasureMemory(screen, user, site);
  return 0;
}

}  // namespace
}  // namespace kestrin::e2e

int main(int argc, char** argv) { return kestrin::e2e::Run(argc, argv); }
