#include "tests/support/memory_form.h"

#include <algorithm>
#include <utility>

namespace kestrin::testsupport {

namespace {
constexpr std::size_t kBoxPieceBytes = 64 * 1024;
}  // namespace

void MemoryForm::BoxText::Assign(const Text& text) {
  pieces_.clear();
  if (!text.empty()) pieces_.push_back(text);
}

void MemoryForm::BoxText::Append(const Text& text) {
  if (text.empty()) return;
  if (pieces_.empty() || pieces_.back().capacity() - pieces_.back().size() < text.size()) {
    pieces_.emplace_back().reserve(std::max(kBoxPieceBytes, text.size()));
  }
  pieces_.back() += text;
}

Text MemoryForm::BoxText::Whole() const {
  if (pieces_.size() == 1) return pieces_.front();
  std::size_t size = 0;
  for (const Text& piece : pieces_) size += piece.size();
  Text whole;
  whole.reserve(size);
  for (const Text& piece : pieces_) whole += piece;
  return whole;
}

bool MemoryForm::WatchedLocked() const { return recording_ || static_cast<bool>(hook_); }

void MemoryForm::Record(FormCall call) {
  std::function<void(const FormCall&)> hook;
  {
    const std::lock_guard lock(mutex_);
    if (recording_) calls_.push_back(call);
    hook = hook_;
  }
  if (hook) hook(call);
}

// Each call takes the lock once when nothing watches, so that a long unrecorded run measures
// the program rather than the form.
Text MemoryForm::ReadText(ControlName control) {
  Text text;
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    if (const auto it = texts_.find(control); it != texts_.end()) text = it->second.Whole();
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kReadText, std::string(control), text});
  return text;
}

bool MemoryForm::ReadState(ControlName control) {
  bool checked = false;
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    if (const auto it = states_.find(control); it != states_.end()) checked = it->second;
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kReadState, std::string(control), checked ? "1" : "0"});
  return checked;
}

void MemoryForm::SetText(ControlName control, const Text& text) {
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    PutLocked(control, text);
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kSetText, std::string(control), text});
}

void MemoryForm::AppendEditText(ControlName control, const std::vector<Text>& texts) {
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    auto box = texts_.find(control);
    if (box == texts_.end()) box = texts_.emplace(std::string(control), BoxText()).first;
    for (const Text& text : texts) box->second.Append(text);
    watched = WatchedLocked();
  }
  if (watched) {
    Text joined;
    for (const Text& text : texts) joined += text;
    Record({FormOp::kAppendEditText, std::string(control), joined});
  }
}

void MemoryForm::SetStatusPartText(int part, const Text& text) {
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    if (part >= 0 && part < statusParts_) {
      std::vector<Text>& history = status_[part];
      if (recording_ || history.empty()) {
        history.push_back(text);
      } else {
        history.back() = text;
      }
    }
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kSetStatusPartText, {}, text, part});
}

void MemoryForm::SetCaption(const Text& caption) {
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    caption_ = caption;
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kSetCaption, {}, caption});
}

int MemoryForm::MessageBox(const Text& message, int flags, const Text& caption) {
  int answer = kMessageBoxOk;
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    messages_.push_back(message);
    if (!messageAnswers_.empty()) {
      answer = messageAnswers_.front();
      messageAnswers_.pop_front();
    }
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kMessageBox, caption, message, flags});
  return answer;
}

void MemoryForm::OpenAddress(const Text& address) {
  bool watched = false;
  {
    const std::lock_guard lock(mutex_);
    opened_.push_back(address);
    watched = WatchedLocked();
  }
  if (watched) Record({FormOp::kOpenAddress, {}, address});
}

void MemoryForm::Put(ControlName control, const Text& text) {
  const std::lock_guard lock(mutex_);
  PutLocked(control, text);
}

void MemoryForm::PutLocked(ControlName control, const Text& text) {
  auto box = texts_.find(control);
  if (box == texts_.end()) box = texts_.emplace(std::string(control), BoxText()).first;
  box->second.Assign(text);
}

void MemoryForm::PutState(ControlName control, bool checked) {
  const std::lock_guard lock(mutex_);
  states_[std::string(control)] = checked;
}

void MemoryForm::SetStatusPartCount(int parts) {
  const std::lock_guard lock(mutex_);
  statusParts_ = parts;
}

void MemoryForm::ScriptMessageBoxAnswers(std::vector<int> answers) {
  const std::lock_guard lock(mutex_);
  messageAnswers_.assign(answers.begin(), answers.end());
}

void MemoryForm::OnCall(std::function<void(const FormCall&)> hook) {
  const std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void MemoryForm::SetRecording(bool on) {
  const std::lock_guard lock(mutex_);
  recording_ = on;
}

Text MemoryForm::TextOf(ControlName control) const {
  const std::lock_guard lock(mutex_);
  const auto it = texts_.find(control);
  return it == texts_.end() ? Text() : it->second.Whole();
}

bool MemoryForm::StateOf(ControlName control) const {
  const std::lock_guard lock(mutex_);
  const auto it = states_.find(control);
  return it != states_.end() && it->second;
}

Text MemoryForm::StatusText(int part) const {
  const std::lock_guard lock(mutex_);
  const auto it = status_.find(part);
  return it == status_.end() || it->second.empty() ? Text() : it->second.back();
}

std::vector<Text> MemoryForm::StatusHistory(int part) const {
  const std::lock_guard lock(mutex_);
  const auto it = status_.find(part);
  return it == status_.end() ? std::vector<Text>() : it->second;
}

Text MemoryForm::Caption() const {
  const std::lock_guard lock(mutex_);
  return caption_;
}

std::vector<FormCall> MemoryForm::Calls() const {
  const std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<FormCall> MemoryForm::CallsOf(FormOp op, ControlName control) const {
  const std::lock_guard lock(mutex_);
  std::vector<FormCall> out;
  for (const FormCall& call : calls_) {
    if (call.op == op && (control.empty() || call.control == control)) out.push_back(call);
  }
  return out;
}

std::vector<Text> MemoryForm::Messages() const {
  const std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<Text> MemoryForm::OpenedAddresses() const {
  const std::lock_guard lock(mutex_);
  return opened_;
}

}  // namespace kestrin::testsupport
