// What the history tells of the order a run sends in: what was met before and when, and what waits.
#include "cli/history/history.h"
#include "cli/sources/files.h"

namespace kestrin::cli {
namespace {

// Whether the file has the column of first meetings, which only a run that writes adds.
bool HasFirstSeen(sqlite3* db) {
  Statement column(db, "SELECT count(*) FROM pragma_table_info('address') WHERE name = 'first'");
  return column.Step() && column.Number(0) > 0;
}

}  // namespace

void History::OpenToRead(const std::string& path) {
  // Through the files' twin: on Windows a UTF-8 name that the C runtime's stat would not find.
  const bool there = Exists(path);
  const int flags = (there ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(there ? path.c_str() : ":memory:", &db_, flags, nullptr) != SQLITE_OK) {
    std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw HistoryError(path + ": " + message);
  }
  try {
    sqlite3_busy_timeout(db_, 60000);
    if (!there) return CreateTables();
    // A file an earlier version wrote, which only a run that writes brings up to date.
    if (!HasFirstSeen(db_)) firstSeen_ = "time";
  } catch (const HistoryError& error) {
    sqlite3_close(db_);
    throw HistoryError(path + ": " + error.what());
  }
}

void History::AddFirstSeen() {
  // A column added with a constant default rewrites no row, and versions that name the columns
  // they write go on working with it.
  if (!HasFirstSeen(db_)) Execute(db_, "ALTER TABLE address ADD COLUMN first INTEGER NOT NULL DEFAULT 0");
  Execute(db_,
          "CREATE INDEX IF NOT EXISTS address_waiting ON address (engine, site, state, first, time) "
          "WHERE state != 'accepted'");
}

std::vector<WaitingAddress> History::Waiting(std::string_view engine, std::string_view site) {
  Statement select(db_, "SELECT url, state, " + firstSeen_ +
                            " FROM address WHERE engine = ? AND site = ? AND state != 'accepted' ORDER BY 3, url");
  select.Bind(engine).Bind(site);
  std::vector<WaitingAddress> waiting;
  while (select.Step()) waiting.push_back({select.Text(0), select.Number(2), select.TextView(1) == "queued"});
  return waiting;
}

Backlog History::Queued(std::string_view engine, std::string_view site) {
  Statement select(db_, "SELECT count(*), min(" + firstSeen_ +
                            ") FROM address WHERE engine = ? AND site = ? AND state != 'accepted' "
                            "AND state = 'queued'");  // the first test lets the partial index serve
  select.Bind(engine).Bind(site);
  Backlog backlog;
  if (select.Step() && !select.IsNull(1)) backlog = {select.Number(0), select.Number(1)};
  return backlog;
}

std::vector<char> History::AcceptedAmong(std::string_view engine, std::span<const std::string> candidates, bool force) {
  std::vector<char> accepted(candidates.size(), 0);
  if (force || candidates.empty()) return accepted;
  const Standings standings = ReadStandings(engine, candidates, false);
  Statement lookup(db_, "SELECT state = 'accepted' FROM address WHERE engine = ? AND url = ?");
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (standings.flags[i] == kStandingUnknown) {
      lookup.Bind(engine).Bind(candidates[i]);
      accepted[i] = lookup.Step() && lookup.Number(0) != 0;
      lookup.Reset();
    } else {
      accepted[i] = standings.flags[i] == kStandingAccepted;
    }
  }
  return accepted;
}

}  // namespace kestrin::cli
