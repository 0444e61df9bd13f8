// Helpers for tests that drive the Win32 windows from the test's own (window) thread: pumping
// messages while workers wait on the window, input sent to controls, and message boxes answered
// from another thread as a user would answer them.
#pragma once

#include "runtime/windows/windows_api.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kestrin::testwin {

// Handles every queued message of this thread.
inline void Pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Pumps until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Pump();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

// Pumps for `ms` milliseconds.
inline void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  PumpUntil([&] { return std::chrono::steady_clock::now() >= end; }, ms + 1000);
}

// Runs `work` on a new thread while this (the window) thread keeps handling messages, so that
// the worker's calls on the window are served.
inline void RunWorker(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  PumpUntil([&] { return done.load(); }, 60000);
  worker.join();
}

// A left click at (x, y) of the control's client area, as the mouse gives it.
inline void Click(HWND control, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(control, WM_LBUTTONUP, 0, at);
  Pump();
}

inline void ClickCentre(HWND control) {
  RECT client{};
  ::GetClientRect(control, &client);
  Click(control, client.right / 2, client.bottom / 2);
}

// The middle button (the right one would open an edit box's menu and wait in it).
inline void MiddleClick(HWND control) {
  ::SendMessageW(control, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(2, 2));
  ::SendMessageW(control, WM_MBUTTONUP, 0, MAKELPARAM(2, 2));
  Pump();
}

// Characters typed into a control that has the focus; '\r' is the Enter key.
inline void Type(HWND control, const std::wstring& text) {
  ::SetFocus(control);
  for (wchar_t c : text) ::SendMessageW(control, WM_CHAR, c, 1);
  Pump();
}

inline std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// What a message box showed when it was answered.
struct SeenBox {
  bool shown = false;
  std::wstring title;
  std::wstring text;
  bool icon = false;              // an icon beside the text
  bool ownerDisabled = false;     // the window given to the answerer could not be used meanwhile
  DWORD thread = 0;               // the thread that shows it
  std::vector<int> buttons;       // the buttons' command identifiers (IDOK, IDYES ...)
};

// The message box of this process that is showing now, or nullptr.
inline HWND ShowingBox() {
  struct Search {
    HWND found = nullptr;
  } search;
  ::EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        wchar_t name[16] = {};
        ::GetClassNameW(window, name, 16);
        if (process == ::GetCurrentProcessId() && std::wstring(name) == L"#32770" && ::IsWindowVisible(window)) {
          reinterpret_cast<Search*>(data)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Answers the next message box of this process from a thread of its own: notes what it shows,
// then presses the button with identifier `button` (IDOK, IDNO ...), or closes it when there is
// none. `watched` is a window whose disabled state while the box shows is noted.
class BoxAnswerer {
 public:
  BoxAnswerer(int button, HWND watched = nullptr, std::function<void(const SeenBox&)> then = {})
      : thread_([this, button, watched, then = std::move(then)] {
          const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          HWND box = nullptr;
          while ((box = ShowingBox()) == nullptr && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          if (box == nullptr) return;
          std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it finish laying out
          seen_.shown = true;
          seen_.title = TextOf(box);
          seen_.text = TextOf(::GetDlgItem(box, 0xFFFF));  // a message box's text has this id
          seen_.ownerDisabled = watched != nullptr && !::IsWindowEnabled(watched);
          seen_.thread = ::GetWindowThreadProcessId(box, nullptr);
          for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[16] = {};
            ::GetClassNameW(child, name, 16);
            if (!::IsWindowVisible(child)) continue;
            if (std::wstring(name) == L"Button") seen_.buttons.push_back(::GetDlgCtrlID(child));
            // The icon is a static control that draws one (its id differs between Windows and Wine).
            if (std::wstring(name) == L"Static" && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                ::SendMessageW(child, STM_GETICON, 0, 0) != 0) {
              seen_.icon = true;
            }
          }
          if (then) then(seen_);
          if (HWND chosen = ::GetDlgItem(box, button)) {
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(chosen));
          } else {
            ::PostMessageW(box, WM_CLOSE, 0, 0);
          }
        }) {}
  ~BoxAnswerer() {
    if (thread_.joinable()) thread_.join();
  }
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  // What the box showed; waits until it was answered.
  const SeenBox& Seen() {
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  SeenBox seen_;
  std::thread thread_;
};

}  // namespace kestrin::testwin
