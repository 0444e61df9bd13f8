// Standard error for a log file: every line begins with the local date and time, so that the
// hourly runs of a cron job can be read back apart.
#pragma once

#include <ctime>
#include <functional>
#include <streambuf>
#include <string>

namespace kestrin::cli {

// A stream buffer that passes every byte to `target`, with "YYYY-MM-DD HH:MM:SS " before the
// first byte of each line. `now` gives the time (replaceable in tests).
class StampedLines final : public std::streambuf {
 public:
  explicit StampedLines(std::streambuf* target, std::function<std::time_t()> now = [] { return std::time(nullptr); });
  [[nodiscard]] std::streambuf* Target() const { return target_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  std::streambuf* target_;
  std::function<std::time_t()> now_;
  bool lineStart_ = true;
};

// "YYYY-MM-DD HH:MM:SS" of `time` in local time.
[[nodiscard]] std::string LocalStamp(std::time_t time);

}  // namespace kestrin::cli
