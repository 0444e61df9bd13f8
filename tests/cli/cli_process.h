// Runs the real kestrin-cli as cron would: no terminal, standard input from a file or nothing,
// and cron's small environment (PATH, HOME, SHELL, LOGNAME) plus what the test adds.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kestrin::testsupport {

struct CliRun {
  int exitCode = -1;  // -1 when it did not end by itself in time
  std::string out;
  std::string err;
};

struct CliCall {
  std::vector<std::string> args;             // after the program name
  std::map<std::string, std::string> env{};  // added to cron's environment
  std::string input{};                       // standard input
  int timeoutMs = 120000;
  bool terminal = false;                     // standard error on a pseudo-terminal, as in a shell
  bool shell = false;  // args[0] is a command line for /bin/sh -c, with kestrin-cli on its PATH
};

// The path of the kestrin-cli under test.
[[nodiscard]] std::string CliPath();

// Starts the process; Wait() collects it. Two started before either is waited for run at once.
class CliProcess {
 public:
  explicit CliProcess(const CliCall& call);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  CliRun Wait();

 private:
  int timeoutMs_;
#ifdef _WIN32
  void* process_ = nullptr;  // the process handle
#else
  int pid_ = -1;
  int terminal_ = -1;  // the pseudo-terminal's master side, when standard error is on one
#endif
  std::string folder_;
};

// CliProcess(call).Wait().
[[nodiscard]] CliRun RunCli(const CliCall& call);

// Why no file can be kept readable by its owner alone here (Wine keeps no access list a program
// sets), so that a settings file is refused whatever a test does; empty where one can.
[[nodiscard]] std::string NoPrivateFiles();

// Windows runs have no pseudo-terminal and no POSIX shell: the tests needing one skip there.
#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// UTF-8 `text` as a run's redirected standard error has it (Windows: the ANSI code page).
[[nodiscard]] std::string AsLogged(const std::string& text);

// A fresh folder under /tmp (Windows: the temporary folder), removed with everything in it by the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  [[nodiscard]] const std::string& Path() const { return path_; }
  // Writes `content` to Path()/name with `mode`; returns the full path.
  std::string Write(const std::string& name, const std::string& content, unsigned mode = 0600) const;

 private:
  std::string path_;
};

}  // namespace kestrin::testsupport
