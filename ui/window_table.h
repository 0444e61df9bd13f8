// The table of loaded windows as both backends keep it, and the steps they take alike over it:
// finding windows and controls, handing events to handlers, showing the workers' changes at most
// once a frame. Plain C++: `Live` is the backend's own record of a loaded window, with its
// `controls` by name, its form `state` and when its changes were last shown. Window thread only.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_state.h"
#include "ui/layout.h"
#include "ui/window_controls.h"
#include "ui/window_lookup.h"
#include "ui/window_thread.h"

namespace kestrin::ui {

template <typename Live>
struct WindowTable {
  std::vector<WindowLayout> layouts;
  std::vector<Binding> bindings;
  std::map<std::string, Live, std::less<>> live;
  std::string startWindow;           // set by RunProgram only
  std::function<void()> endProgram;  // ends the process; set by RunProgram only

  [[nodiscard]] const WindowLayout* Layout(std::string_view window) const {
    for (const WindowLayout& layout : layouts) {
      if (layout.name == window) return &layout;
    }
    return nullptr;
  }

  // A loaded window or one of its controls; nullptr when absent.
  [[nodiscard]] Live* Find(std::string_view window) {
    auto found = live.find(window);
    return found == live.end() ? nullptr : &found->second;
  }
  [[nodiscard]] auto* Control(std::string_view window, std::string_view control) {
    Live* loaded = Find(window);
    decltype(&loaded->controls.begin()->second) entry = nullptr;
    if (loaded == nullptr) return entry;
    auto found = loaded->controls.find(control);
    return found == loaded->controls.end() ? entry : &found->second;
  }
  // As Control, but a missing window or control is the framework's fatal runtime error.
  [[nodiscard]] auto& RequireControl(std::string_view window, std::string_view control) {
    auto* entry = Control(window, control);
    if (entry == nullptr) ReportNotLoaded();
    return *entry;
  }

  [[nodiscard]] bool Bound(std::string_view window, std::string_view control, Event event) const {
    return FindBinding(bindings, window, control, event) != nullptr;
  }
  // Hands an event to the handler bound to it; unbound events are ignored.
  void Dispatch(std::string_view window, std::string_view control, Event event, int argument) const {
    const Binding* binding = FindBinding(bindings, window, control, event);
    if (binding != nullptr && binding->handler != nullptr) binding->handler(argument);
  }

  void Install(const Program& program) {
    RunOnWindowThread([&] {
      layouts.assign(program.windows.begin(), program.windows.end());
      bindings.assign(program.bindings.begin(), program.bindings.end());
    });
  }
};

// The Controls of a window of `table`: what they ask of the loaded window, alike for both
// backends.
template <typename Live>
class TableControls : public WindowControls {
 protected:
  TableControls(std::string window, WindowTable<Live>& table) : WindowControls(std::move(window)), table_(table) {}

  void CatchUp() final {
    if (Live* live = table_.Find(window())) ShowPendingChanges(*live);
  }
  ControlKind KindOf(ControlName control) final { return table_.RequireControl(window(), control).row->kind; }

 private:
  WindowTable<Live>& table_;
};

// Runs `work(live)` on the window thread with the loaded window `window` of `table`; a window that
// is not loaded is the framework's fatal runtime error.
template <typename Table, typename Work>
void WithWindow(Table& table, std::string_view window, const Work& work) {
  RunOnWindowThread([&] {
    auto* live = table.Find(window);
    if (live == nullptr) ReportNotLoaded();
    work(*live);
  });
}

// While one lives, the program and not the user is changing an edit box, so that the box's
// change notifications are not taken for the user's edits. Window thread only.
class ProgramEdit {
 public:
  ProgramEdit() { Flag() = true; }
  ~ProgramEdit() { Flag() = false; }
  ProgramEdit(const ProgramEdit&) = delete;
  ProgramEdit& operator=(const ProgramEdit&) = delete;
  [[nodiscard]] static bool Now() { return Flag(); }

 private:
  static bool& Flag() {
    static bool editing = false;
    return editing;
  }
};

// The end of a program: `exitRoutine` (may be null), the output flushed, and the process gone at
// once with code 0. Workers are not waited for, and nothing global is torn down under them.
[[nodiscard]] std::function<void()> EndOfProgram(void (*exitRoutine)());

// A frame of a 60 Hz screen: changes shown more often would not be seen.
inline constexpr std::chrono::milliseconds kFrame{16};

// Shows the window's pending changes now: the edit boxes' through the backend's ShowEditText and
// ShowAppended, each status part's through `showPart(part, text)`.
template <typename Live, typename ShowPart>
void ShowChanges(Live& live, const ShowPart& showPart) {
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
  for (const auto& [part, text] : changes.statusParts) showPart(part, text);
}

// Shows the window's changes (the backend's ShowPendingChanges) when a frame has passed since they
// were last shown; otherwise marks them scheduled and hands `schedule` the wait. Nothing for a
// window that has gone or whose showing is already scheduled.
template <typename Live, typename Schedule>
void ShowWithinFrame(Live* live, const Schedule& schedule) {
  if (live == nullptr || live->showScheduled) return;
  const auto due = live->lastShown + kFrame;
  const auto now = std::chrono::steady_clock::now();
  if (now >= due) {
    ShowPendingChanges(*live);
    return;
  }
  live->showScheduled = true;
  schedule(std::chrono::ceil<std::chrono::milliseconds>(due - now));
}

}  // namespace kestrin::ui
