// What the window measurements do between their timed starts.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "tests/app/e2e/desktop.h"

namespace kestrin::e2e {

// Closes every window on the screen and ends the program, so that the next start finds the screen
// empty.
inline void CloseAll(VirtualScreen& screen, std::optional<Process>& process) {
  using namespace std::chrono_literals;
  for (const ScreenWindow& window : screen.Windows()) screen.Close(window.id);
  if (!process->WaitForExit(20s)) std::printf("  still running 20 s after its window was closed\n");
  process->Stop();
  screen.WaitForNoWindow([](const ScreenWindow&) { return true; }, 10s);
}

// The median of `values`, or -1 when there are none.
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace kestrin::e2e
