#include "tests/app/e2e/desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace kestrin::e2e {
namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
  std::map<std::string, std::string> byName;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    byName[text.substr(0, text.find('='))] = text;
  }
  for (const std::string& text : overrides) byName[text.substr(0, text.find('='))] = text;
  std::vector<std::string> merged;
  for (auto& [name, text] : byName) merged.push_back(text);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

template <typename Poll>
bool PollUntil(std::chrono::milliseconds timeout, Poll poll) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (poll()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(20ms);
  }
}

// Xlib's default handler ends the process on a protocol error, and windows of the program under
// test may vanish between listing and reading them.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

std::string WindowName(Display* display, ::Window window) {
  const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(display, window, netName, 0, 4096, False, utf8, &type, &format, &count, &after, &data) ==
          Success &&
      data != nullptr) {
    name.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  if (name.empty()) {
    char* plain = nullptr;
    if (XFetchName(display, window, &plain) != 0 && plain != nullptr) {
      name = plain;
      XFree(plain);
    }
  }
  return name;
}

long StatusField(const std::filesystem::path& file, const std::string& field) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- processes

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int passedFd) {
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(environment);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (passedFd >= 0) posix_spawn_file_actions_adddup2(&actions, passedFd, 3);
  posix_spawn_file_actions_addclosefrom_np(&actions, passedFd >= 0 ? 4 : 3);
  if (posix_spawnp(&pid_, argp[0], &actions, &attributes, argp.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
}

Process::~Process() { Stop(); }

std::optional<int> Process::WaitForExit(std::chrono::milliseconds timeout) {
  if (exitCode_ || pid_ <= 0) return exitCode_;
  PollUntil(timeout, [&] {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) exitCode_ = ExitCodeOf(status);
    return exitCode_.has_value();
  });
  return exitCode_;
}

void Process::Stop() {
  if (pid_ <= 0) return;
  // The group outlives its leader when helpers linger, so it is ended even after the leader exits.
  kill(-pid_, SIGTERM);
  if (!WaitForExit(5s)) {
    kill(-pid_, SIGKILL);
    WaitForExit(5s);
  }
  kill(-pid_, SIGKILL);
  pid_ = -1;
}

std::optional<std::string> RunCommand(const std::vector<std::string>& argv,
                                      const std::vector<std::string>& environment) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return std::nullopt;
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(environment);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  std::string output;
  char buffer[4096];
  ssize_t got = 0;
  while (spawned == 0 && (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) output.append(buffer, got);
  close(pipeEnds[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

// ---------------------------------------------------------------- the screen

VirtualScreen::VirtualScreen(int width, int height) {
  // Xvfb picks a free display itself and writes its number to the pipe once it accepts clients.
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return;
  fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp",
                                           "-noreset"},
                  std::vector<std::string>{}, pipeEnds[1]);
  close(pipeEnds[1]);
  std::string number;
  char c = 0;
  while (read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
  close(pipeEnds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  XSetErrorHandler(IgnoreXError);
  display_ = XOpenDisplay(name_.c_str());
}

VirtualScreen::VirtualScreen(const std::string& display) : name_(display) {
  XSetErrorHandler(IgnoreXError);
  display_ = XOpenDisplay(name_.c_str());
}

VirtualScreen::~VirtualScreen() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::vector<std::string> VirtualScreen::Environment() const {
  // The screen has no session bus. Left unset, D-Bus forks a launcher for one from inside the
  // program, and under ASan a child forked while another thread holds the sanitizer's locks
  // spins on them for ever: the program, waiting for its bus, never goes on. An address that
  // cannot be reached fails at once instead.
  return {"DISPLAY=" + name_, "QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=",
          "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/kestrin-virtual-screen-bus"};
}

std::vector<ScreenWindow> VirtualScreen::Windows() {
  std::vector<ScreenWindow> found;
  if (display_ == nullptr) return found;
  ::Window root = 0;
  ::Window parent = 0;
  ::Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) == 0) return found;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, children[i], &attributes) == 0 || attributes.map_state != IsViewable ||
        attributes.c_class == InputOnly) {
      continue;
    }
    found.push_back({children[i],
                     {attributes.x, attributes.y, attributes.width, attributes.height},
                     WindowName(display_, children[i])});
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::optional<ScreenWindow> VirtualScreen::FindWindow(const std::function<bool(const ScreenWindow&)>& match) {
  for (const ScreenWindow& window : Windows()) {
    if (match(window)) return window;
  }
  return std::nullopt;
}

std::optional<ScreenWindow> VirtualScreen::WaitForWindow(const std::function<bool(const ScreenWindow&)>& match,
                                                         std::chrono::milliseconds timeout) {
  std::optional<ScreenWindow> found;
  PollUntil(timeout, [&] { return (found = FindWindow(match)).has_value(); });
  return found;
}

bool VirtualScreen::WaitForNoWindow(const std::function<bool(const ScreenWindow&)>& match,
                                    std::chrono::milliseconds timeout) {
  return PollUntil(timeout, [&] { return !FindWindow(match).has_value(); });
}

Capture VirtualScreen::Grab(const Rect& rect) {
  Capture capture{rect, {}};
  if (display_ == nullptr || rect.width <= 0 || rect.height <= 0) return capture;
  XSync(display_, False);
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), rect.x, rect.y, rect.width, rect.height, AllPlanes,
                            ZPixmap);
  if (image == nullptr) return capture;
  capture.pixels.reserve(static_cast<std::size_t>(rect.width) * rect.height);
  // The usual 24-bit screen in this machine's byte order is read row by row: a pixel at a time,
  // the grab of a whole window would take milliseconds, which the start-up measurements count.
  const std::uint32_t one = 1;
  const bool lsbFirst = *reinterpret_cast<const std::uint8_t*>(&one) == 1;
  const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
                      image->blue_mask == 0xFF && image->byte_order == (lsbFirst ? LSBFirst : MSBFirst);
  for (int y = 0; y < rect.height; ++y) {
    if (direct) {
      const char* row = image->data + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
      for (int x = 0; x < rect.width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
        capture.pixels.push_back(pixel & 0xFFFFFF);
      }
      continue;
    }
    for (int x = 0; x < rect.width; ++x) capture.pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
  }
  XDestroyImage(image);
  return capture;
}

