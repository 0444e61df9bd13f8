// Prints where the client area of the program's windows starts inside their outer rectangle, the
// screen's size and its DPI, as this Windows (or Wine) draws them for a program aware of the DPI,
// as the program is: "left top width height dpi". The
// end-to-end run under Wine clicks at the layouts' client coordinates through it.
#include "runtime/windows/windows_api.h"

#include <cstdio>

#include "ui/win32/win32_access.h"

int main() {
  RECT frame{0, 0, 0, 0};
  if (!::AdjustWindowRectEx(&frame, kestrin::ui::kFormStyle, FALSE, 0)) return 1;
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  std::printf("%ld %ld %d %d %d\n", -frame.left, -frame.top, ::GetSystemMetrics(SM_CXSCREEN),
              ::GetSystemMetrics(SM_CYSCREEN), dpi);
  return 0;
}
