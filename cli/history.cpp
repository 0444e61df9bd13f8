#include "cli/history.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace kestrin::cli {
namespace {

constexpr std::int64_t kForeignClaimLifetimeMs = 6LL * 3600 * 1000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS address (
  engine TEXT NOT NULL,
  url TEXT NOT NULL,
  site TEXT NOT NULL,
  state TEXT NOT NULL,
  reason TEXT NOT NULL DEFAULT '',
  time INTEGER NOT NULL,
  owner TEXT NOT NULL DEFAULT '',
  position INTEGER NOT NULL DEFAULT 0,  -- order among the addresses marked at one time
  PRIMARY KEY (engine, url)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS address_by_state ON address (state, engine, site, time);
CREATE TABLE IF NOT EXISTS quota (
  quota TEXT NOT NULL,
  site TEXT NOT NULL,
  day INTEGER NOT NULL,
  remain INTEGER NOT NULL,
  PRIMARY KEY (quota, site)
) WITHOUT ROWID;
)sql";

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

// mkdir -p with private folders: the history names the sites one submits for.
void MakeFolders(const std::string& path) {
  for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    const std::string folder = path.substr(0, at);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

}  // namespace

std::int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

std::string DefaultHistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/.local/state";
  }
  return base + "/kestrin/history.sqlite";
}

bool ClaimAlive(std::string_view owner, std::int64_t claimedMs, std::int64_t nowMs) {
  const auto colon = owner.rfind(':');
  if (colon == std::string_view::npos) return false;
  if (owner.substr(0, colon) != HostName()) return nowMs - claimedMs < kForeignClaimLifetimeMs;
  const long pid = std::strtol(std::string(owner.substr(colon + 1)).c_str(), nullptr, 10);
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

History::History(const std::string& path) : owner_(HostName() + ":" + std::to_string(getpid())) {
  MakeFolders(path);
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw HistoryError(path + ": " + message);
  }
  try {
    // Runs that start together wait for each other rather than fail.
    sqlite3_busy_timeout(db_, 60000);
    {
      Statement wal(db_, "PRAGMA journal_mode=WAL");
      if (!wal.Step() || wal.Text(0) != "wal") throw HistoryError("WAL mode refused");
    }
    Execute(db_, "PRAGMA synchronous=NORMAL");
    Begin();
    Execute(db_, kSchema);
    Commit();
    lookup_ = std::make_unique<Statement>(db_, "SELECT state, time, owner FROM address WHERE engine = ? AND url = ?");
    upsert_ = std::make_unique<Statement>(
        db_,
        "INSERT INTO address (engine, url, site, state, reason, time, owner, position) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (engine, url) DO UPDATE SET site = excluded.site, state = excluded.state, "
        "reason = excluded.reason, time = excluded.time, owner = excluded.owner, position = excluded.position");
  } catch (const HistoryError& error) {
    Rollback();
    lookup_.reset();
    upsert_.reset();
    sqlite3_close(db_);
    throw HistoryError(path + ": " + error.what());
  }
}

History::~History() {
  lookup_.reset();
  upsert_.reset();
  sqlite3_close(db_);
}

