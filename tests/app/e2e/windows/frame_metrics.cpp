// Prints where the client area of the program's windows starts inside their outer rectangle, and
// the screen's size, as this Windows (or Wine) draws them: "left top width height". The
// end-to-end run under Wine clicks at the layouts' client coordinates through it.
#include "runtime/windows/windows_api.h"

#include <cstdio>

#include "ui/win32/win32_access.h"

int main() {
  RECT frame{0, 0, 0, 0};
  if (!::AdjustWindowRectEx(&frame, kestrin::ui::kFormStyle, FALSE, 0)) return 1;
  std::printf("%ld %ld %d %d\n", -frame.left, -frame.top, ::GetSystemMetrics(SM_CXSCREEN),
              ::GetSystemMetrics(SM_CYSCREEN));
  return 0;
}
