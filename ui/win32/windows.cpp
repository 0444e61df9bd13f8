// Windows built from layout descriptions: loading and unloading them, their frame, place and
// caption, the hand-over of events to handlers, the message loop and the program's run.
#include "ui/win32/framework.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "runtime/runtime_error.h"
#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

LiveWindow* LiveOf(HWND hwnd) { return reinterpret_cast<LiveWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void SetIcons(LiveWindow& live) {
  if (live.layout.icon == nullptr) return;
  const int sizes[] = {::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CXSMICON)};
  const WPARAM kinds[] = {ICON_BIG, ICON_SMALL};
  for (int i = 0; i < 2; ++i) {
    if (HICON icon = PictureIcon(live.layout.icon, sizes[i])) {
      ::SendMessageW(live.hwnd, WM_SETICON, kinds[i], reinterpret_cast<LPARAM>(icon));
      live.icons.push_back(icon);
    }
  }
}

// Lets what has been drawn reach the screen before a handler blocks the thread: GDI's batch is
// flushed, and a look into the queue that finds nothing makes Wine hand its window surfaces to
// the display (Windows draws to the screen directly).
void FlushToScreen() {
  ::GdiFlush();
  MSG message;
  ::PeekMessageW(&message, nullptr, WM_APP + 0x3FFF, WM_APP + 0x3FFF, PM_NOREMOVE);
}

// The window has gone: its state is withdrawn, what it held is freed, and the start window's
// end ends the program.
void Forget(HWND hwnd) {
  LiveWindow* live = LiveOf(hwnd);
  if (live == nullptr) return;
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  Registry& windows = Windows();
  const std::string name(live->layout.name);
  WithdrawFormState(name, live->state);
  ReleaseControls(*live);
  for (HICON icon : live->icons) ::DestroyIcon(icon);
  for (HGDIOBJ object : live->owned) ::DeleteObject(object);
  if (auto found = windows.live.find(name); found != windows.live.end() && &found->second == live) {
    windows.live.erase(found);
  }
  if (name == windows.startWindow && windows.endProgram) windows.endProgram();
}

void OnTimer(LiveWindow& live, UINT_PTR id) {
  if (id == kShowTimerId) {
    ::KillTimer(live.hwnd, id);
    ShowScheduledChanges(live);
    return;
  }
  for (auto& [name, entry] : live.controls) {
    if (entry.row->kind == ControlKind::Timer && static_cast<UINT_PTR>(entry.id) == id) {
      // The handler may unload the window; the name outlives the entry.
      const std::string window(live.layout.name);
      const std::string control(name);
      Dispatch(window, control, Event::TimerTick, 0);
      return;
    }
  }
}

