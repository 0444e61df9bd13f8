#include "ui/form_state.h"

#include <algorithm>

namespace kestrin::ui {

void FormState::AddEditBox(std::string control, Text text) {
  const std::lock_guard lock(mutex_);
  boxes_[std::move(control)] = Box{std::move(text), true};
}

void FormState::AddChoice(std::string control, bool checked) {
  const std::lock_guard lock(mutex_);
  choices_[std::move(control)] = checked;
}

void FormState::SetStatusPartCount(int parts) {
  const std::lock_guard lock(mutex_);
  statusParts_ = parts;
}

std::optional<Text> FormState::EditText(std::string_view control) const {
  const std::lock_guard lock(mutex_);
  const auto box = boxes_.find(control);
  if (box == boxes_.end() || !box->second.known) return std::nullopt;
  return box->second.text;
}

std::optional<bool> FormState::Checked(std::string_view control) const {
  const std::lock_guard lock(mutex_);
  const auto choice = choices_.find(control);
  if (choice == choices_.end()) return std::nullopt;
  return choice->second;
}

Queued FormState::Replace(std::string_view control, const Text& text) {
  const std::lock_guard lock(mutex_);
  const auto box = boxes_.find(control);
  if (box == boxes_.end()) return Queued::kNotHere;
  box->second = Box{text, true};
  return QueueLocked(BoxChange::Kind::kReplace, control, text);
}

Queued FormState::Append(std::string_view control, const std::vector<Text>& texts) {
  Text added;
  for (const Text& text : texts) added += text;
  const std::lock_guard lock(mutex_);
  const auto box = boxes_.find(control);
  if (box == boxes_.end()) return Queued::kNotHere;
  // A box the user has edited gets its text back from the widget at the next read.
  if (box->second.known) box->second.text += added;
  return QueueLocked(BoxChange::Kind::kAppend, control, std::move(added));
}

Queued FormState::SetStatusPart(int part, const Text& text) {
  const std::lock_guard lock(mutex_);
  if (closed_ || part < 0 || part >= statusParts_) return Queued::kDropped;
  pending_.statusParts[part] = text;
  return WakeLocked();
}

Queued FormState::QueueLocked(BoxChange::Kind kind, std::string_view control, Text text) {
  if (closed_) return Queued::kDropped;
  pendingBytes_ += text.size();
  // Boxes are independent, so only the order within one box counts: a replacement makes what
  // waited for the box moot, and appends join the box's last change when that is an append.
  if (kind == BoxChange::Kind::kReplace) {
    std::erase_if(pending_.boxes, [&](const BoxChange& c) {
      if (c.control != control) return false;
      pendingBytes_ -= c.text.size();
      return true;
    });
  }
  const auto last = std::find_if(pending_.boxes.rbegin(), pending_.boxes.rend(),
                                 [&](const BoxChange& c) { return c.control == control; });
  if (kind == BoxChange::Kind::kAppend && last != pending_.boxes.rend() && last->kind == kind) {
    last->text += text;
  } else {
    pending_.boxes.push_back({kind, std::string(control), std::move(text)});
  }
  return WakeLocked();
}

Queued FormState::WakeLocked() {
  pendingBytesSeen_.store(pendingBytes_, std::memory_order_relaxed);
  if (wakeAsked_) return Queued::kQueued;
  wakeAsked_ = true;
  return Queued::kWake;
}

void FormState::WaitForRoom(std::size_t limit) {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [&] { return closed_ || pendingBytes_ <= limit; });
}

void FormState::MarkEdited(std::string_view control) {
  const std::lock_guard lock(mutex_);
  const auto box = boxes_.find(control);
  if (box == boxes_.end()) return;
  box->second.known = false;
  box->second.text.clear();
}

void FormState::Refresh(std::string_view control, const Text& shown) {
  const std::lock_guard lock(mutex_);
  const auto box = boxes_.find(control);
  if (box == boxes_.end()) return;
  Text text = shown;
  for (const BoxChange& change : pending_.boxes) {
    if (change.control != control) continue;
    text = change.kind == BoxChange::Kind::kReplace ? change.text : text + change.text;
  }
  box->second = Box{std::move(text), true};
}

void FormState::SetChecked(std::string_view control, bool checked) {
  const std::lock_guard lock(mutex_);
  const auto choice = choices_.find(control);
  if (choice != choices_.end()) choice->second = checked;
}

PendingChanges FormState::TakeChanges() {
  PendingChanges taken;
  {
    const std::lock_guard lock(mutex_);
    taken = std::move(pending_);
    pending_ = PendingChanges();
    pendingBytes_ = 0;
    pendingBytesSeen_.store(0, std::memory_order_relaxed);
    wakeAsked_ = false;
  }
  drained_.notify_all();
  return taken;
}

bool FormState::HasPendingChanges() const {
  const std::lock_guard lock(mutex_);
  return !pending_.Empty();
}

void FormState::Close() {
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    pending_ = PendingChanges();
    pendingBytes_ = 0;
    pendingBytesSeen_.store(0, std::memory_order_relaxed);
  }
  drained_.notify_all();
}

}  // namespace kestrin::ui
