#include "tests/support/memory_form.h"

#include <utility>

namespace kestrin::testsupport {

bool MemoryForm::Watched() const {
  const std::lock_guard lock(mutex_);
  return recording_ || hook_;
}

void MemoryForm::Record(FormCall call) {
  std::function<void(const FormCall&)> hook;
  {
    const std::lock_guard lock(mutex_);
    if (recording_) calls_.push_back(call);
    hook = hook_;
  }
  if (hook) hook(call);
}

Text MemoryForm::ReadText(ControlName control) {
  Text text;
  {
    const std::lock_guard lock(mutex_);
    if (const auto it = texts_.find(control); it != texts_.end()) text = it->second;
  }
  if (Watched()) Record({FormOp::kReadText, std::string(control), text});
  return text;
}

bool MemoryForm::ReadState(ControlName control) {
  bool checked = false;
  {
    const std::lock_guard lock(mutex_);
    if (const auto it = states_.find(control); it != states_.end()) checked = it->second;
  }
  if (Watched()) Record({FormOp::kReadState, std::string(control), checked ? "1" : "0"});
  return checked;
}

void MemoryForm::SetText(ControlName control, const Text& text) {
  Put(control, text);
  if (Watched()) Record({FormOp::kSetText, std::string(control), text});
}

void MemoryForm::AppendEditText(ControlName control, const std::vector<Text>& texts) {
  {
    const std::lock_guard lock(mutex_);
    auto box = texts_.find(control);
    if (box == texts_.end()) box = texts_.emplace(std::string(control), Text()).first;
    for (const Text& text : texts) box->second += text;
  }
  if (Watched()) {
    Text joined;
    for (const Text& text : texts) joined += text;
    Record({FormOp::kAppendEditText, std::string(control), joined});
  }
}

void MemoryForm::SetStatusPartText(int part, const Text& text) {
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
  }
  if (Watched()) Record({FormOp::kSetStatusPartText, {}, text, part});
}

void MemoryForm::SetCaption(const Text& caption) {
  {
    const std::lock_guard lock(mutex_);
    caption_ = caption;
  }
  if (Watched()) Record({FormOp::kSetCaption, {}, caption});
}

int MemoryForm::MessageBox(const Text& message, int flags, const Text& caption) {
  int answer = kMessageBoxOk;
  {
    const std::lock_guard lock(mutex_);
    messages_.push_back(message);
    if (!messageAnswers_.empty()) {
      answer = messageAnswers_.front();
      messageAnswers_.pop_front();
    }
  }
  if (Watched()) Record({FormOp::kMessageBox, caption, message, flags});
  return answer;
}

void MemoryForm::OpenAddress(const Text& address) {
  {
    const std::lock_guard lock(mutex_);
    opened_.push_back(address);
  }
  if (Watched()) Record({FormOp::kOpenAddress, {}, address});
}

void MemoryForm::Put(ControlName control, const Text& text) {
  const std::lock_guard lock(mutex_);
  texts_[std::string(control)] = text;
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
  return it == texts_.end() ? Text() : it->second;
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
