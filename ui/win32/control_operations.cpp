// The operations on controls that the program's logic calls, on the Win32 controls: what the
// workers' Controls leave to the window thread, tool-bar button states, pages and the browser's
// address.
#include "ui/win32/framework.h"

#include <commctrl.h>

#include <memory>

#include "ui/win32/win32_access.h"
#include "ui/window_controls.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

// The form state is asked for at each operation (WindowControls' own State): a copy kept per
// thread would need a thread_local with a destructor, which mingw-w64's emulated TLS may run
// after the thread's storage has been freed.
class HandleControls final : public TableControls<LiveWindow> {
 public:
  explicit HandleControls(std::string window) : TableControls(std::move(window), Windows()) {}

 protected:
  void RequestShow() override { RequestShowChanges(window()); }

  Text ShownText(ControlName control) override {
    const ControlEntry& entry = RequireControl(window(), control);
    return entry.hwnd != nullptr && entry.row->kind != ControlKind::Timer ? WindowText(entry.hwnd) : Text();
  }

  bool ShownChecked(ControlName control) override {
    const ControlEntry& entry = RequireControl(window(), control);
    return entry.hwnd != nullptr && ::SendMessageW(entry.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  void ShowText(ControlName control, const Text& text) override {
    const ControlEntry& entry = RequireControl(window(), control);
    if (entry.hwnd != nullptr && entry.row->kind != ControlKind::Timer) ::SetWindowTextW(entry.hwnd, Wide(text).c_str());
  }
};

ControlEntry& RequireKind(std::string_view window, std::string_view control, ControlKind kind) {
  ControlEntry& entry = RequireControl(window, control);
  if (entry.row->kind != kind || entry.hwnd == nullptr) ReportNotLoaded();
  return entry;
}

}  // namespace

std::unique_ptr<WindowControls> MakeWindowControls(std::string window) {
  return std::make_unique<HandleControls>(std::move(window));
}

int ChangeToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits, bool add) {
  ControlEntry& entry = RequireKind(window, toolBar, ControlKind::ToolBar);
  if (index < 0 || index >= static_cast<int>(entry.buttonStates.size())) return -1;
  TBBUTTON button{};
  if (!::SendMessageW(entry.hwnd, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button))) return 0;
  const WPARAM id = static_cast<WPARAM>(button.idCommand);
  const auto send = [&](UINT message, bool on) { ::SendMessageW(entry.hwnd, message, id, MAKELPARAM(on ? TRUE : FALSE, 0)); };
  // One message per bit given; "disabled" is the enabled state inverted.
  if (bits & TBSTATE_CHECKED) send(TB_CHECKBUTTON, add);
  if (bits & TBSTATE_PRESSED) send(TB_PRESSBUTTON, add);
  if (bits & TBSTATE_INDETERMINATE) send(TB_INDETERMINATE, add);
  if (bits & 4) send(TB_ENABLEBUTTON, !add);
  if (bits & TBSTATE_HIDDEN) send(TB_HIDEBUTTON, add);
  int& state = entry.buttonStates[static_cast<std::size_t>(index)];
  state = ButtonStateAfter(state, bits, add);
  return index;
}

int ToolButtonState(std::string_view window, std::string_view toolBar, int index) {
  int state = -1;
  RunOnWindowThread([&] {
    const ControlEntry& entry = RequireKind(window, toolBar, ControlKind::ToolBar);
    if (index >= 0 && index < static_cast<int>(entry.buttonStates.size())) {
      state = entry.buttonStates[static_cast<std::size_t>(index)];
    }
  });
  return state;
}

void SetCurrentPage(std::string_view window, std::string_view container, int page) {
  RunOnWindowThread([&] {
    (void)RequireKind(window, container, ControlKind::PageContainer);
    LiveWindow& live = *FindWindow(window);
    if (page < 0 || page >= static_cast<int>(live.pages.size()) || page == live.currentPage) return;
    // The new page shows before the old one hides, so that focus never falls on nothing.
    for (ControlEntry* entry : live.pages[static_cast<std::size_t>(page)]) {
      if (entry->hwnd != nullptr) ::ShowWindow(entry->hwnd, SW_SHOWNA);
    }
    const HWND focus = ::GetFocus();
    bool focusHidden = false;
    for (ControlEntry* entry : live.pages[static_cast<std::size_t>(live.currentPage)]) {
      if (entry->hwnd == nullptr) continue;
      focusHidden |= entry->hwnd == focus;
      ::ShowWindow(entry->hwnd, SW_HIDE);
    }
    // Keys must not go on into a box the user can no longer see.
    if (focusHidden) ::SetFocus(live.hwnd);
    live.currentPage = page;
  });
}

int CurrentPage(std::string_view window, std::string_view container) {
  int page = -1;
  RunOnWindowThread([&] {
    (void)RequireKind(window, container, ControlKind::PageContainer);
    page = FindWindow(window)->currentPage;
  });
  return page;
}

void SetBrowserAddress(std::string_view window, std::string_view browser, const Text& address) {
  RunOnWindowThread([&] { ShowBrowserAddress(RequireKind(window, browser, ControlKind::Browser).hwnd, address); });
}

}  // namespace kestrin::ui
