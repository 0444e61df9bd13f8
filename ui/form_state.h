// What the program's logic knows of one window's controls, kept apart from the widgets so that
// workers read and write it without waiting on the window thread: the edit boxes' texts as the
// program set and appended them, the checked states, and the changes the window has yet to show.
// No toolkit types here; every member may be called from any thread unless it says otherwise.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace kestrin::ui {

// A change to an edit box that the window has yet to show.
struct BoxChange {
  enum class Kind { kReplace, kAppend };
  Kind kind;
  std::string control;
  Text text;
};

// Everything waiting to be shown, in the order the program made it.
struct PendingChanges {
  std::vector<BoxChange> boxes;     // appends to one box in a row are joined into one change
  std::map<int, Text> statusParts;  // only the newest text of each part: the older ones would not be seen
  [[nodiscard]] bool Empty() const { return boxes.empty() && statusParts.empty(); }
};

// What a write did.
enum class Queued {
  kNotHere,   // not a control this state keeps: the caller asks the window instead
  kDropped,   // nothing to show (a status part that does not exist, a window that has gone)
  kQueued,    // waiting; the window thread has already been asked to show it
  kWake,      // waiting; the caller must ask the window thread to show it
};

class FormState {
 public:
  // --- set up on the window thread while the window is built
  void AddEditBox(std::string control, Text text);
  void AddChoice(std::string control, bool checked);
  void SetStatusPartCount(int parts);

  // --- the program, from any thread
  // The box's text as the program sees it (lines joined by CR LF, bytes as set). Nothing when
  // the control is no edit box here, or when the user has edited the box since the program last
  // knew its text: then the window must be read (and Refresh called).
  [[nodiscard]] std::optional<Text> EditText(std::string_view control) const;
  // Checked or selected; nothing when the control is no check box or radio button here.
  [[nodiscard]] std::optional<bool> Checked(std::string_view control) const;
  Queued Replace(std::string_view control, const Text& text);
  Queued Append(std::string_view control, const std::vector<Text>& texts);
  // An index outside the parts is dropped.
  Queued SetStatusPart(int part, const Text& text);
  // Blocks while more than `limit` bytes of box changes wait to be shown, so that a worker far
  // ahead of the window cannot pile up memory. Returns at once once the state is closed.
  void WaitForRoom(std::size_t limit);
  // The bytes of box changes waiting, as last written (no lock).
  [[nodiscard]] std::size_t PendingBytes() const { return pendingBytesSeen_.load(std::memory_order_relaxed); }

  // --- the window thread
  // The user changed the box: from now on its text is what the widget shows.
  void MarkEdited(std::string_view control);
  // The box's text as just read from the widget; changes still waiting to be shown are applied
  // on top of it, so that the program sees them at once.
  void Refresh(std::string_view control, const Text& shown);
  // The user changed a check box or radio button.
  void SetChecked(std::string_view control, bool checked);
  // Takes everything waiting to be shown; the next change asks for a wake again.
  [[nodiscard]] PendingChanges TakeChanges();
  [[nodiscard]] bool HasPendingChanges() const;
  // The window has gone: later writes are dropped and waiting workers go on.
  void Close();

 private:
  struct Box {
    Text text;
    bool known = true;  // false once the user has edited the box
  };

  Queued QueueLocked(BoxChange::Kind kind, std::string_view control, Text text);
  Queued WakeLocked();

  mutable std::mutex mutex_;
  std::condition_variable drained_;
  std::map<std::string, Box, std::less<>> boxes_;
  std::map<std::string, bool, std::less<>> choices_;
  int statusParts_ = 0;
  PendingChanges pending_;
  std::size_t pendingBytes_ = 0;
  std::atomic<std::size_t> pendingBytesSeen_{0};
  bool wakeAsked_ = false;
  bool closed_ = false;
};

}  // namespace kestrin::ui
