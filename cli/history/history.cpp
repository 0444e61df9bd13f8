#include "cli/history/history.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <utility>

#include "cli/console/messages.h"
#include "cli/history/machine.h"
#include "cli/sources/dates.h"
#include "cli/sources/files.h"

namespace kestrin::cli {
namespace {

// A claim covers one request: four attempts of at most a minute each and their waits.
constexpr std::int64_t kClaimLifetimeMs = 3600LL * 1000;
// How long a run waits for another run's lock before it gives up.
constexpr int kBusyTimeoutMs = 60000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS address (
  engine TEXT NOT NULL,
  url TEXT NOT NULL,
  site TEXT NOT NULL,
  state TEXT NOT NULL,
  reason TEXT NOT NULL DEFAULT '',
  time INTEGER NOT NULL,
  position INTEGER NOT NULL DEFAULT 0,  -- order among the addresses marked at one time
  PRIMARY KEY (engine, url)
) WITHOUT ROWID;
-- Only the queue is looked up by state; an index of the queued rows alone costs the other writes
-- nothing.
CREATE INDEX IF NOT EXISTS address_queue ON address (engine, site, time, position) WHERE state = 'queued';
-- The addresses a run has in hand while its request is out, one row per request rather than a
-- write per address.
CREATE TABLE IF NOT EXISTS claim (
  id INTEGER PRIMARY KEY,
  engine TEXT NOT NULL,
  owner TEXT NOT NULL,
  time INTEGER NOT NULL,
  urls TEXT NOT NULL  -- one per line
);
CREATE TABLE IF NOT EXISTS quota (
  quota TEXT NOT NULL,
  site TEXT NOT NULL,
  day INTEGER NOT NULL,
  remain INTEGER NOT NULL,
  PRIMARY KEY (quota, site)
) WITHOUT ROWID;
)sql";

// Puts the file in WAL mode. On a new file this upgrades a read lock to a write lock, and SQLite
// answers "busy" at once rather than wait there (two waiting upgrades would deadlock): two runs
// creating the history together meet exactly so. The loser tries again until the winner is done.
void SwitchToWal(sqlite3* db) {
  const auto keepMode = [](void* mode, int, char** values, char**) {
    *static_cast<std::string*>(mode) = values[0] != nullptr ? values[0] : "";
    return 0;
  };
  const std::int64_t deadline = NowMs() + kBusyTimeoutMs;
  for (int pauseMs = 1;; pauseMs = std::min(pauseMs * 2, 50)) {
    std::string mode;
    const int status = sqlite3_exec(db, "PRAGMA journal_mode=WAL", keepMode, &mode, nullptr);
    if (status == SQLITE_OK) {
      if (mode != "wal") throw HistoryError("WAL mode refused");
      return;
    }
    if ((status & 0xff) != SQLITE_BUSY || NowMs() >= deadline) throw HistoryError(sqlite3_errmsg(db));
    sqlite3_sleep(pauseMs);
  }
}

// The candidates' positions in the order of their texts. The addresses of one site share a long
// beginning; eight bytes past it, as one number, settle most comparisons. Those numbers are sorted
// a byte at a time (a byte all of them share costs nothing), which for a long list is several
// times quicker than comparing; only runs of equal numbers are then sorted by their whole texts.
std::vector<std::uint32_t> SortedOrder(std::span<const std::string> texts) {
  std::size_t shared = texts.front().size();
  for (const std::string& text : texts) {
    shared = std::min(shared, text.size());
    while (shared > 0 && text.compare(0, shared, texts.front(), 0, shared) != 0) --shared;
  }
  struct Keyed {
    std::uint64_t key;
    std::uint32_t index;
  };
  std::vector<Keyed> keyed(texts.size());
  std::array<std::array<std::uint32_t, 256>, 8> counts{};
  for (std::uint32_t i = 0; i < texts.size(); ++i) {
    // The bytes in order, past the end as 0, read as one big-endian number.
    unsigned char bytes[8] = {};
    const std::string& text = texts[i];
    std::memcpy(bytes, text.data() + shared, std::min<std::size_t>(8, text.size() - shared));
    std::uint64_t key = 0;
    for (const unsigned char byte : bytes) key = key << 8 | byte;
    keyed[i] = {key, i};
    for (std::size_t b = 0; b < 8; ++b) ++counts[b][(key >> (8 * b)) & 0xFF];
  }
  std::vector<Keyed> spare(keyed.size());
  for (std::size_t b = 0; b < 8; ++b) {
    std::array<std::uint32_t, 256>& count = counts[b];
    if (count[(keyed.front().key >> (8 * b)) & 0xFF] == keyed.size()) continue;
    std::uint32_t start = 0;
    for (std::uint32_t& bucket : count) start += std::exchange(bucket, start);
    for (const Keyed& item : keyed) spare[count[(item.key >> (8 * b)) & 0xFF]++] = item;
    keyed.swap(spare);
  }
  for (auto run = keyed.begin(); run != keyed.end();) {
    const auto end = std::find_if(run, keyed.end(), [&](const Keyed& item) { return item.key != run->key; });
    if (end - run > 1) {
      std::sort(run, end, [&](const Keyed& a, const Keyed& b) { return texts[a.index] < texts[b.index]; });
    }
    run = end;
  }
  std::vector<std::uint32_t> order(texts.size());
  for (std::size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].index;
  return order;
}

}  // namespace

