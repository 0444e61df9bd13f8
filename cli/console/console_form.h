// The collection page of the window, on a console: the collector reads its boxes from here and
// the addresses it appends go to standard output.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <unordered_set>

#include "runtime/controls.h"

namespace kestrin::cli {

class ConsoleForm final : public Controls {
 public:
  // Addresses go to `out` in UTF-8, one per line, each once; status texts go to `status` when it
  // is not null (a terminal), over one another on one line.
  ConsoleForm(std::ostream& out, std::ostream* status);

  // What the user would have typed, in GBK.
  void Put(ControlName control, const Text& text);
  void PutState(ControlName control, bool checked);
  // Ends the status line, if one is shown.
  void EndStatus();
  // How many addresses went to `out`.
  [[nodiscard]] std::int64_t Printed();

  [[nodiscard]] Text ReadText(ControlName control) override;
  [[nodiscard]] bool ReadState(ControlName control) override;
  void SetText(ControlName control, const Text& text) override;
  void AppendEditText(ControlName control, const std::vector<Text>& texts) override;
  void SetStatusPartText(int part, const Text& text) override;
  void SetCaption(const Text& caption) override;
  int MessageBox(const Text& message, int flags, const Text& caption) override;
  void OpenAddress(const Text& address) override;

 private:
  std::mutex mutex_;
  std::map<std::string, Text, std::less<>> texts_;
  std::map<std::string, bool, std::less<>> states_;
  std::ostream& out_;
  std::ostream* status_;
  bool statusShown_ = false;
  std::unordered_set<Text> printed_;
};

// The window's progress text (GBK) in the reader's language and character set.
[[nodiscard]] std::string StatusWords(const Text& text);

}  // namespace kestrin::cli
