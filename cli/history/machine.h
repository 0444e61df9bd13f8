// What the history needs to know of the machine, on each platform (linux/, windows/machine.cpp):
// who is running, whether a run that made a claim still is, and where the history lives by
// default (DefaultHistoryPath, declared in history.h).
#pragma once

#include <string>

namespace kestrin::cli {

// The machine's name, "localhost" when it has none.
[[nodiscard]] std::string HostName();
// This process's number.
[[nodiscard]] long ProcessId();
// Whether process `pid` of this machine is still running (or cannot be told not to be).
[[nodiscard]] bool ProcessRunning(long pid);

}  // namespace kestrin::cli
