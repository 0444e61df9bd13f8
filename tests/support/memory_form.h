// An in-memory main window for tests: the controls interface on plain texts and states, safe to
// call from several worker threads at once, recording every call in the order it happened.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/controls.h"

namespace kestrin::testsupport {

enum class FormOp {
  kReadText,
  kReadState,
  kSetText,
  kAppendEditText,
  kSetStatusPartText,
  kSetCaption,
  kMessageBox,
  kOpenAddress,
};

// One call on the form. `value` is the text read or written (appended texts joined; "1"/"0" for
// a state read; the message of a message box; the address opened); `number` is the status-bar
// part or the message-box flags.
struct FormCall {
  FormOp op;
  std::string control;  // layout name (GBK); empty where the call names no control
  Text value;
  int number = 0;
};

class MemoryForm final : public Controls {
 public:
  MemoryForm() = default;
  MemoryForm(const MemoryForm&) = delete;
  MemoryForm& operator=(const MemoryForm&) = delete;

  // --- what the program sees
  [[nodiscard]] Text ReadText(ControlName control) override;
  [[nodiscard]] bool ReadState(ControlName control) override;
  void SetText(ControlName control, const Text& text) override;
  void AppendEditText(ControlName control, const std::vector<Text>& texts) override;
  void SetStatusPartText(int part, const Text& text) override;
  void SetCaption(const Text& caption) override;
  // Answers with the next scripted answer, OK (0) when none is left.
  int MessageBox(const Text& message, int flags = kMessageBoxOk, const Text& caption = "信息：") override;
  void OpenAddress(const Text& address) override;

  // --- what the test does; none of these is recorded
  void Put(ControlName control, const Text& text);
  void PutState(ControlName control, bool checked);
  void SetStatusPartCount(int parts);  // 2 unless set: the fixed part and the message part
  void ScriptMessageBoxAnswers(std::vector<int> answers);
  // Called after every recorded call, on the caller's thread and outside the form's lock, so it
  // may Put new texts (an edit made by the user during a run) or throw to end a run early.
  void OnCall(std::function<void(const FormCall&)> hook);
  // Turns recording off for long runs: no calls and no status history are kept, while the texts,
  // the states and each status part's latest text still are.
  void SetRecording(bool on);

  // --- what the test checks
  [[nodiscard]] Text TextOf(ControlName control) const;
  [[nodiscard]] bool StateOf(ControlName control) const;
  [[nodiscard]] Text StatusText(int part = 1) const;
  // Every text the part was given while recording, in order.
  [[nodiscard]] std::vector<Text> StatusHistory(int part = 1) const;
  [[nodiscard]] Text Caption() const;
  [[nodiscard]] std::vector<FormCall> Calls() const;
  // The recorded calls of one kind, optionally on one control.
  [[nodiscard]] std::vector<FormCall> CallsOf(FormOp op, ControlName control = {}) const;
  [[nodiscard]] std::vector<Text> Messages() const;
  [[nodiscard]] std::vector<Text> OpenedAddresses() const;

 private:
  // Whether calls are recorded or hooked, with the lock held; a long unrecorded run then copies
  // nothing.
  [[nodiscard]] bool WatchedLocked() const;
  void PutLocked(ControlName control, const Text& text);
  void Record(FormCall call);

  // A control's text as pieces of bounded size: a long run appends megabytes to one box, which
  // a single growing text would copy again at every doubling of its size.
  class BoxText {
   public:
    void Assign(const Text& text);
    void Append(const Text& text);
    [[nodiscard]] Text Whole() const;

   private:
    std::vector<Text> pieces_;
  };

  mutable std::mutex mutex_;
  std::map<std::string, BoxText, std::less<>> texts_;
  std::map<std::string, bool, std::less<>> states_;
  int statusParts_ = 2;
  std::map<int, std::vector<Text>> status_;
  Text caption_;
  std::deque<int> messageAnswers_;
  std::vector<Text> messages_;
  std::vector<Text> opened_;
  std::vector<FormCall> calls_;
  bool recording_ = true;
  std::function<void(const FormCall&)> hook_;
};

}  // namespace kestrin::testsupport