bool VirtualScreen::SavePng(const Capture& capture, const std::string& path) {
  if (capture.pixels.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(static_cast<std::size_t>(capture.rect.width) * 3);
  bool written = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, capture.rect.width, capture.rect.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < capture.rect.height; ++y) {
      for (int x = 0; x < capture.rect.width; ++x) {
        const std::uint32_t pixel = capture.At(x, y);
        row[x * 3] = static_cast<png_byte>(pixel >> 16);
        row[x * 3 + 1] = static_cast<png_byte>(pixel >> 8);
        row[x * 3 + 2] = static_cast<png_byte>(pixel);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    written = true;
  }
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return written;
}

bool VirtualScreen::Click(int x, int y) {
  return RunCommand({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"},
                    Environment())
      .has_value();
}

bool VirtualScreen::Type(const std::string& text) {
  return RunCommand({"xdotool", "type", "--delay", "15", "--", text}, Environment()).has_value();
}

bool VirtualScreen::Keys(const std::string& keys) {
  return RunCommand({"xdotool", "key", "--clearmodifiers", keys}, Environment()).has_value();
}

bool VirtualScreen::Close(unsigned long window) {
  if (display_ == nullptr) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display_, window, False, NoEventMask, &event) != 0;
  XFlush(display_);
  return sent;
}

// ---------------------------------------------------------------- memory

TreeMemory MeasureTree(pid_t root) {
  std::map<pid_t, pid_t> parentOf;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    // The command name is in parentheses and may hold spaces; the parent pid is the 2nd field after it.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    parentOf[std::stoi(name)] = parent;
  }
  TreeMemory memory;
  for (const auto& [pid, parent] : parentOf) {
    pid_t up = pid;
    while (up > 1 && up != root) {
      const auto found = parentOf.find(up);
      up = found == parentOf.end() ? 0 : found->second;
    }
    if (up != root) continue;
    const std::filesystem::path dir = "/proc/" + std::to_string(pid);
    ++memory.processes;
    const long rss = StatusField(dir / "status", "VmRSS");
    memory.rssKiB += rss;
    memory.pssKiB += StatusField(dir / "smaps_rollup", "Pss");
    std::ifstream comm(dir / "comm");
    std::string command;
    std::getline(comm, command);
    // Chromium's helpers all share one name; their role is in the --type= argument.
    std::ifstream cmdline(dir / "cmdline");
    std::string argument;
    while (std::getline(cmdline, argument, '\0')) {
      if (argument.rfind("--type=", 0) == 0) command += "(" + argument.substr(7) + ")";
    }
    memory.commands.push_back(command + " " + std::to_string(rss / 1024) + "M");
  }
  return memory;
}

bool PortIsFree(int port) {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  if (probe < 0) return false;
  const int yes = 1;
  // As the test servers bind (cpp-httplib asks for SO_REUSEPORT): the connections they closed
  // themselves, waiting out TIME_WAIT on this port, do not keep them from listening again.
  setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  setsockopt(probe, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool free = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return free;
}

}  // namespace kestrin::e2e
