#include "cli/console/stamped_lines.h"

#include "cli/console/terminal.h"

namespace kestrin::cli {

StampedLines::StampedLines(std::streambuf* target, std::function<std::time_t()> now)
    : target_(target), now_(std::move(now)) {}

std::string LocalStamp(std::time_t time) {
  const std::tm local = LocalTime(time);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

StampedLines::int_type StampedLines::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (lineStart_) {
    const std::string stamp = LocalStamp(now_()) + ' ';
    if (target_->sputn(stamp.data(), static_cast<std::streamsize>(stamp.size())) !=
        static_cast<std::streamsize>(stamp.size())) {
      return traits_type::eof();
    }
  }
  lineStart_ = traits_type::to_char_type(c) == '\n';
  return target_->sputc(traits_type::to_char_type(c));
}

int StampedLines::sync() { return target_->pubsync(); }

}  // namespace kestrin::cli
