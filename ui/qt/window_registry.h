// What the framework keeps about loaded windows, shared by the files that build windows and
// those that work on their controls. Window thread only.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"
#include "ui/form_state.h"
#include "ui/form_states.h"
#include "ui/layout.h"
#include "ui/window_lookup.h"
#include "ui/window_table.h"

class QAction;
class QImage;
class QLabel;
class QObject;
class QProcess;
class QString;
class QWidget;

namespace kestrin::ui {

struct ControlEntry {
  const ControlLayout* row = nullptr;
  QObject* object = nullptr;  // owned by the window's widget tree
  // Edit boxes: program lines appended since the widget's last block began (see ShowAppended).
  int linesInLastBlock = 0;
};

struct LiveWindow {
  WindowLayout layout;
  QWidget* widget = nullptr;
  std::map<std::string, ControlEntry, std::less<>> controls;
  std::vector<QLabel*> statusParts;
  // The edit boxes' texts as the program knows them and the changes not yet shown; shared with
  // the workers through FormStateOf.
  std::shared_ptr<FormState> state = std::make_shared<FormState>();
  std::chrono::steady_clock::time_point lastShown;
  bool showScheduled = false;
};

struct Registry : WindowTable<LiveWindow> {
  bool helpersEnabled = false;        // windows with a helper go to it; set by RunProgram only
  std::map<std::string, QProcess*, std::less<>> helpers;  // windows shown by running helpers
};

// Tool-bar button state in the Windows encoding.
inline constexpr int kStateChecked = 1;
inline constexpr int kStatePressed = 2;
inline constexpr int kStateEnabled = 4;  // the "disabled" bit of the operations, inverted
inline constexpr int kStateHidden = 8;
inline constexpr int kStateIndeterminate = 16;
// The property of a tool bar's action that holds its button's state.
inline constexpr char kButtonState[] = "kestrinButtonState";

// Shows the state a tool bar's action holds: checked or pressed look sunk, disabled or
// indeterminate buttons greyed, hidden ones leaving their room to the buttons after them.
void ShowButtonState(QAction* action);

// A picture stored with the program, decoded; a null image when it is not a PNG.
[[nodiscard]] QImage StoredPicture(PictureSource source);

// Never freed: workers may still call in while the process ends.
[[nodiscard]] Registry& Windows();

// The table's own lookups (ui/window_table.h), for the files that work on one window.
[[nodiscard]] inline LiveWindow* FindWindow(std::string_view window) { return Windows().Find(window); }
[[nodiscard]] inline ControlEntry* FindControl(std::string_view window, std::string_view control) {
  return Windows().Control(window, control);
}
[[nodiscard]] inline ControlEntry& RequireControl(std::string_view window, std::string_view control) {
  return Windows().RequireControl(window, control);
}
inline void Dispatch(std::string_view window, std::string_view control, Event event, int argument) {
  Windows().Dispatch(window, control, event, argument);
}

// Starts the helper that shows `layout`'s window, owned by `owner` (may be null); false when it
// cannot be started. The window counts as loaded until the helper ends.
bool StartHelper(const WindowLayout& layout, QWidget* owner);
// Asks a helper to close its window and end.
void StopHelper(std::string_view window);
// In a helper: calls `end` on the window thread once the process that started this one has
// ended (its pipe on standard input closes) or asks this one to end (SIGTERM).
void WatchStarter(const std::function<void()>& end);

// Creates the widget (or timer) of one layout row under `parent` and records it in `live`.
// `window` is the top-level widget, which owns timers and the status bar.
void CreateControl(const ControlLayout& row, QWidget* parent, QWidget* window, LiveWindow& live);

// Shows the window's pending changes now.
void ShowPendingChanges(LiveWindow& live);
// Asks the window thread, from any thread, to show the window's pending changes at its next
// frame: at most once every frame, however fast the changes come.
void RequestShowChanges(const std::string& window);

// Edit boxes as widgets. What a box shows: GBK, lines joined by CR LF.
[[nodiscard]] QWidget* MakeEditBox(const ControlLayout& row, QWidget* parent, const std::string& window,
                                   const std::string& control);
[[nodiscard]] Text ShownEditText(const ControlEntry& entry);
// Replaces what the box shows, caret at the start.
void ShowEditText(ControlEntry& entry, const Text& text);
// Adds to what the box shows, caret at the end and scrolled to it; not undoable.
void ShowAppended(ControlEntry& entry, const Text& text);
// A box's text as Qt holds it: a line break, CR LF or a lone LF, as "\n"; a lone CR stays on its
// line, held as a character that takes no room.
[[nodiscard]] QString ShownInLine(std::string_view gbk);
// The same for a multi-line box, in blocks of 16 lines: line separators within a block, "\n"
// between blocks. `lines` counts the lines of the box's last block and goes on counting.
[[nodiscard]] QString ShownInBlocks(std::string_view gbk, int& lines);

}  // namespace kestrin::ui