// IMMEDIATE takes the write lock at once: a claim reads and writes in one step, and two runs
// must not both read an address as free.
void History::Begin() { Execute(db_, "BEGIN IMMEDIATE"); }
void History::Commit() { Execute(db_, "COMMIT"); }
void History::Rollback() noexcept {
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

History::Sendable History::Check(std::string_view engine, const std::string& url, bool force,
                                 std::int64_t runStartMs) {
  lookup_->Bind(engine).Bind(url);
  Sendable verdict = Sendable::kYes;
  if (lookup_->Step()) {
    const std::string state = lookup_->Text(0);
    const std::int64_t time = lookup_->Number(1);
    if (state == "accepted" && (!force || time >= runStartMs)) {
      verdict = Sendable::kAcceptedBefore;
    } else if (state == "sending" && ClaimAlive(lookup_->Text(2), time, NowMs())) {
      verdict = Sendable::kInOtherHands;
    }
  }
  lookup_->Reset();
  return verdict;
}

std::vector<std::string> History::Queued(std::string_view engine, std::string_view site) {
  Statement select(db_,
                   "SELECT url FROM address WHERE state = 'queued' AND engine = ? AND site = ? ORDER BY time, position");
  select.Bind(engine).Bind(site);
  std::vector<std::string> urls;
  while (select.Step()) urls.push_back(select.Text(0));
  return urls;
}

std::vector<std::string> History::Unsent(std::string_view engine, std::span<const std::string> candidates,
                                         bool force, std::int64_t runStartMs) {
  std::vector<std::string> unsent;
  Execute(db_, "BEGIN");  // one read snapshot instead of one per address
  try {
    for (const std::string& url : candidates) {
      if (Check(engine, url, force, runStartMs) == Sendable::kYes) unsent.push_back(url);
    }
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
  return unsent;
}

Claim History::ClaimBatch(const ClaimRequest& request) {
  Claim claim;
  Begin();
  try {
    std::size_t limit = request.limit;
    std::optional<std::int64_t> remain;
    if (!request.quota.empty()) {
      remain = Remain(request.quota, request.site, request.day);
      if (remain && *remain <= 0) {
        claim.quotaExhausted = true;
        Commit();
        return claim;
      }
      claim.quotaKnown = remain.has_value();
      if (remain) limit = static_cast<std::size_t>(std::min<std::int64_t>(*remain, static_cast<std::int64_t>(limit)));
    }
    const std::int64_t now = NowMs();
    for (; claim.consumed < request.candidates.size() && claim.urls.size() < limit; ++claim.consumed) {
      const std::string& url = request.candidates[claim.consumed];
      if (Check(request.engine, url, request.force, request.runStartMs) != Sendable::kYes) continue;
      upsert_->Bind(request.engine).Bind(url).Bind(request.site).Bind("sending").Bind("").Bind(now);
      upsert_->Bind(owner_).Bind(std::int64_t{0});
      upsert_->Run();
      claim.urls.push_back(url);
    }
    // The claim spends the quota at once, so an overlapping run does not count on it too; the
    // interface's own figure replaces it when the answer comes.
    if (remain) {
      SetRemain(request.quota, request.site, request.day, *remain - static_cast<std::int64_t>(claim.urls.size()));
    }
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
  return claim;
}

std::vector<std::string> History::MarkSendable(std::string_view engine, std::string_view site,
                                               std::span<const std::string> candidates, bool force,
                                               std::int64_t runStartMs, AddressState state,
                                               std::string_view reason) {
  std::vector<std::string> marked;
  Begin();
  try {
    const std::int64_t now = NowMs();
    for (const std::string& url : candidates) {
      if (Check(engine, url, force, runStartMs) != Sendable::kYes) continue;
      upsert_->Bind(engine).Bind(url).Bind(site).Bind(StateName(state)).Bind(reason).Bind(now).Bind("");
      upsert_->Bind(static_cast<std::int64_t>(marked.size()));
      upsert_->Run();
      marked.push_back(url);
    }
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
  return marked;
}

void History::Record(std::string_view engine, std::string_view site, std::span<const AddressOutcome> outcomes) {
  Begin();
  try {
    const std::int64_t now = NowMs();
    std::int64_t position = 0;
    for (const AddressOutcome& outcome : outcomes) {
      upsert_->Bind(engine).Bind(outcome.url).Bind(site).Bind(StateName(outcome.state)).Bind(outcome.reason);
      upsert_->Bind(now).Bind("").Bind(position++);
      upsert_->Run();
    }
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
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

std::vector<HistoryEntry> History::List(const HistoryFilter& filter) {
  std::string sql = "SELECT url, engine, site, state, reason, time FROM address WHERE time >= ?";
  if (filter.failed && filter.queued) {
    sql += " AND state IN ('failed', 'queued')";
  } else if (filter.failed) {
    sql += " AND state = 'failed'";
  } else if (filter.queued) {
    sql += " AND state = 'queued'";
  }
  sql += " ORDER BY time, engine, url";
  Statement select(db_, sql);
  select.Bind(filter.sinceMs.value_or(0));
  std::vector<HistoryEntry> entries;
  while (select.Step()) {
    entries.push_back({select.Text(0), select.Text(1), select.Text(2), select.Text(3), select.Text(4),
                       select.Number(5)});
  }
  return entries;
}

}  // namespace kestrin::cli
