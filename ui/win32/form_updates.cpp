// The workers' changes on their way to the controls, shown on the window thread at most once a
// frame, and the edit boxes' texts as the program sets, appends and reads them.
#include "ui/win32/framework.h"

#include <commctrl.h>

#include "ui/win32/win32_access.h"

namespace kestrin::ui {
namespace {

// Set while the program, not the user, changes a box (window thread only).
bool g_programEditing = false;

class ProgramEdit {
 public:
  ProgramEdit() { g_programEditing = true; }
  ~ProgramEdit() { g_programEditing = false; }
  ProgramEdit(const ProgramEdit&) = delete;
  ProgramEdit& operator=(const ProgramEdit&) = delete;
};

}  // namespace

bool ProgramIsEditing() { return g_programEditing; }

void ShowPendingChanges(LiveWindow& live) {
  if (live.showScheduled) ::KillTimer(live.hwnd, kShowTimerId);
  live.showScheduled = false;
  live.lastShown = std::chrono::steady_clock::now();
  const PendingChanges changes = live.state->TakeChanges();
  for (const BoxChange& change : changes.boxes) {
    const auto entry = live.controls.find(change.control);
    if (entry == live.controls.end()) continue;
    if (change.kind == BoxChange::Kind::kReplace) {
      ShowEditText(entry->second, change.text);
    } else {
      ShowAppended(entry->second, change.text);
    }
  }
  for (const auto& [part, text] : changes.statusParts) {
    if (live.statusBar == nullptr) break;
    ::SendMessageW(live.statusBar, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(Wide(text).c_str()));
  }
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

Text ShownEditText(const ControlEntry& entry) { return WindowText(entry.hwnd); }

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
