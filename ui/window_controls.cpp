#include "ui/window_controls.h"

#include <map>
#include <mutex>
#include <optional>

#include "ui/form_states.h"
#include "ui/window_framework.h"
#include "ui/window_thread.h"

namespace kestrin::ui {
namespace {

// A worker far ahead of the window waits once this much text waits to be shown.
constexpr std::size_t kPendingLimit = 8u << 20;

}  // namespace

template <typename Change>
bool WindowControls::Show(const Change& change) {
  std::shared_ptr<FormState> hold;
  FormState* state = State(hold);
  if (state == nullptr) return false;
  const Queued queued = change(*state);
  if (queued == Queued::kNotHere) return false;
  if (OnWindowThread()) {
    CatchUp();
    return true;
  }
  if (queued == Queued::kWake) RequestShow();
  if (state->PendingBytes() > kPendingLimit) state->WaitForRoom(kPendingLimit);
  return true;
}

Text WindowControls::ReadText(ControlName control) {
  std::shared_ptr<FormState> hold;
  if (FormState* state = State(hold)) {
    if (std::optional<Text> text = state->EditText(control)) return *std::move(text);
  }
  Text text;
  RunOnWindowThread([&] {
    CatchUp();
    const bool editBox = KindOf(control) == ControlKind::EditBox;
    text = ShownText(control);
    std::shared_ptr<FormState> hold;
    FormState* state = editBox ? State(hold) : nullptr;
    if (state == nullptr) return;
    // The user has changed the box: what it shows is its text from now on.
    state->Refresh(control, text);
    text = state->EditText(control).value_or(Text());
  });
  return text;
}

bool WindowControls::ReadState(ControlName control) {
  std::shared_ptr<FormState> hold;
  if (FormState* state = State(hold)) {
    if (const std::optional<bool> checked = state->Checked(control)) return *checked;
  }
  bool checked = false;
  RunOnWindowThread([&] { checked = ShownChecked(control); });
  return checked;
}

void WindowControls::SetText(ControlName control, const Text& text) {
  if (Show([&](FormState& state) { return state.Replace(control, text); })) return;
  RunOnWindowThread([&] {
    CatchUp();
    ShowText(control, text);
  });
}

void WindowControls::AppendEditText(ControlName control, const std::vector<Text>& texts) {
  if (Show([&](FormState& state) { return state.Append(control, texts); })) return;
  // Not an edit box: nothing to append to, but a control that does not exist is still fatal.
  RunOnWindowThread([&] { (void)KindOf(control); });
}

void WindowControls::SetStatusPartText(int part, const Text& text) {
  if (Show([&](FormState& state) { return state.SetStatusPart(part, text); })) return;
  RunOnWindowThread([&] { (void)KindOf(names::状态条1); });
}

void WindowControls::SetCaption(const Text& caption) { SetWindowCaption(window_, caption); }

int WindowControls::MessageBox(const Text& message, int flags, const Text& caption) {
  return ui::MessageBox(message, flags, caption);
}

void WindowControls::OpenAddress(const Text& address) { ui::OpenAddress(address); }

FormState* WindowControls::State(std::shared_ptr<FormState>& hold) const {
  hold = FormStateOf(window_);
  return hold.get();
}

Controls& FormControls(std::string_view window) {
  static auto* mutex = new std::mutex;
  static auto* forms = new std::map<std::string, std::unique_ptr<WindowControls>, std::less<>>;
  const std::lock_guard lock(*mutex);
  auto found = forms->find(window);
  if (found == forms->end()) found = forms->emplace(std::string(window), MakeWindowControls(std::string(window))).first;
  return *found->second;
}

int ButtonStateAfter(int state, int bits, bool add) {
  const int direct = bits & (1 | 2 | 8 | 16);
  const int enabled = (bits & 4) != 0 ? 4 : 0;
  return add ? (state | direct) & ~enabled : (state & ~direct) | enabled;
}

namespace {

int ChangeOnWindowThread(std::string_view window, std::string_view toolBar, int index, int bits, bool add) {
  int result = -1;
  RunOnWindowThread([&] { result = ChangeToolButtonState(window, toolBar, index, bits, add); });
  return result;
}

}  // namespace

int AddToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeOnWindowThread(window, toolBar, index, bits, true);
}

int RemoveToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeOnWindowThread(window, toolBar, index, bits, false);
}

}  // namespace kestrin::ui
