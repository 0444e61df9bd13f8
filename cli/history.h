// What was sent where, and what came of it: a SQLite file in WAL mode shared by every run, so
// that cron runs overlapping on one file send each address once between them.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/address_state.h"
#include "cli/sqlite_statement.h"

namespace kestrin::cli {

// $XDG_STATE_HOME/kestrin/history.sqlite, $XDG_STATE_HOME defaulting to ~/.local/state.
[[nodiscard]] std::string DefaultHistoryPath();

// One address as the history keeps it: the latest outcome per engine.
struct HistoryEntry {
  std::string url;
  std::string engine;
  std::string site;
  std::string state;  // a StateName, or "sending" while a run has it in hand
  std::string reason;
  std::int64_t timeMs = 0;  // Unix time of the outcome, in milliseconds
};

// What a run asks to take in hand before a request.
struct ClaimRequest {
  std::string_view engine;
  std::string_view site;
  std::span<const std::string> candidates;  // in sending order, without duplicates
  std::size_t limit = 0;                     // at most this many
  bool force = false;                        // also addresses accepted before this run
  std::int64_t runStartMs = 0;
  // The quota that limits the claim and is lowered by it, for the Beijing day `day`; empty for
  // an engine without one.
  std::string_view quota;
  int day = 0;
};

struct Claim {
  std::vector<std::string> urls;  // now this run's to send, in candidate order
  std::size_t consumed = 0;       // candidates looked at, claimed or skipped
  bool quotaExhausted = false;    // the known remain for the day is 0: nothing was claimed
  bool quotaKnown = false;        // a remain for the day limited the claim
};

struct HistoryFilter {
  std::optional<std::int64_t> sinceMs;
  bool failed = false;  // with queued: either state; neither: every entry
  bool queued = false;
};

class History {
 public:
  // Opens or creates the file (and its folder), in WAL mode; throws HistoryError.
  explicit History(const std::string& path);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // The addresses queued for `site` on `engine`, oldest first.
  [[nodiscard]] std::vector<std::string> Queued(std::string_view engine, std::string_view site);
  // The candidates that a run may send: neither accepted before (unless `force`) nor in the
  // hands of another live run. Reads only.
  [[nodiscard]] std::vector<std::string> Unsent(std::string_view engine, std::span<const std::string> candidates,
                                                bool force, std::int64_t runStartMs);
  // Takes up to `limit` sendable candidates in one transaction, marking them as sent by this
  // run, so that a run overlapping on the same file skips them.
  [[nodiscard]] Claim ClaimBatch(const ClaimRequest& request);
  // Gives every sendable candidate the state `state` with `reason` (queued when the quota is
  // spent, failed when the run must stop), in one transaction; returns those it marked.
  [[nodiscard]] std::vector<std::string> MarkSendable(std::string_view engine, std::string_view site,
                                                      std::span<const std::string> candidates, bool force,
                                                      std::int64_t runStartMs, AddressState state,
                                                      std::string_view reason);
  // Writes outcomes, claimed or not, in one transaction.
  void Record(std::string_view engine, std::string_view site, std::span<const AddressOutcome> outcomes);

  // The remain last known for `day`; none for an older day or none known.
  [[nodiscard]] std::optional<std::int64_t> Remain(std::string_view quota, std::string_view site, int day);
  void SetRemain(std::string_view quota, std::string_view site, int day, std::int64_t remain);

  [[nodiscard]] std::vector<HistoryEntry> List(const HistoryFilter& filter);

 private:
  enum class Sendable { kYes, kAcceptedBefore, kInOtherHands };
  Sendable Check(std::string_view engine, const std::string& url, bool force, std::int64_t runStartMs);
  void Begin();
  void Commit();
  void Rollback() noexcept;

  sqlite3* db_ = nullptr;
  std::string owner_;  // "host:pid", written on the addresses this run has in hand
  std::unique_ptr<Statement> lookup_;
  std::unique_ptr<Statement> upsert_;
};

// Whether a claim written as "host:pid" still has a running owner. Claims of other hosts, which
// cannot be checked, are trusted for six hours.
[[nodiscard]] bool ClaimAlive(std::string_view owner, std::int64_t claimedMs, std::int64_t nowMs);

// Unix time in milliseconds.
[[nodiscard]] std::int64_t NowMs();

}  // namespace kestrin::cli
