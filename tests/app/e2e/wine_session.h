// Windows programs run under the Wine session that scripts/wine.sh starts (its prefix, its
// Chinese locale, its virtual screen), for the end-to-end run of kestrin.exe and its
// measurements. Linux only: these drive Wine from outside.
#pragma once

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/e2e/desktop.h"

namespace kestrin::e2e {

inline std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Empty when the session is there; otherwise what is missing.
inline std::string WineSessionProblem() {
  for (const char* name : {"WINEPREFIX", "KESTRIN_WINE_LOCALE", "DISPLAY"}) {
    if (EnvironmentValue(name).empty()) {
      return std::string(name) + " is not set: start a Wine session first (. scripts/wine.sh; wine_start)";
    }
  }
  return {};
}

// What Wine needs besides the session's variables: the locale that makes its code page 936.
inline std::vector<std::string> WineEnvironment() {
  return {"LOCPATH=" + EnvironmentValue("KESTRIN_WINE_LOCALE"), "LC_ALL=zh_CN.UTF-8"};
}

inline std::vector<std::string> WineCommand(const std::string& program) { return {"/usr/lib/wine/wine64", program}; }

// Where the client area of the program's windows starts inside their outer rectangle, the
// screen's size and its DPI, as Wine draws them (the frame-metrics program says).
struct Frame {
  int left = 0;
  int top = 0;
  int screenWidth = 0;
  int screenHeight = 0;
  int dpi = 96;
};

inline std::optional<Frame> MeasureFrame(const std::string& frameProgram) {
  const std::optional<std::string> output = RunCommand(WineCommand(frameProgram), WineEnvironment());
  if (!output) return std::nullopt;
  Frame frame;
  std::istringstream in(*output);
  if (!(in >> frame.left >> frame.top >> frame.screenWidth >> frame.screenHeight >> frame.dpi)) return std::nullopt;
  return frame;
}

}  // namespace kestrin::e2e
