// The window services that are not about one window: texts for the W API, carrying work to the
// window thread, the screen, fonts, message boxes, opening addresses and the runtime's hooks.
#include "ui/win32/framework.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <atomic>
#include <map>
#include <mutex>

#include "runtime/codepage.h"
#include "runtime/declared_functions.h"
#include "runtime/events.h"
#include "runtime/library_files.h"
#include "runtime/runtime_error.h"
#include "ui/win32/dpi.h"
#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"
#include "ui/window_services.h"

namespace kestrin::ui {
namespace {

std::atomic<DWORD> g_windowThread{0};
std::atomic<HWND> g_callWindow{nullptr};

LRESULT CALLBACK CallWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunMessage:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return 0;
    case kShowChangesMessage: {
      const std::unique_ptr<std::string> window(reinterpret_cast<std::string*>(lParam));
      LiveWindow* live = FindWindow(*window);
      ShowWithinFrame(live, [live](std::chrono::milliseconds wait) {
        ::SetTimer(live->hwnd, kShowTimerId, static_cast<UINT>(wait.count()), nullptr);
      });
      return 0;
    }
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

void ShowErrorBox(const Text& text) {
  // Shown from the reporting thread itself: a fatal report must not wait for a window thread
  // that may be busy or waiting on the reporter.
  ::MessageBoxW(nullptr, Wide(text).c_str(), Wide("错误").c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void ProcessWindowEvents() {
  // Only the window thread has windows; a worker's queue holds nothing to let through.
  if (g_windowThread.load() == 0 || ::GetCurrentThreadId() != g_windowThread.load()) return;
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message != WM_QUIT) {
    if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

HFONT MakeFont(int height, int weight) {
  return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"SimSun");
}

}  // namespace

int ShowMessageBox(const Text& message, int flags, const Text& caption) {
  UINT style = static_cast<UINT>(flags);
  if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;
  switch (::MessageBoxW(nullptr, Wide(message).c_str(), Wide(caption).c_str(), style)) {
    case IDOK: return 0;
    case IDCANCEL: return 1;
    case IDABORT: return 2;
    case IDRETRY: return 3;
    case IDIGNORE: return 4;
    case IDYES: return 5;
    case IDNO: return 6;
    default: return 0;
  }
}

std::wstring Wide(std::string_view gbk) {
  const std::u16string wide = GbkToUtf16(gbk);
  return std::wstring(wide.begin(), wide.end());
}

Text Narrow(std::wstring_view wide) {
  return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

Text WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

bool OnWindowThread() {
  const DWORD thread = g_windowThread.load();
  return thread == 0 || thread == ::GetCurrentThreadId();
}

void BecomeWindowThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_windowThread.store(::GetCurrentThreadId());
    // Before the first library that Windows loads for us: none of them from the program's folder.
    KeepLibrarySearchToSystemFolder();
    // OLE for the browser control's in-place activation (and COM for the pictures' decoder).
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
    RegisterWindowClasses();
    WNDCLASSEXW calls{};
    calls.cbSize = sizeof calls;
    calls.lpfnWndProc = &CallWindowProc;
    calls.hInstance = ::GetModuleHandleW(nullptr);
    calls.lpszClassName = L"KestrinCalls";
    ::RegisterClassExW(&calls);
    g_callWindow.store(::CreateWindowExW(0, calls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         calls.hInstance, nullptr));
  });
}

HWND CallWindow() { return g_callWindow.load(); }

void RunOnWindowThread(const std::function<void()>& work) {
  const HWND calls = g_callWindow.load();
  if (OnWindowThread() || calls == nullptr) {
    work();
    return;
  }
  ::SendMessageW(calls, kRunMessage, 0, reinterpret_cast<LPARAM>(&work));
}

HFONT DefaultFont(int dpi) {
  // The default UI font of a Chinese Windows; one for each DPI in use, never deleted: every window
  // of that DPI uses it. Window thread.
  static std::map<int, HFONT> fonts;
  HFONT& font = fonts[dpi];
  if (font == nullptr) font = MakeFont(-AtDpi(12, dpi), FW_NORMAL);
  return font;
}

HFONT MakeLargeFont(bool bold, int dpi) {
  // A character height of 20 is the height of the font's cell, which GDI takes as a positive height.
  return MakeFont(AtDpi(20, dpi), bold ? FW_BOLD : FW_NORMAL);
}

void InstallWindowServices() {
  BecomeWindowThread();
  SetErrorBoxHook(&ShowErrorBox);
  SetProcessPendingEventsHook(&ProcessWindowEvents);
}

SIZE ScreenPixels() {
  const int dpi = PrimaryScreenDpi();
  if (const std::optional<ScreenSize> screen = ScreenSizeOverride()) return {AtDpi(screen->width, dpi), AtDpi(screen->height, dpi)};
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

// In layout pixels at the DPI of a window on that screen, the one SetWindowPosition scales by: a
// window placed at (width - 360) keeps its distance from the corner at every DPI.
ScreenSize PrimaryScreenSize() {
  const int dpi = PrimaryScreenDpi();
  return {FromDpi(::GetSystemMetrics(SM_CXSCREEN), dpi), FromDpi(::GetSystemMetrics(SM_CYSCREEN), dpi)};
}

void OpenWithDesktop(const Text& address) {
  // An open browser window of the old kind takes the page, as the shell expects of an owner.
  const HWND owner = ::FindWindowW(nullptr, L"Microsoft Internet Explorer");
  // shell32 is loaded when an address is first opened, not with every start.
  static DeclaredFunction shellExecute{"shell32.dll", "ShellExecuteW", {}, {}};
  DeclaredAs<decltype(&::ShellExecuteW)>(shellExecute)(owner, L"open", Wide(address).c_str(), nullptr, nullptr,
                                                       SW_SHOWNORMAL);
}

}  // namespace kestrin::ui
