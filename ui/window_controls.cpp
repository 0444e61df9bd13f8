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
  RunOnWindowThread([&] { text = ShownText(control); });
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
  RunOnWindowThread([&] { RequireLoaded(control); });
}

void WindowControls::SetStatusPartText(int part, const Text& text) {
  if (Show([&](FormState& state) { return state.SetStatusPart(part, text); })) return;
  RunOnWindowThread([&] { RequireLoaded(names::状态条1); });
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

int AddToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeToolButtonState(window, toolBar, index, bits, true);
}

int RemoveToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeToolButtonState(window, toolBar, index, bits, false);
}

}  // namespace kestrin::ui