bool ClaimAlive(std::string_view owner, std::int64_t claimedMs, std::int64_t nowMs) {
  if (nowMs - claimedMs >= kClaimLifetimeMs) return false;
  const auto colon = owner.rfind(':');
  if (colon == std::string_view::npos) return false;
  if (owner.substr(0, colon) != HostName()) return true;
  const long pid = std::strtol(std::string(owner.substr(colon + 1)).c_str(), nullptr, 10);
  return pid > 0 && ProcessRunning(pid);
}

History::History(const std::string& path, Opening opening) : owner_(HostName() + ":" + std::to_string(ProcessId())) {
  // SQLite counts every allocation under a global lock unless told not to before it starts; the
  // tool reads no such figures, and a push makes thousands of them.
  [[maybe_unused]] static const int configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  if (opening == Opening::kReadOnly) {
    OpenToRead(path);
    return;
  }
  if (opening == Opening::kCreate) {
    MakePrivateFile(path);
  } else if (!Exists(path)) {
    throw NoHistory(Tr("no history at {}", "没有历史记录：{}", {path}));
  }
  const int create = opening == Opening::kCreate ? SQLITE_OPEN_CREATE : 0;
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | create | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw HistoryError(path + ": " + message);
  }
  try {
    // Runs that start together wait for each other rather than fail.
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    SwitchToWal(db_);
    Execute(db_, "PRAGMA synchronous=NORMAL");
    Transaction transaction(db_);
    CreateTables();
    transaction.Commit();
    lookup_ = std::make_unique<Statement>(db_, "SELECT state, time FROM address WHERE engine = ? AND url = ?");
    upsert_ = std::make_unique<Statement>(
        db_,
        "INSERT INTO address (engine, url, site, state, reason, time, position, first) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?6) "
        "ON CONFLICT (engine, url) DO UPDATE SET site = excluded.site, state = excluded.state, "
        "reason = excluded.reason, time = excluded.time, position = excluded.position, "
        "first = CASE address.first WHEN 0 THEN address.time ELSE address.first END");
  } catch (const HistoryError& error) {
    lookup_.reset();
    upsert_.reset();
    sqlite3_close(db_);
    throw HistoryError(path + ": " + error.what());
  }
}

void History::CreateTables() {
  Execute(db_, kSchema);
  AddFirstSeen();
}

History::~History() {
  lookup_.reset();
  upsert_.reset();
  sqlite3_close(db_);
}

History::Transaction::Transaction(sqlite3* db) : db_(db) { Execute(db_, "BEGIN IMMEDIATE"); }
History::Transaction::~Transaction() {
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}
void History::Transaction::Commit() { Execute(db_, "COMMIT"); }

