// The layouts are in pixels at 96 DPI; a window shows them at the DPI of its screen, every place,
// size and font scaled, so that text stays sharp where Windows would otherwise stretch the window.
#pragma once

#include "runtime/windows/windows_api.h"

#include <vector>

#include "ui/layout.h"

namespace kestrin::ui {

inline constexpr int kLayoutDpi = 96;

// `value` layout pixels at `dpi`, rounded to the nearest pixel.
[[nodiscard]] int AtDpi(int value, int dpi);
// `value` pixels at `dpi` in layout pixels, rounded to the nearest.
[[nodiscard]] int FromDpi(int value, int dpi);

// The DPI of the primary screen as this process sees it (96 for a process Windows scales).
[[nodiscard]] int SystemDpi();
// The DPI of a window on the primary screen: the screen's own, which differs from the system's
// once the screen's scale has changed since sign-in.
[[nodiscard]] int PrimaryScreenDpi();
// The DPI a window is shown at: its screen's under per-monitor awareness, else the system's.
[[nodiscard]] int DpiOfWindow(HWND window);

// The rows of a layout with every place and size (and a status bar's part width) at `dpi`, each
// edge rounded once from its place in the window. A page's rows stay relative to their container.
[[nodiscard]] std::vector<ControlLayout> RowsAtDpi(const WindowLayout& layout, int dpi);
// A window's outer size at `dpi`: its client area as the layout's, scaled, inside the frame that
// this system draws at that DPI (the layout's outer size holds the frame at 96 DPI).
[[nodiscard]] SIZE OuterSizeAtDpi(const WindowLayout& layout, int dpi);

}  // namespace kestrin::ui