void ChangeDpi(LiveWindow& live, int dpi, const RECT& suggested) {
  const WindowLayout* layout = Windows().Layout(live.layout.name);
  if (layout == nullptr || dpi <= 0) return;
  live.dpi = dpi;
  const std::vector<ControlLayout> rows = RowsAtDpi(*layout, dpi);
  std::copy(rows.begin(), rows.end(), live.rows.begin());  // the controls' entries point at them
  live.largest = {suggested.right - suggested.left, suggested.bottom - suggested.top};
  ::SetWindowPos(live.hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RescaleControls(live);
}

// Window controls first: the page container's place is where its pages' controls go. The pages
// not shown are made hidden.
void BuildControls(LiveWindow& live) {
  int id = kFirstControlId;
  for (const ControlLayout& row : live.layout.controls) {
    if (row.page != kOnWindow) continue;
    CreateControl(row, live, row.left, row.top, id++);
    if (row.kind == ControlKind::PageContainer && live.container == nullptr) {
      live.container = &live.controls.find(row.name)->second;
      live.pages.resize(LayoutLines(row.text).size());
    }
  }
  if (live.container == nullptr) return;
  const ControlLayout& container = *live.container->row;
  for (const ControlLayout& row : live.layout.controls) {
    if (row.page == kOnWindow || row.page >= static_cast<int>(live.pages.size())) continue;
    CreateControl(row, live, container.left + row.left, container.top + row.top, id++, row.page == live.currentPage);
    live.pages[static_cast<std::size_t>(row.page)].push_back(&live.controls.find(row.name)->second);
  }
  // The container is drawn beneath everything that lies on it.
  ::SetWindowPos(live.container->hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LiveWindow* live = LiveOf(hwnd);
  switch (message) {
    case WM_COMMAND:
      // Commands without a control (the dialog manager's Enter and Esc) do nothing.
      if (live != nullptr && lParam != 0) ControlCommand(*live, reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      if (live != nullptr) return ControlColours(*live, message, wParam, lParam);
      break;
    case WM_TIMER:
      if (live != nullptr) OnTimer(*live, wParam);
      return 0;
    case kCreatedMessage:
      if (live != nullptr && live->createdPending) {
        live->createdPending = false;
        FlushToScreen();
        SetIcons(*live);
        const std::string window(live->layout.name);
        Dispatch(window, {}, Event::Created, 0);
      }
      return 0;
    case kUnloadMessage:
      ::DestroyWindow(hwnd);
      return 0;
    case WM_GETMINMAXINFO:
      // A window keeps its layout's size even where the screen is smaller (200 % of a small
      // screen): cut by the screen's edge, never squeezed over its own status bar.
      if (live != nullptr) {
        auto& limits = *reinterpret_cast<MINMAXINFO*>(lParam);
        limits.ptMaxTrackSize.x = std::max<LONG>(limits.ptMaxTrackSize.x, live->largest.cx);
        limits.ptMaxTrackSize.y = std::max<LONG>(limits.ptMaxTrackSize.y, live->largest.cy);
        return 0;
      }
      break;
    case WM_DPICHANGED:
      // Moved to a screen of another DPI, or the screen's scale changed: the size and place
      // Windows suggests, and every control at the new DPI.
      if (live != nullptr) ChangeDpi(*live, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_ACTIVATE:
      // As a dialog does: the control that had the keyboard has it again when the window is
      // activated again (after the notice window or a message box).
      if (live != nullptr && LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        live->lastFocus = focus != nullptr && ::IsChild(hwnd, focus) ? focus : nullptr;
      } else if (live != nullptr && live->lastFocus != nullptr && ::IsWindow(live->lastFocus) &&
                 ::IsWindowVisible(live->lastFocus)) {
        ::SetFocus(live->lastFocus);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      Forget(hwnd);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

enum class CreatedEvent { BeforeShow, AfterPaint };

void RunMessageLoopWhile(const std::function<bool()>& going) {
  MSG message;
  while (going() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between a window's controls as in a dialog.
    const HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && LiveOf(root) != nullptr && ::IsDialogMessageW(root, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

bool Load(std::string_view window, std::string_view owner, bool modal, CreatedEvent created) {
  BecomeWindowThread();
  const WindowLayout* layout = Windows().Layout(window);
  if (layout == nullptr) return false;
  HWND ownerHandle = nullptr;
  if (!owner.empty()) {
    const LiveWindow* ownerWindow = FindWindow(owner);
    if (ownerWindow == nullptr) return false;
    ownerHandle = ownerWindow->hwnd;
  }
  // A window whose layout names a helper program is shown here all the same: the system's own
  // browser control costs this process nothing until it shows a page.
  if (LiveWindow* loaded = FindWindow(window)) {
    ::ShowWindow(loaded->hwnd, SW_SHOW);
    ::BringWindowToTop(loaded->hwnd);
    return true;
  }

  const std::string name(window);
  // Centred on the primary screen in its own pixels, with the frame drawn at its DPI; a window
  // larger than the screen keeps its title bar on it.
  const SIZE outer = OuterSizeAtDpi(*layout, PrimaryScreenDpi());
  const SIZE screen = ScreenPixels();
  const int left = std::max<int>(0, (screen.cx - outer.cx) / 2);
  const int top = std::max<int>(0, (screen.cy - outer.cy) / 2);
  const HWND hwnd = ::CreateWindowExW(0, kFormClass, Wide(layout->caption).c_str(), kFormStyle, left, top, outer.cx,
                                      outer.cy, ownerHandle, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) return false;
  LiveWindow& live = Windows().live[name];
  live = LiveWindow{};
  live.layout = *layout;
  live.hwnd = hwnd;
  // A screen of its own DPI may hold the window.
  live.dpi = DpiOfWindow(hwnd);
  live.rows = RowsAtDpi(*layout, live.dpi);
  live.layout.controls = live.rows;
  live.background = ::GetSysColorBrush(COLOR_BTNFACE);
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&live));
  // Sized again where its DPI differs from the system's or the screen cut it down, now that the
  // window answers for its own largest size.
  live.largest = OuterSizeAtDpi(*layout, live.dpi);
  RECT made{};
  ::GetWindowRect(hwnd, &made);
  if (made.right - made.left != live.largest.cx || made.bottom - made.top != live.largest.cy) {
    ::SetWindowPos(hwnd, nullptr, 0, 0, live.largest.cx, live.largest.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (created != CreatedEvent::AfterPaint) SetIcons(live);
  BuildControls(live);
  PublishFormState(name, live.state);

  if (created == CreatedEvent::BeforeShow) {
    Dispatch(window, {}, Event::Created, 0);
    // The handler may have unloaded it.
    if (!::IsWindow(hwnd) || LiveOf(hwnd) == nullptr) return true;
  }
  if (modal && ownerHandle != nullptr) ::EnableWindow(ownerHandle, FALSE);
  if (layout->visible) ::ShowWindow(hwnd, SW_SHOW);
  if (created == CreatedEvent::AfterPaint) {
    // The start window is on the screen, painted, while its start-up routine blocks. Showing it
    // left all of it to paint and its backgrounds erased already: painted now, nothing twice.
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
    live.createdPending = true;
    ::PostMessageW(hwnd, kCreatedMessage, 0, 0);
  }
  if (modal) {
    RunMessageLoopWhile([hwnd] { return ::IsWindow(hwnd) != FALSE; });
    if (ownerHandle != nullptr && ::IsWindow(ownerHandle)) ::EnableWindow(ownerHandle, TRUE);
  }
  return true;
}

}  // namespace

void RegisterWindowClasses() {
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = &FormProc;
  form.hInstance = ::GetModuleHandleW(nullptr);
  form.hCursor = SystemCursor(IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  ::RegisterClassExW(&form);
  RegisterPictureClass();
  RegisterBrowserClass();
}

Registry& Windows() {
  static auto* registry = new Registry;
  return *registry;
}

LiveWindow* FindWindowByHandle(HWND hwnd) { return hwnd == nullptr ? nullptr : LiveOf(hwnd); }

void InstallProgram(const Program& program) {
  BecomeWindowThread();
  Windows().Install(program);
}

void RunProgram(const Program& program) {
  InstallWindowServices();
  InstallProgram(program);
  Windows().startWindow = std::string(program.startWindow);
  Windows().endProgram = EndOfProgram(program.exitRoutine);
  if (!Load(program.startWindow, {}, false, CreatedEvent::AfterPaint)) ReportRuntimeError(0, "载入启动窗口失败");
  RunMessageLoopWhile([] { return true; });
  Windows().endProgram();
  std::_Exit(0);
}

void RunHelperWindow(const Program& program, std::string_view window, int, char**) {
  // The browser control is the system's own here, so no window needs a process of its own; a
  // helper still runs its one window as a whole program.
  InstallWindowServices();
  InstallProgram(program);
  Windows().startWindow = std::string(window);
  Windows().endProgram = EndOfProgram(program.exitRoutine);
  if (!Load(window, {}, false, CreatedEvent::BeforeShow)) ReportRuntimeError(0, "载入启动窗口失败");
  RunMessageLoopWhile([] { return true; });
  Windows().endProgram();
  std::_Exit(0);
}

bool LoadAsStartWindow(std::string_view window) { return Load(window, {}, false, CreatedEvent::AfterPaint); }

bool LoadWindow(std::string_view window, std::string_view owner, bool modal) {
  bool loaded = false;
  RunOnWindowThread([&] { loaded = Load(window, owner, modal, CreatedEvent::BeforeShow); });
  return loaded;
}

void UnloadWindow(std::string_view window) {
  WithWindow(Windows(), window, [](LiveWindow& live) { ::PostMessageW(live.hwnd, kUnloadMessage, 0, 0); });
}

bool IsWindowLoaded(std::string_view window) {
  bool loaded = false;
  RunOnWindowThread([&] { loaded = FindWindow(window) != nullptr; });
  return loaded;
}

void SetWindowPosition(std::string_view window, int left, int top) {
  WithWindow(Windows(), window, [&](LiveWindow& live) {
    // Layout pixels, as the screen's size is given.
    ::SetWindowPos(live.hwnd, nullptr, AtDpi(left, live.dpi), AtDpi(top, live.dpi), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  });
}

void SetWindowCaption(std::string_view window, const Text& caption) {
  WithWindow(Windows(), window, [&](LiveWindow& live) { ::SetWindowTextW(live.hwnd, Wide(caption).c_str()); });
}

HWND WindowHandle(std::string_view window) {
  HWND hwnd = nullptr;
  RunOnWindowThread([&] {
    if (const LiveWindow* live = FindWindow(window)) hwnd = live->hwnd;
  });
  return hwnd;
}

HWND ControlHandle(std::string_view window, std::string_view control) {
  HWND hwnd = nullptr;
  RunOnWindowThread([&] {
    if (const ControlEntry* entry = Windows().Control(window, control)) hwnd = entry->hwnd;
  });
  return hwnd;
}

}  // namespace kestrin::ui
