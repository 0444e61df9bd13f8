#include "cli/history/machine.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "cli/history/history.h"

namespace kestrin::cli {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

long ProcessId() { return static_cast<long>(getpid()); }

bool ProcessRunning(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

std::string DefaultHistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/.local/state";
  }
  return base + "/kestrin/history.sqlite";
}

}  // namespace kestrin::cli
