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
#include <unordered_set>
#include <vector>

#include "cli/engines/address_state.h"
#include "cli/history/sqlite_statement.h"

namespace kestrin::cli {

// $XDG_STATE_HOME/kestrin/history.sqlite, $XDG_STATE_HOME defaulting to ~/.local/state.
[[nodiscard]] std::string DefaultHistoryPath();

// One address as the history keeps it: the latest outcome per engine.
struct HistoryEntry {
  std::string url;
  std::string engine;
  std::string site;
  std::string state;  // a StateName
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
  // When not empty, what ReadStandings found of each candidate, taken without a look-up of its
  // own while no other run has written to the file since (`standingsVersion`): another run may
  // accept an address, or lower one accepted (a failed --force, history --clear). Once one has
  // written, and for the unknown, each is looked up as ever.
  std::span<const char> standings;
  std::int64_t standingsVersion = 0;
  // The quota that limits the claim and is lowered by it, for the Beijing day `day`; empty for
  // an engine without one.
  std::string_view quota;
  int day = 0;
};

struct Claim {
  std::int64_t id = 0;            // the claim's row while it is held; 0 when nothing was claimed
  std::vector<std::string> urls;  // now this run's to send, in candidate order
  std::size_t consumed = 0;       // candidates looked at, claimed or skipped
  std::size_t accepted = 0;       // of those, skipped as accepted before
  bool quotaExhausted = false;    // the known remain for the day is 0: nothing was claimed
  bool quotaKnown = false;        // a remain for the day limited the claim
};

// What ReadStandings found, one flag per candidate.
inline constexpr char kStandingUnknown = 0;
inline constexpr char kStandingAccepted = 1;
inline constexpr char kStandingOpen = 2;      // not accepted: not in the history, or in another state
struct Standings {
  std::vector<char> flags;
  std::int64_t version = 0;  // the file's data version when read: it changes when another run writes
};

struct Marked {
  std::vector<std::string> urls;  // the candidates marked, in order
  std::size_t accepted = 0;       // candidates left alone as accepted before
};

// An address the history holds and has not seen accepted on an engine: queued, failed or refused.
struct WaitingAddress {
  std::string url;
  std::int64_t firstSeenMs = 0;  // when the history first met it
  bool queued = false;
};

// The addresses queued for a site on an engine.
struct Backlog {
  std::int64_t count = 0;
  std::int64_t oldestMs = 0;  // when the history first met the oldest of them; 0 when none wait
};

// Which entries `history` lists or clears. Every condition given must hold.
struct HistoryFilter {
  std::optional<std::int64_t> sinceMs;
  bool failed = false;  // with queued or refused: any of them; none: every state
  bool queued = false;
  bool refused = false;  // not_valid and not_same_site; with the others: any of the states asked
  std::string engine;   // empty: every engine
  std::string site;     // empty: every site (an IndexNow entry's site is its host)
};

class History {
 public:
  enum class Opening { kCreate, kExisting, kReadOnly };
  // Opens the file in WAL mode; with kCreate, makes it (readable by its owner alone) and its
  // folders when they are not there. Throws HistoryError; NoHistory when kExisting finds none.
  // kReadOnly writes nothing, not even a missing file: one that is not there reads as empty.
  explicit History(const std::string& path, Opening opening = Opening::kCreate);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // What the history holds of each candidate on `engine`, read in one ordered pass over its rows
  // between the least and the greatest candidate, which costs far less per address than a
  // look-up each. Past a bound on the rows read, the rest stay unknown; with `force` all do.
  [[nodiscard]] Standings ReadStandings(std::string_view engine, std::span<const std::string> candidates, bool force);

