// The workers' changes on their way to the controls, shown on the window thread at most once a
// frame, and the edit boxes' texts as the program sets, appends and reads them.
#include "ui/win32/framework.h"

#include <commctrl.h>

#include "ui/win32/win32_access.h"

namespace kestrin::ui {

void ShowPendingChanges(LiveWindow& live) {
  if (live.showScheduled) ::KillTimer(live.hwnd, kShowTimerId);
  ShowChanges(live, [&live](int part, const Text& text) {
    if (live.statusBar == nullptr) return;
    ::SendMessageW(live.statusBar, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(Wide(text).c_str()));
  });
}

void ShowScheduledChanges(LiveWindow& live) {
  if (live.showScheduled) ShowPendingChanges(live);
}

void RequestShowChanges(const std::string& window) {
  const HWND calls = CallWindow();
  if (calls == nullptr) return;
  // The window thread frees the name; a wake-up lost with the process is no loss.
  auto name = std::make_unique<std::string>(window);
  if (::PostMessageW(calls, kShowChangesMessage, 0, reinterpret_cast<LPARAM>(name.get()))) name.release();
}

void ShowEditText(const ControlEntry& entry, const Text& text) {
  const ProgramEdit editing;
  // The box keeps the program's bytes as they are: a lone CR stays a lone CR when read back.
  ::SetWindowTextW(entry.hwnd, Wide(text).c_str());
}

void ShowAppended(const ControlEntry& entry, const Text& text) {
  const ProgramEdit editing;
  const int end = ::GetWindowTextLengthW(entry.hwnd);
  ::SendMessageW(entry.hwnd, EM_SETSEL, end, end);
  ::SendMessageW(entry.hwnd, EM_SCROLLCARET, 0, 0);
  ::SendMessageW(entry.hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  ::SendMessageW(entry.hwnd, EM_SCROLLCARET, 0, 0);
}

}  // namespace kestrin::ui