void History::LoadHeld(std::string_view engine) {
  held_.clear();
  heldClaims_.clear();
  std::vector<std::int64_t> dead;
  {
    Statement select(db_, "SELECT id, owner, time, urls FROM claim WHERE engine = ?");
    select.Bind(engine);
    const std::int64_t now = NowMs();
    while (select.Step()) {
      if (ClaimAlive(select.TextView(1), select.Number(2), now)) {
        heldClaims_.push_back(select.Text(3));
      } else {
        dead.push_back(select.Number(0));
      }
    }
  }
  for (const std::int64_t id : dead) {
    Statement remove(db_, "DELETE FROM claim WHERE id = ?");
    remove.Bind(id).Run();
  }
  for (const std::string& urls : heldClaims_) {
    std::string_view rest = urls;
    while (!rest.empty()) {
      const auto end = rest.find('\n');
      held_.insert(rest.substr(0, end));
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }
}

History::Standing History::StandingOf(std::string_view engine, const std::string& url, bool force,
                                      std::int64_t runStartMs) {
  lookup_->Bind(engine).Bind(url);
  bool accepted = false;
  if (lookup_->Step() && lookup_->TextView(0) == "accepted") {
    accepted = !(force && lookup_->Number(1) < runStartMs);
  }
  lookup_->Reset();
  if (accepted) return Standing::kAccepted;
  return held_.contains(url) ? Standing::kHeld : Standing::kSendable;
}

std::int64_t History::DataVersion() {
  Statement version(db_, "PRAGMA data_version");
  return version.Step() ? version.Number(0) : 0;
}

Standings History::ReadStandings(std::string_view engine, std::span<const std::string> candidates, bool force) {
  Standings standings;
  standings.flags.assign(candidates.size(), kStandingUnknown);
  if (force || candidates.empty()) return standings;
  standings.version = DataVersion();
  const std::vector<std::uint32_t> order = SortedOrder(candidates);
  // Rows between the candidates that are no candidate cost a step each: a few times as many
  // as there are candidates still beats a look-up each, more would not.
  const std::int64_t bound = static_cast<std::int64_t>(candidates.size()) * 4 + 1000;
  // The range ends where the greatest candidate is passed, which the loop sees: an upper bound in
  // the query, and the state compared there, would cost SQLite more per row than the rest.
  Statement scan(db_, "SELECT url, state FROM address WHERE engine = ? AND url >= ? ORDER BY url LIMIT ?");
  scan.Bind(engine).Bind(candidates[order.front()]).Bind(bound);
  std::size_t next = 0;
  std::int64_t rows = 0;
  while (next < order.size() && scan.Step()) {
    ++rows;
    const std::string_view url = scan.TextView(0);
    for (; next < order.size() && std::string_view(candidates[order[next]]) < url; ++next) {
      standings.flags[order[next]] = kStandingOpen;
    }
    for (; next < order.size() && std::string_view(candidates[order[next]]) == url; ++next) {
      standings.flags[order[next]] = scan.TextView(1) == "accepted" ? kStandingAccepted : kStandingOpen;
    }
  }
  // Cut off by the bound, the scan says nothing of the candidates past its last row.
  if (rows < bound) {
    for (; next < order.size(); ++next) standings.flags[order[next]] = kStandingOpen;
  }
  return standings;
}

Claim History::ClaimBatch(const ClaimRequest& request) {
  Claim claim;
  Transaction transaction(db_);
  {
    std::size_t limit = request.limit;
    std::optional<std::int64_t> remain;
    if (!request.quota.empty()) {
      remain = Remain(request.quota, request.site, request.day);
      if (remain && *remain <= 0) {
        claim.quotaExhausted = true;
        transaction.Commit();
        return claim;
      }
      claim.quotaKnown = remain.has_value();
      if (remain) limit = static_cast<std::size_t>(std::min<std::int64_t>(*remain, static_cast<std::int64_t>(limit)));
    }
    LoadHeld(request.engine);
    const bool read = !request.standings.empty();
    const bool fresh = read && DataVersion() == request.standingsVersion;
    std::string text;
    for (; claim.consumed < request.candidates.size() && claim.urls.size() < limit; ++claim.consumed) {
      const std::string& url = request.candidates[claim.consumed];
      const char known = read ? request.standings[claim.consumed] : kStandingUnknown;
      Standing standing = Standing::kSendable;
      if (known == kStandingAccepted && fresh) {
        standing = Standing::kAccepted;
      } else if (known == kStandingOpen && fresh) {
        standing = held_.contains(url) ? Standing::kHeld : Standing::kSendable;
      } else {
        standing = StandingOf(request.engine, url, request.force, request.runStartMs);
      }
      if (standing == Standing::kAccepted) ++claim.accepted;
      if (standing != Standing::kSendable) continue;
      claim.urls.push_back(url);
      text += url;
      text += '\n';
    }
    if (!claim.urls.empty()) {
      text.pop_back();
      Statement insert(db_, "INSERT INTO claim (engine, owner, time, urls) VALUES (?, ?, ?, ?)");
      insert.Bind(request.engine).Bind(owner_).Bind(NowMs()).Bind(text).Run();
      claim.id = sqlite3_last_insert_rowid(db_);
    }
    // The claim spends the quota at once, so an overlapping run does not count on it too; the
    // interface's own figure replaces it when the answer comes.
    if (remain) {
      SetRemain(request.quota, request.site, request.day, *remain - static_cast<std::int64_t>(claim.urls.size()));
    }
    transaction.Commit();
  }
  return claim;
}

Marked History::MarkSendable(std::string_view engine, std::string_view site, std::span<const std::string> candidates,
                             bool force, std::int64_t runStartMs, AddressState state, std::string_view reason) {
  Marked marked;
  Transaction transaction(db_);
  LoadHeld(engine);
  {
    const std::int64_t now = NowMs();
    for (const std::string& url : candidates) {
      const Standing standing = StandingOf(engine, url, force, runStartMs);
      if (standing == Standing::kAccepted) ++marked.accepted;
      if (standing != Standing::kSendable) continue;
      upsert_->Bind(engine).Bind(url).Bind(site).Bind(StateName(state)).Bind(reason).Bind(now);
      upsert_->Bind(static_cast<std::int64_t>(marked.urls.size()));
      upsert_->Run();
      marked.urls.push_back(url);
    }
    transaction.Commit();
  }
  return marked;
}

void History::Record(std::string_view engine, std::string_view site, std::span<const AddressOutcome> outcomes,
                     std::int64_t claimId) {
  Transaction transaction(db_);
  {
    const std::int64_t now = NowMs();
    // In key order, each write lands next to the one before: the tree is walked far less.
    std::vector<std::size_t> order(outcomes.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return outcomes[a].url < outcomes[b].url; });
    for (const std::size_t i : order) {
      const AddressOutcome& outcome = outcomes[i];
      upsert_->Bind(engine).Bind(outcome.url).Bind(site).Bind(StateName(outcome.state)).Bind(outcome.reason);
      upsert_->Bind(now).Bind(static_cast<std::int64_t>(i));
      upsert_->Run();
    }
    if (claimId != 0) {
      Statement remove(db_, "DELETE FROM claim WHERE id = ?");
      remove.Bind(claimId).Run();
    }
    transaction.Commit();
  }
}

