#include "ui/win32/dpi.h"

#include "runtime/library_files.h"
#include "ui/win32/win32_access.h"

namespace kestrin::ui {
namespace {

// The per-monitor functions came with Windows 10 (1607): looked up, so that the program still
// starts on an older Windows and is scaled there by the system DPI alone.
template <typename Fn>
Fn* User32Function(const char* name) {
  static const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 == nullptr ? nullptr : reinterpret_cast<Fn*>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

using GetDpiForSystemFn = UINT WINAPI();
using GetDpiForWindowFn = UINT WINAPI(HWND);
using AdjustWindowRectExForDpiFn = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);

RECT FrameAtDpi(int dpi) {
  RECT frame{0, 0, 0, 0};
  static auto* adjust = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (adjust != nullptr) {
    adjust(&frame, kFormStyle, FALSE, 0, static_cast<UINT>(dpi));
  } else {
    ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  }
  return frame;
}

}  // namespace

int AtDpi(int value, int dpi) { return ::MulDiv(value, dpi, kLayoutDpi); }

int FromDpi(int value, int dpi) { return dpi > 0 ? ::MulDiv(value, kLayoutDpi, dpi) : value; }

int SystemDpi() {
  static auto* forSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
  if (forSystem != nullptr) return static_cast<int>(forSystem());
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kLayoutDpi;
}

int DpiOfWindow(HWND window) {
  static auto* forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = forWindow != nullptr && window != nullptr ? forWindow(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

int PrimaryScreenDpi() {
  using GetDpiForMonitorFn = HRESULT WINAPI(HMONITOR, int, UINT*, UINT*);
  // shcore came with Windows 8.1; before it every screen has the system's DPI.
  static auto* forMonitor = reinterpret_cast<GetDpiForMonitorFn*>(
      FunctionFromSystemLibrary("shcore.dll", "GetDpiForMonitor").value_or(nullptr));
  UINT x = 0;
  UINT y = 0;
  const HMONITOR primary = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (forMonitor != nullptr && forMonitor(primary, 0 /* MDT_EFFECTIVE_DPI */, &x, &y) == S_OK && x > 0) {
    return static_cast<int>(x);
  }
  return SystemDpi();
}

std::vector<ControlLayout> RowsAtDpi(const WindowLayout& layout, int dpi) {
  const ControlLayout* container = PageContainerOf(layout);
  std::vector<ControlLayout> rows(layout.controls.begin(), layout.controls.end());
  for (ControlLayout& row : rows) {
    // Every edge is scaled from its place in the window and rounded once, so that controls that
    // meet in the layout meet at every DPI; a page's rows stay relative to their container.
    const bool onPage = row.page != kOnWindow && container != nullptr;
    const int x = onPage ? container->left : 0;
    const int y = onPage ? container->top : 0;
    const int right = AtDpi(x + row.left + row.width, dpi);
    const int bottom = AtDpi(y + row.top + row.height, dpi);
    row.left = AtDpi(x + row.left, dpi);
    row.top = AtDpi(y + row.top, dpi);
    row.width = right - row.left;
    row.height = bottom - row.top;
    row.left -= AtDpi(x, dpi);
    row.top -= AtDpi(y, dpi);
    if (row.kind == ControlKind::StatusBar) row.value = AtDpi(row.value, dpi);
  }
  return rows;
}

SIZE OuterSizeAtDpi(const WindowLayout& layout, int dpi) {
  const RECT at96 = FrameAtDpi(kLayoutDpi);
  const RECT atDpi = FrameAtDpi(dpi);
  const int clientWidth = layout.outerWidth - (at96.right - at96.left);
  const int clientHeight = layout.outerHeight - (at96.bottom - at96.top);
  return {AtDpi(clientWidth, dpi) + (atDpi.right - atDpi.left), AtDpi(clientHeight, dpi) + (atDpi.bottom - atDpi.top)};
}

}  // namespace kestrin::ui
