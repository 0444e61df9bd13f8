// What a death test sees of a runtime error report, on either platform.
#pragma once

#include <string>

namespace kestrin {

// The exit code -1 as the parent reads it: its low byte on Linux, whole on Windows.
#ifdef _WIN32
inline constexpr int kRuntimeErrorExitCode = -1;
#else
inline constexpr int kRuntimeErrorExitCode = 255;
#endif

// A report's standard error as a death test reads it. GoogleTest on Windows reads the child's
// output as text, CR LF as LF; the report's own bytes are checked apart from death tests.
inline std::string AsDeathTestReads(std::string report) {
#ifdef _WIN32
  std::erase(report, '\r');
#endif
  return report;
}

}  // namespace kestrin
