// The Win32 side of the window framework as tests and measurements see it: handles of windows
// and controls, and the services they stand in for. The program's logic never includes this.
#pragma once

#include "runtime/windows/windows_api.h"

#include <functional>
#include <string_view>

#include "runtime/text.h"
#include "ui/window_services.h"

namespace kestrin::ui {

// The frame of every top-level window: fixed size, title bar, system menu, minimise box.
inline constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Makes the calling thread the window thread, with OLE and the common controls, unless one is
// already; the first call of the framework does this otherwise.
void BecomeWindowThread();

// A loaded window's handle, or nullptr. Any thread.
[[nodiscard]] HWND WindowHandle(std::string_view window);
// A control's window (the tool bar, an edit box, the browser's area ...), or nullptr for a
// timer or a control that is not loaded. Any thread.
[[nodiscard]] HWND ControlHandle(std::string_view window, std::string_view control);

// Loads `window` as the program loads its start window: shown and painted first, then, with the
// next message the thread takes, the controls of the pages not shown and the created event. It
// is not the program's start window for all that: closing it ends nothing. Window thread.
[[nodiscard]] bool LoadAsStartWindow(std::string_view window);

// SetScreenSizeOverride and SetAddressOpener: ui/window_services.h.

// Whether an HTML engine answers, so that a browser control can show pages (asked once).
[[nodiscard]] bool HtmlEngineAvailable();
// The address a browser control shows as a link because no HTML engine works; empty when it
// shows none. Window thread.
[[nodiscard]] Text BrowserLinkAddress(HWND area);

}  // namespace kestrin::ui