void History::Release(std::int64_t claimId) {
  if (claimId == 0) return;
  Statement remove(db_, "DELETE FROM claim WHERE id = ?");
  remove.Bind(claimId).Run();
}

std::optional<std::int64_t> History::Remain(std::string_view quota, std::string_view site, int day) {
  Statement select(db_, "SELECT remain FROM quota WHERE quota = ? AND site = ? AND day = ?");
  select.Bind(quota).Bind(site).Bind(std::int64_t{day});
  if (!select.Step()) return std::nullopt;
  return select.Number(0);
}

void History::SetRemain(std::string_view quota, std::string_view site, int day, std::int64_t remain) {
  Statement upsert(db_,
                   "INSERT INTO quota (quota, site, day, remain) VALUES (?, ?, ?, ?) "
                   "ON CONFLICT (quota, site) DO UPDATE SET day = excluded.day, remain = excluded.remain");
  upsert.Bind(quota).Bind(site).Bind(std::int64_t{day}).Bind(std::max<std::int64_t>(remain, 0));
  upsert.Run();
}

void History::GiveBack(std::string_view quota, std::string_view site, int day, std::int64_t count) {
  Statement update(db_, "UPDATE quota SET remain = remain + ? WHERE quota = ? AND site = ? AND day = ?");
  update.Bind(count).Bind(quota).Bind(site).Bind(std::int64_t{day}).Run();
}

namespace {

// The WHERE clause of a filter; its parameters are bound by BindFilter in the same order.
std::string FilterSql(const HistoryFilter& filter) {
  std::string sql = " WHERE time >= ?";
  std::string states;
  if (filter.failed) states += ", 'failed'";
  if (filter.queued) states += ", 'queued'";
  if (filter.refused) states += ", 'not_valid', 'not_same_site'";
  if (!states.empty()) sql += " AND state IN (" + states.substr(2) + ")";
  if (!filter.engine.empty()) sql += " AND engine = ?";
  if (!filter.site.empty()) sql += " AND site = ?";
  return sql;
}

void BindFilter(Statement& statement, const HistoryFilter& filter) {
  statement.Bind(filter.sinceMs.value_or(std::numeric_limits<std::int64_t>::min()));
  if (!filter.engine.empty()) statement.Bind(filter.engine);
  if (!filter.site.empty()) statement.Bind(filter.site);
}

}  // namespace

std::vector<HistoryEntry> History::List(const HistoryFilter& filter) {
  Statement select(db_, "SELECT url, engine, site, state, reason, time FROM address" + FilterSql(filter) +
                            " ORDER BY time, engine, url");
  BindFilter(select, filter);
  std::vector<HistoryEntry> entries;
  while (select.Step()) {
    entries.push_back({select.Text(0), select.Text(1), select.Text(2), select.Text(3), select.Text(4),
                       select.Number(5)});
  }
  return entries;
}

std::int64_t History::Clear(const HistoryFilter& filter) {
  Statement remove(db_, "DELETE FROM address" + FilterSql(filter));
  BindFilter(remove, filter);
  remove.Run();
  return sqlite3_changes64(db_);
}

}  // namespace kestrin::cli