  // The addresses of `site` on `engine` that were met and not accepted, in the order first met
  // (history_order.cpp).
  [[nodiscard]] std::vector<WaitingAddress> Waiting(std::string_view engine, std::string_view site);
  [[nodiscard]] Backlog Queued(std::string_view engine, std::string_view site);
  // Which candidates are accepted on `engine` (never with `force`), one flag each, looking up
  // those ReadStandings leaves unknown; it writes nothing.
  [[nodiscard]] std::vector<char> AcceptedAmong(std::string_view engine, std::span<const std::string> candidates,
                                                bool force);
  // Takes up to `limit` sendable candidates in one transaction: neither accepted before (unless
  // `force`, and then not since `runStartMs`) nor held by another live run's claim. The claim is
  // one row, so that a run overlapping on the same file skips them until Record or Release.
  [[nodiscard]] Claim ClaimBatch(const ClaimRequest& request);
  // Gives every sendable candidate the state `state` with `reason` (queued when the quota is
  // spent, failed when the run must stop), in one transaction; returns those it marked.
  [[nodiscard]] Marked MarkSendable(std::string_view engine, std::string_view site,
                                                      std::span<const std::string> candidates, bool force,
                                                      std::int64_t runStartMs, AddressState state,
                                                      std::string_view reason);
  // Writes outcomes and lets go of claim `claimId` (0: none), in one transaction.
  void Record(std::string_view engine, std::string_view site, std::span<const AddressOutcome> outcomes,
              std::int64_t claimId = 0);
  // Lets go of a claim without recording anything: its addresses are free again.
  void Release(std::int64_t claimId);

  // The remain last known for `day`; none for an older day or none known.
  [[nodiscard]] std::optional<std::int64_t> Remain(std::string_view quota, std::string_view site, int day);
  void SetRemain(std::string_view quota, std::string_view site, int day, std::int64_t remain);
  // Adds `count` back to the remain of `day` in one statement, so that a claim another run made
  // meanwhile stays spent; nothing when the remain known is of another day, or none is.
  void GiveBack(std::string_view quota, std::string_view site, int day, std::int64_t count);

  // The entries the filter selects, oldest first.
  [[nodiscard]] std::vector<HistoryEntry> List(const HistoryFilter& filter);
  // Forgets the entries the filter selects, so that their addresses count as never sent; returns
  // how many. Claims of running runs and the remembered quotas stay.
  std::int64_t Clear(const HistoryFilter& filter);

 private:
  // The addresses held by other runs' live claims on `engine`; dead claims are dropped. Call
  // inside a write transaction.
  void LoadHeld(std::string_view engine);
  enum class Standing { kSendable, kAccepted, kHeld };
  Standing StandingOf(std::string_view engine, const std::string& url, bool force, std::int64_t runStartMs);

  // A file opened to read alone, or an empty history in memory when there is none (history_order.cpp).
  void OpenToRead(const std::string& path);
  void CreateTables();
  // Adds what files of earlier versions lack: when each address was first met (0 in rows that
  // versions without it write, which read their time instead) and an index of what waits. Call
  // inside a write transaction.
  void AddFirstSeen();

  // PRAGMA data_version: the same until another connection commits a change.
  std::int64_t DataVersion();
  // One write transaction: begun at once (IMMEDIATE, so that two runs never both read an address
  // as free), rolled back unless committed.
  class Transaction {
   public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    void Commit();

   private:
    sqlite3* db_;
  };

  sqlite3* db_ = nullptr;
  std::string owner_;  // "host:pid", written on this run's claims
  std::unique_ptr<Statement> lookup_;
  std::unique_ptr<Statement> upsert_;
  // What a row's first sighting reads as: its own column, or on a file opened read-only that
  // lacks it, its time.
  std::string firstSeen_ = "CASE first WHEN 0 THEN time ELSE first END";
  std::vector<std::string> heldClaims_;  // the claim texts the held set points into
  std::unordered_set<std::string_view> held_;
};

// Whether a claim written as "host:pid" at `claimedMs` still has a running owner: one on this
// host whose process lives, or one on another host, which cannot be checked. No request takes an
// hour, so an older claim is dead either way (and a reused process number does not keep it).
[[nodiscard]] bool ClaimAlive(std::string_view owner, std::int64_t claimedMs, std::int64_t nowMs);

}  // namespace kestrin::cli
