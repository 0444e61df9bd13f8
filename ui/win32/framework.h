// What the Win32 backend's own files share: the loaded windows and their controls, the hand-over
// of events, and the texts as the W API takes them. The program's logic never includes this.
// Everything here belongs to the window thread unless it says otherwise.
#pragma once

#include "runtime/windows/windows_api.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"
#include "ui/form_state.h"
#include "ui/form_states.h"
#include "ui/layout.h"
#include "ui/window_lookup.h"
#include "ui/window_table.h"
#include "ui/window_thread.h"
#include "ui/win32/dpi.h"
#include "ui/win32/win32_access.h"

namespace kestrin::ui {

// GBK <-> the W API's UTF-16, always through code page 936, whatever the system's ANSI code page.
[[nodiscard]] std::wstring Wide(std::string_view gbk);
[[nodiscard]] Text Narrow(std::wstring_view wide);
// One of the system's cursors (IDC_ARROW ...: integer resources, whatever their declared type).
inline HCURSOR SystemCursor(const char* resource) {
  return ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(resource));
}
// A window's text, read with the W API.
[[nodiscard]] Text WindowText(HWND window);

// Private messages of the backend's windows.
enum : UINT {
  kRunMessage = WM_APP + 1,  // call window: lParam points at a std::function<void()> to run
  kShowChangesMessage,       // call window: lParam is a new std::string naming the window
  kCreatedMessage,           // a top-level window: hand its created event over now
  kUnloadMessage,            // a top-level window: go
};

// The primary screen's size in its own pixels (the test override scaled to them).
[[nodiscard]] SIZE ScreenPixels();

// Command identifiers: controls count up from here, tool-bar buttons from their own base, so
// that neither meets the dialog manager's IDOK and IDCANCEL.
inline constexpr int kFirstControlId = 100;
inline constexpr int kFirstToolButtonId = 40000;

struct ControlEntry {
  const ControlLayout* row = nullptr;
  HWND hwnd = nullptr;  // none for timers
  int id = 0;           // command identifier, or the timer's identifier
  std::vector<int> buttonStates;  // tool bar: each button's state in the Windows encoding
  HFONT font = nullptr;           // a font of its own, deleted with the window
};

struct LiveWindow {
  WindowLayout layout;            // its controls are `rows`
  std::vector<ControlLayout> rows;  // the layout's rows at the window's DPI; never resized
  int dpi = kLayoutDpi;
  SIZE largest{};  // its own size at its DPI, which even a smaller screen does not cut down
  HWND hwnd = nullptr;
  std::map<std::string, ControlEntry, std::less<>> controls;
  std::map<HWND, ControlEntry*> byHandle;
  std::vector<std::vector<ControlEntry*>> pages;  // the controls of each page of the container
  ControlEntry* container = nullptr;
  HWND statusBar = nullptr;
  int currentPage = 0;
  // The edit boxes' texts and the choices as the program knows them, and the changes not yet
  // shown; shared with the workers through FormStateOf.
  std::shared_ptr<FormState> state = std::make_shared<FormState>();
  std::chrono::steady_clock::time_point lastShown;
  bool showScheduled = false;
  bool createdPending = false;  // the created event waits for the first paint
  bool lastWasRadio = false;    // radio buttons made in a row form one group
  HWND lastFocus = nullptr;     // the control that had the keyboard when the window was left
  HBRUSH background = nullptr;  // not owned
  std::vector<HGDIOBJ> owned;   // bitmaps that go with the window
  std::vector<HICON> icons;     // its title bar's icons, which go with it too
};

using Registry = WindowTable<LiveWindow>;

// Never freed: workers may still call in while the process ends.
[[nodiscard]] Registry& Windows();

// The table's lookups (ui/window_table.h), and a window by its handle.
[[nodiscard]] inline LiveWindow* FindWindow(std::string_view window) { return Windows().Find(window); }
[[nodiscard]] LiveWindow* FindWindowByHandle(HWND hwnd);
[[nodiscard]] inline ControlEntry& RequireControl(std::string_view window, std::string_view control) {
  return Windows().RequireControl(window, control);
}
inline void Dispatch(std::string_view window, std::string_view control, Event event, int argument) {
  Windows().Dispatch(window, control, event, argument);
}

// OnWindowThread and RunOnWindowThread (ui/window_thread.h): the window thread is the first that
// installed the services, loaded a window or ran the program, and work reaches it as a sent
// message, which it also serves inside message boxes.
// The window that carries other threads' calls and wake-ups; nullptr before BecomeWindowThread.
[[nodiscard]] HWND CallWindow();

// The windows' default font, SimSun at 12 layout pixels at `dpi`; the fonts of the large and
// bold rows.
[[nodiscard]] HFONT DefaultFont(int dpi);
// A new font of character cell height 20 layout pixels at `dpi` in the default face, bold or not
// (the caller owns it).
[[nodiscard]] HFONT MakeLargeFont(bool bold, int dpi);

// Creates the control of one layout row on `live`'s window at (x, y), the row's own place offset
// by its page container's, and records it; hidden from the start unless `shown`.
void CreateControl(const ControlLayout& row, LiveWindow& live, int x, int y, int id, bool shown = true);
// Answers WM_CTLCOLORSTATIC / WM_CTLCOLOREDIT / WM_CTLCOLORBTN: the row's colours for `live`'s
// own controls, the system's for any other.
[[nodiscard]] LRESULT ControlColours(LiveWindow& live, UINT message, WPARAM wParam, LPARAM lParam);
// Hands a control's WM_COMMAND to the form state and the handlers.
void ControlCommand(LiveWindow& live, HWND control, int id, int code);
// Frees what the window's controls hold; the windows themselves go with their parent.
void ReleaseControls(LiveWindow& live);
// After the window's DPI and rows changed: every control moved, sized and given its fonts and
// picture again at the new DPI.
void RescaleControls(LiveWindow& live);

// Edit boxes: the program's text shown, caret at the start; text appended at the end, scrolled
// to, not undoable.
void ShowEditText(const ControlEntry& entry, const Text& text);
void ShowAppended(const ControlEntry& entry, const Text& text);

// Shows the window's pending changes now.
void ShowPendingChanges(LiveWindow& live);
// From any thread: the window thread shows the window's pending changes at its next frame, at
// most once a frame however fast they come.
void RequestShowChanges(const std::string& window);
// On the window thread: the timer of a scheduled showing has fired.
void ShowScheduledChanges(LiveWindow& live);
inline constexpr UINT_PTR kShowTimerId = 1;

// The web-browser control: an area that shows the page at an address, or, without an HTML
// engine, the address as a link.
[[nodiscard]] HWND MakeBrowserArea(HWND parent, int x, int y, int width, int height, int id);
void ShowBrowserAddress(HWND area, const Text& address);

// The picture stored with the program, scaled to `width` x `height` over `background`, as a
// bitmap the caller owns; nullptr when it cannot be decoded.
[[nodiscard]] HBITMAP PictureBitmap(PictureSource source, int width, int height, COLORREF background);
// The picture as an icon of `size` pixels square, owned by the caller; nullptr on failure.
[[nodiscard]] HICON PictureIcon(PictureSource source, int size);

// Registers the backend's window classes; once, on the window thread.
void RegisterWindowClasses();
void RegisterPictureClass();
void RegisterBrowserClass();
inline constexpr wchar_t kFormClass[] = L"KestrinForm";
inline constexpr wchar_t kPictureClass[] = L"KestrinPicture";
inline constexpr wchar_t kBrowserClass[] = L"KestrinBrowser";

}  // namespace kestrin::ui
