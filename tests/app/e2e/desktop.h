// A desktop for driving the real program from outside: a virtual X screen of its own, child
// processes in their own process groups, real mouse and keyboard input through xdotool, window
// lookup and screenshots through Xlib, and the memory of a process tree from /proc.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using Display = struct _XDisplay;  // Xlib's, kept out of this header

namespace kestrin::e2e {

using namespace std::chrono_literals;

// The program's texts are GBK; the X server's window names are UTF-8.
inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// A program started with the environment of this process plus `environment` ("NAME=value",
// replacing a variable of the same name). It leads a process group of its own, so that the
// helper processes it starts end with it. It inherits no descriptor but the standard three and,
// when given, `passedFd` as descriptor 3: a test's listening sockets must not live on in the
// programs it starts (Wine keeps some of its processes running after the program ends).
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
          int passedFd = -1);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  [[nodiscard]] pid_t Pid() const { return pid_; }
  // The exit code once the program has ended within `timeout` (128 + signal when killed by one).
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  // Ends the whole process group: SIGTERM, then SIGKILL when it lingers.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
};

// Runs a command to its end; its standard output, or nothing when it failed.
std::optional<std::string> RunCommand(const std::vector<std::string>& argv,
                                      const std::vector<std::string>& environment = {});

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ScreenWindow {
  unsigned long id = 0;
  Rect rect;         // on the screen; the screen has no window manager, so no frames either
  std::string name;  // UTF-8 title
};

// 0x00RRGGBB pixels of an area of the screen, row by row.
struct Capture {
  Rect rect;
  std::vector<std::uint32_t> pixels;
  [[nodiscard]] std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * rect.width + x]; }
};

// An Xvfb screen on a free display number, for as long as the object lives.
class VirtualScreen {
 public:
  explicit VirtualScreen(int width = 1920, int height = 1080);
  // A screen that is already there (":7"), which outlives the object: the one a Wine session
  // shows its windows on.
  explicit VirtualScreen(const std::string& display);
  ~VirtualScreen();
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;

  [[nodiscard]] bool Ready() const { return display_ != nullptr; }
  [[nodiscard]] const std::string& Name() const { return name_; }
  // What a Qt program needs to show its windows here.
  [[nodiscard]] std::vector<std::string> Environment() const;

  // Mapped top-level windows, bottom to top.
  [[nodiscard]] std::vector<ScreenWindow> Windows();
  // Polls until a window satisfies `match`.
  std::optional<ScreenWindow> WaitForWindow(const std::function<bool(const ScreenWindow&)>& match,
                                            std::chrono::milliseconds timeout);
  // Polls until no window satisfies `match`.
  bool WaitForNoWindow(const std::function<bool(const ScreenWindow&)>& match, std::chrono::milliseconds timeout);
  [[nodiscard]] std::optional<ScreenWindow> FindWindow(const std::function<bool(const ScreenWindow&)>& match);

  [[nodiscard]] Capture Grab(const Rect& rect);
  bool SavePng(const Capture& capture, const std::string& path);

  // Real input, as a user gives it: the pointer moves there and the button goes down and up.
  bool Click(int x, int y);
  bool Type(const std::string& text);
  bool Keys(const std::string& keys);  // xdotool key names, e.g. "ctrl+a"
  // Asks a window to close, as a window manager's close button does (WM_DELETE_WINDOW).
  bool Close(unsigned long window);

 private:
  std::optional<Process> server_;
  std::string name_;
  Display* display_ = nullptr;
};

// A process and all its descendants: how many, and their resident memory summed (RSS counts
// shared pages once per process; PSS shares them out).
struct TreeMemory {
  int processes = 0;
  long rssKiB = 0;
  long pssKiB = 0;
  std::vector<std::string> commands;  // name, role and RSS of each
};
[[nodiscard]] TreeMemory MeasureTree(pid_t root);

// Ports the tests' servers listen on must be free; the program's notice port is fixed at build time.
[[nodiscard]] bool PortIsFree(int port);

}  // namespace kestrin::e2e
