// What a push run tells: an object per address with --json, progress on a terminal, a summary at
// the end, and the exit code cron acts on.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/address_state.h"

namespace kestrin::cli {

// The exit codes, most serious last but one: usage outranks all.
enum ExitCode : int {
  kExitOk = 0,         // all accepted, or nothing new
  kExitProblems = 1,   // some refused, or failed after retries
  kExitUsage = 2,      // usage or configuration error, a failed key-file check
  kExitQuota = 3,      // quota spent, addresses queued
  kExitAuth = 4,       // token or key refused
};

struct Summary {
  std::int64_t sent = 0;
  std::int64_t accepted = 0;
  std::int64_t refused = 0;  // not_valid and not_same_site
  std::int64_t queued = 0;
  std::int64_t failed = 0;
  std::map<std::string, std::int64_t> reasons;  // "state: reason" of the refused and failed
};

class Report {
 public:
  // `out` gets the JSON lines when `json`; `err` the progress (when `progress`) and the summary.
  Report(std::ostream& out, std::ostream& err, bool json, bool progress);

  // One address's final state on one engine; `sent` when it went out in a request.
  void Add(std::string_view engine, const AddressOutcome& outcome, bool sent);
  // Overwrites the progress line, on a terminal only.
  void Progress(std::string_view engine, std::string_view site, std::int64_t done, std::int64_t total);
  // A run-level problem, printed at once and reflected in the exit code.
  void Problem(ExitCode code, const std::string& message);
  // Prints the summary (and its JSON object); call once, at the end.
  void Finish();

  [[nodiscard]] const Summary& Totals() const { return summary_; }
  [[nodiscard]] int Exit() const;

 private:
  void ClearProgress();

  std::ostream& out_;
  std::ostream& err_;
  bool json_;
  bool progress_;
  bool progressShown_ = false;
  Summary summary_;
  bool usage_ = false;
  bool auth_ = false;
  bool quota_ = false;
  bool problems_ = false;
};

// Which of two exit codes to keep: usage, then authentication, then quota, then problems.
[[nodiscard]] int WorseExit(int a, int b);

}  // namespace kestrin::cli
