// The operations on controls that the program's logic calls: the Controls interface the workers
// use, tool-bar button states, pages and the browser's address.
#include "ui/win32/framework.h"

#include <commctrl.h>

#include <mutex>
#include <optional>

#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

// A worker far ahead of the window waits once this much text waits to be shown.
constexpr std::size_t kPendingLimit = 8u << 20;

// Shows the window's pending changes now, so that the window thread's own operations and reads
// of the controls come after every change made before them.
void CatchUp(std::string_view window) {
  if (LiveWindow* live = FindWindow(window)) ShowPendingChanges(*live);
}

Text ControlText(std::string_view window, std::string_view control) {
  CatchUp(window);
  const ControlEntry& entry = RequireControl(window, control);
  if (entry.hwnd == nullptr) return Text();
  if (entry.row->kind != ControlKind::EditBox) return WindowText(entry.hwnd);
  // The user has changed the box: what it shows is its text from now on.
  FormState& state = *FindWindow(window)->state;
  state.Refresh(control, ShownEditText(entry));
  return state.EditText(control).value_or(Text());
}

// Workers read and write the form state without waiting on the window thread; the window shows
// their changes once a frame. Whatever the state does not keep goes to the window thread, the
// worker waiting for it.
class WindowControls final : public Controls {
 public:
  explicit WindowControls(std::string window) : window_(std::move(window)) {}

  Text ReadText(ControlName control) override {
    if (const auto state = State()) {
      if (std::optional<Text> text = state->EditText(control)) return *std::move(text);
    }
    Text text;
    RunOnWindowThread([&] { text = ControlText(window_, control); });
    return text;
  }

  bool ReadState(ControlName control) override {
    if (const auto state = State()) {
      if (const std::optional<bool> checked = state->Checked(control)) return *checked;
    }
    bool checked = false;
    RunOnWindowThread([&] {
      const ControlEntry& entry = RequireControl(window_, control);
      if (entry.hwnd != nullptr) checked = ::SendMessageW(entry.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    });
    return checked;
  }

  void SetText(ControlName control, const Text& text) override {
    if (Show([&](FormState& state) { return state.Replace(control, text); })) return;
    RunOnWindowThread([&] {
      CatchUp(window_);
      const ControlEntry& entry = RequireControl(window_, control);
      if (entry.hwnd != nullptr && entry.row->kind != ControlKind::Timer) ::SetWindowTextW(entry.hwnd, Wide(text).c_str());
    });
  }

  void AppendEditText(ControlName control, const std::vector<Text>& texts) override {
    if (Show([&](FormState& state) { return state.Append(control, texts); })) return;
    // Not an edit box: nothing to append to, but a control that does not exist is still fatal.
    RunOnWindowThread([&] { (void)RequireControl(window_, control); });
  }

  void SetStatusPartText(int part, const Text& text) override {
    if (Show([&](FormState& state) { return state.SetStatusPart(part, text); })) return;
    RunOnWindowThread([&] { (void)RequireControl(window_, names::状态条1); });
  }

  void SetCaption(const Text& caption) override { SetWindowCaption(window_, caption); }

  int MessageBox(const Text& message, int flags, const Text& caption) override {
    return ui::MessageBox(message, flags, caption);
  }

  void OpenAddress(const Text& address) override { ui::OpenAddress(address); }

 private:
  // Makes a change through the form state; false when the state does not keep that control.
  template <typename Change>
  bool Show(const Change& change) {
    const std::shared_ptr<FormState> state = State();
    if (state == nullptr) return false;
    const Queued queued = change(*state);
    if (queued == Queued::kNotHere) return false;
    if (OnWindowThread()) {
      CatchUp(window_);
      return true;
    }
    if (queued == Queued::kWake) RequestShowChanges(window_);
    if (state->PendingBytes() > kPendingLimit) state->WaitForRoom(kPendingLimit);
    return true;
  }

  // The window's form state, while it is loaded. Asked for at each operation: a copy kept per
  // thread would need a thread_local with a destructor, which mingw-w64's emulated TLS may run
  // after the thread's storage has been freed.
  std::shared_ptr<FormState> State() const { return FormStateOf(window_); }

  std::string window_;
};

ControlEntry& RequireKind(std::string_view window, std::string_view control, ControlKind kind) {
  ControlEntry& entry = RequireControl(window, control);
  if (entry.row->kind != kind || entry.hwnd == nullptr) ReportNotLoaded();
  return entry;
}

int ChangeToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits, bool add) {
  int result = -1;
  RunOnWindowThread([&] {
    ControlEntry& entry = RequireKind(window, toolBar, ControlKind::ToolBar);
    if (index < 0 || index >= static_cast<int>(entry.buttonStates.size())) return;
    TBBUTTON button{};
    if (!::SendMessageW(entry.hwnd, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button))) {
      result = 0;
      return;
    }
    const WPARAM id = static_cast<WPARAM>(button.idCommand);
    const auto send = [&](UINT message, bool on) { ::SendMessageW(entry.hwnd, message, id, MAKELPARAM(on ? TRUE : FALSE, 0)); };
    int& state = entry.buttonStates[static_cast<std::size_t>(index)];
    // One message per bit given; "disabled" is the enabled state inverted.
    if (bits & TBSTATE_CHECKED) send(TB_CHECKBUTTON, add);
    if (bits & TBSTATE_PRESSED) send(TB_PRESSBUTTON, add);
    if (bits & TBSTATE_INDETERMINATE) send(TB_INDETERMINATE, add);
    if (bits & 4) send(TB_ENABLEBUTTON, !add);
    if (bits & TBSTATE_HIDDEN) send(TB_HIDEBUTTON, add);
    const int direct = bits & (TBSTATE_CHECKED | TBSTATE_PRESSED | TBSTATE_HIDDEN | TBSTATE_INDETERMINATE);
    const int enabled = (bits & 4) ? TBSTATE_ENABLED : 0;
    state = add ? (state | direct) & ~enabled : (state & ~direct) | enabled;
    result = index;
  });
  return result;
}

}  // namespace

Controls& FormControls(std::string_view window) {
  static auto* mutex = new std::mutex;
  static auto* forms = new std::map<std::string, std::unique_ptr<WindowControls>, std::less<>>;
  const std::lock_guard lock(*mutex);
  auto found = forms->find(window);
  if (found == forms->end()) {
    found = forms->emplace(std::string(window), std::make_unique<WindowControls>(std::string(window))).first;
  }
  return *found->second;
}

int AddToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeToolButtonState(window, toolBar, index, bits, true);
}

int RemoveToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeToolButtonState(window, toolBar, index, bits, false);
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
