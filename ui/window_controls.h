// The Controls of one window as the program's workers use them. Edit boxes, choices and status
// parts go through the window's form state, without waiting on the window thread, and the window
// shows the changes once a frame; whatever the state does not keep goes to the window thread, the
// caller waiting for it. What only the toolkit's controls can do, each backend supplies.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/controls.h"
#include "runtime/text.h"
#include "ui/form_state.h"
#include "ui/layout.h"

namespace kestrin::ui {

class WindowControls : public Controls {
 public:
  explicit WindowControls(std::string window) : window_(std::move(window)) {}

  Text ReadText(ControlName control) final;
  bool ReadState(ControlName control) final;
  void SetText(ControlName control, const Text& text) final;
  void AppendEditText(ControlName control, const std::vector<Text>& texts) final;
  void SetStatusPartText(int part, const Text& text) final;
  void SetCaption(const Text& caption) final;
  int MessageBox(const Text& message, int flags, const Text& caption) final;
  void OpenAddress(const Text& address) final;

 protected:
  [[nodiscard]] const std::string& window() const { return window_; }

  // The window's form state while it is loaded, or nullptr; `hold` keeps it alive while the
  // caller uses it. This one asks the published table at each operation.
  [[nodiscard]] virtual FormState* State(std::shared_ptr<FormState>& hold) const;
  // Any thread: asks the window thread to show the window's pending changes at its next frame.
  virtual void RequestShow() = 0;

  // --- on the window thread; a window or control that is not loaded is fatal in each
  // Shows the window's pending changes now (nothing when it is not loaded), so that the window
  // thread's own operations and reads come after every change made before them.
  virtual void CatchUp() = 0;
  // The control's kind.
  [[nodiscard]] virtual ControlKind KindOf(ControlName control) = 0;
  // What the control shows: an edit box's text as the user left it, a label's or a button's
  // caption; empty for controls without a text.
  [[nodiscard]] virtual Text ShownText(ControlName control) = 0;
  // Whether a check box or radio button is checked; false for other controls.
  [[nodiscard]] virtual bool ShownChecked(ControlName control) = 0;
  // Shows `text` as the caption of a control the form state does not keep; others ignore it.
  virtual void ShowText(ControlName control, const Text& text) = 0;

 private:
  // Makes a change through the form state; false when the state does not keep that control.
  template <typename Change>
  bool Show(const Change& change);

  std::string window_;
};

// The backend's WindowControls for `window`.
[[nodiscard]] std::unique_ptr<WindowControls> MakeWindowControls(std::string window);

// A tool-bar button's state in the Windows encoding after a change: `add` sets the checked,
// pressed, hidden and indeterminate bits given and clears enabled (4) when bit 4, "disabled", is
// given; otherwise the reverse.
[[nodiscard]] int ButtonStateAfter(int state, int bits, bool add);

// The backend's change of a tool-bar button's state, on the window thread (ButtonStateAfter):
// the button's index, -1 outside the tool bar's buttons.
int ChangeToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits, bool add);

}  // namespace kestrin::ui
