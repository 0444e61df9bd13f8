#include "cli/console/console_form.h"

#include "cli/console/messages.h"
#include "runtime/codepage.h"

namespace kestrin::cli {

ConsoleForm::ConsoleForm(std::ostream& out, std::ostream* status) : out_(out), status_(status) {}

void ConsoleForm::Put(ControlName control, const Text& text) {
  std::lock_guard lock(mutex_);
  texts_[std::string(control)] = text;
}

void ConsoleForm::PutState(ControlName control, bool checked) {
  std::lock_guard lock(mutex_);
  states_[std::string(control)] = checked;
}

void ConsoleForm::EndStatus() {
  std::lock_guard lock(mutex_);
  if (statusShown_) *status_ << '\n' << std::flush;
  statusShown_ = false;
}

std::int64_t ConsoleForm::Printed() {
  std::lock_guard lock(mutex_);
  return static_cast<std::int64_t>(printed_.size());
}

Text ConsoleForm::ReadText(ControlName control) {
  std::lock_guard lock(mutex_);
  const auto found = texts_.find(control);
  return found != texts_.end() ? found->second : Text();
}

bool ConsoleForm::ReadState(ControlName control) {
  std::lock_guard lock(mutex_);
  const auto found = states_.find(control);
  return found != states_.end() && found->second;
}

void ConsoleForm::SetText(ControlName control, const Text& text) { Put(control, text); }

void ConsoleForm::AppendEditText(ControlName control, const std::vector<Text>& texts) {
  if (control != names::编辑框8) return;
  std::lock_guard lock(mutex_);
  for (const Text& text : texts) {
    std::string_view rest = text;
    while (!rest.empty()) {
      const auto end = rest.find("\r\n");
      const std::string_view line = rest.substr(0, end);
      // The window lists an address as often as the pages do; a source lists it once.
      if (!line.empty() && printed_.emplace(line).second) {
        if (statusShown_) *status_ << "\r\x1b[K";
        out_ << Printable(GbkToUtf8(line)) << '\n';
      }
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 2);
    }
  }
  out_.flush();
}

void ConsoleForm::SetStatusPartText(int part, const Text& text) {
  if (part != 1 || status_ == nullptr) return;
  // The closing count of the window is told by the tool's own summary, in the reader's language.
  if (text.starts_with("全部采集完成")) return;
  std::lock_guard lock(mutex_);
  *status_ << '\r' << StatusWords(text) << "\x1b[K" << std::flush;
  statusShown_ = true;
}

std::string StatusWords(const Text& text) {
  // "正在采集第P页的内容,采集成功N条数据": the page and the count so far.
  constexpr std::string_view kPage = "正在采集第";
  constexpr std::string_view kCount = "采集成功";
  const auto pageEnd = text.find("页");
  const auto count = text.find(kCount);
  if (!text.starts_with(kPage) || pageEnd == Text::npos || count == Text::npos) return Tr(GbkToUtf8(text), text);
  const std::string page = text.substr(kPage.size(), pageEnd - kPage.size());
  const std::string found = text.substr(count + kCount.size(), text.find("条", count) - count - kCount.size());
  return Tr("page " + page + ": " + found + " addresses so far", text);
}

void ConsoleForm::SetCaption(const Text&) {}

int ConsoleForm::MessageBox(const Text&, int, const Text&) { return 0; }

void ConsoleForm::OpenAddress(const Text&) {}

}  // namespace kestrin::cli
