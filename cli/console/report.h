// What a push run tells: an object per address with --json, progress on a terminal, a summary at
// the end, and the exit code cron acts on.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/engines/address_state.h"

namespace kestrin::cli {

// The exit codes, most serious last but one: usage outranks all.
enum ExitCode : int {
  kExitOk = 0,         // all accepted, or nothing new; invalid input lines skipped
  kExitProblems = 1,   // some refused, or failed after retries
  kExitUsage = 2,      // usage or configuration error, a failed key-file check
  kExitQuota = 3,      // quota spent, addresses queued
  kExitAuth = 4,       // token or key refused
};

struct Summary {
  std::int64_t sent = 0;
  std::int64_t accepted = 0;
  std::int64_t refused = 0;  // not_valid and not_same_site
  std::int64_t skipped = 0;  // accepted before, so not sent again
  std::int64_t invalid = 0;  // input entries that are no address to send
  std::int64_t queued = 0;
  std::int64_t failed = 0;
  std::map<std::string, std::int64_t> reasons;  // "state: reason" of the refused and failed
  // engine and site -> the remain the last answer (or the history, for a spent day) gave.
  std::map<std::pair<std::string, std::string>, std::int64_t> quota;
  // engine and site -> how many addresses wait for a later day, and when the oldest was first met.
  std::map<std::pair<std::string, std::string>, std::pair<std::int64_t, std::int64_t>> waiting;
  bool planned = false;  // a dry run: nothing was sent, the plan was told
  std::int64_t wouldSend = 0;
  std::int64_t wouldWait = 0;
};

// The lines that tell invalid entries on standard error: the first ten of a source and reason by
// name, control bytes shown escaped, so that a long list of bad lines does not flood a log; the
// rest are counted, and told in one line each at the end.
class InvalidLog {
 public:
  // The line telling `entry`, or empty past the first ten of its source and reason.
  [[nodiscard]] std::string Tell(std::string_view source, std::string_view entry, const std::string& reason);
  // For each source and reason past ten: how many more there were.
  [[nodiscard]] std::vector<std::string> Rest() const;

 private:
  static constexpr std::size_t kNamed = 10;
  std::map<std::pair<std::string, std::string>, std::size_t> counts_;
};

class Report {
 public:
  // `out` gets the JSON lines when `json`; `err` the progress (when `progress`) and the summary.
  Report(std::ostream& out, std::ostream& err, bool json, bool progress);

  // One address's final state on one engine; `sent` when it went out in a request.
  void Add(std::string_view engine, const AddressOutcome& outcome, bool sent);
  // Addresses not sent to `engine` because they were accepted before.
  void Skipped(std::int64_t count);
  // An input entry that is not sent anywhere: not an http(s) address, or of no configured site.
  // Told on standard error and as an object of state "invalid"; it does not change the exit code.
  void Invalid(std::string_view source, std::string_view entry, const std::string& reason);
  // The quota left for `site` on `engine`.
  void Quota(std::string_view engine, std::string_view site, std::int64_t remain);
  // Says once per engine and site that the day's quota is spent and `queued` addresses wait for
  // the next Beijing day.
  void QuotaSpent(std::string_view engine, std::string_view site, std::int64_t queued);
  // How many addresses still wait for `site` on `engine`, the oldest first met at `oldestMs` (0:
  // not known).
  void Waiting(std::string_view engine, std::string_view site, std::int64_t count, std::int64_t oldestMs);
  // A dry run: the summary tells the plan rather than what was sent.
  void Planning() { summary_.planned = true; }
  // An address a run now would send to `engine`, or that would wait. Those sent are told at once,
  // those that wait at the end, so that the plan reads in order.
  void Plan(std::string_view engine, std::string_view url, bool send);
  // Overwrites the progress line, on a terminal only.
  void Progress(std::string_view engine, std::string_view site, std::int64_t done, std::int64_t total);
  // A run-level problem, printed at once and reflected in the exit code.
  void Problem(int code, const std::string& message);
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
  InvalidLog invalid_;
  std::vector<std::string> refused_;  // "engine reason: address", for the closing list
  std::vector<std::string> wouldWait_;  // the plan's lines for addresses that would wait
  std::set<std::pair<std::string, std::string>> spentTold_;
  int exit_ = kExitOk;
};

// Which of two exit codes to keep: usage, then authentication, then quota, then problems.
[[nodiscard]] int WorseExit(int a, int b);

// A count with its thousands grouped: 12,345.
[[nodiscard]] std::string Grouped(std::int64_t n);

// The reader's words for a state ("not_valid" stays as the interface names it in English).
[[nodiscard]] std::string StateWords(AddressState state);

}  // namespace kestrin::cli
