#include "cli/history/history.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <thread>

#include "cli/history/machine.h"
#include "cli/sources/dates.h"
#include "tests/cli/cli_process.h"

namespace kestrin::cli {
namespace {

std::vector<std::string> Urls(int count, int from = 0) {
  std::vector<std::string> urls;
  for (int i = from; i < from + count; ++i) urls.push_back("https://s.example/" + std::to_string(i));
  return urls;
}

ClaimRequest Request(std::span<const std::string> candidates, std::size_t limit, std::int64_t runStart = 0) {
  ClaimRequest request;
  request.engine = "baidu";
  request.site = "s.example";
  request.candidates = candidates;
  request.limit = limit;
  request.runStartMs = runStart;
  return request;
}

class HistoryTest : public testing::Test {
 protected:
  testsupport::TempFolder folder_;
  std::string path_ = folder_.Path() + "/deep/er/history.sqlite";
};

// The history names the sites one submits for: its folders, the file and its journals are its
// owner's alone.
TEST_F(HistoryTest, ANewHistoryIsReadableByItsOwnerAlone) {
  if (testsupport::kWindows) GTEST_SKIP() << "no file modes: a new history takes the access list of %LOCALAPPDATA%, the user's own";
  History history(path_);
  history.Record("baidu", "s.example", std::vector<AddressOutcome>{{"https://s.example/1", AddressState::kAccepted, ""}});
  const std::pair<std::string, unsigned> cases[] = {
      {folder_.Path() + "/deep", 0700}, {folder_.Path() + "/deep/er", 0700}, {path_, 0600}, {path_ + "-wal", 0600}};
  for (const auto& [path, mode] : cases) {
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0) << path;
    EXPECT_EQ(status.st_mode & 0777, mode) << path;
  }
}

// The one-pass reading agrees with a look-up each, and a claim stops trusting it once another
// run has written to the file: written accepted, or no longer accepted.
TEST_F(HistoryTest, StandingsReadInOnePassYieldToAnotherRunsWrites) {
  History history(path_);
  const auto recorded = Urls(10);
  std::vector<AddressOutcome> outcomes;
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    outcomes.push_back({recorded[i], i % 2 == 0 ? AddressState::kAccepted : AddressState::kFailed, ""});
  }
  history.Record("baidu", "s.example", outcomes);
  // Out of order, with two the history has never seen at both ends of the range.
  const std::vector<std::string> candidates = {recorded[7], "https://s.example/00", recorded[2], recorded[9],
                                               "https://s.example/99", recorded[4], recorded[1]};
  const Standings standings = history.ReadStandings("baidu", candidates, false);
  EXPECT_EQ(standings.flags, (std::vector<char>{kStandingOpen, kStandingOpen, kStandingAccepted, kStandingOpen,
                                                kStandingOpen, kStandingAccepted, kStandingOpen}));
  EXPECT_EQ(history.ReadStandings("baidu", candidates, true).flags, std::vector<char>(candidates.size(), kStandingUnknown));
  EXPECT_EQ(history.ReadStandings("indexnow", candidates, false).flags,
            std::vector<char>(candidates.size(), kStandingOpen));

  ClaimRequest request = Request(candidates, 10, NowMs() + 1);
  request.standings = standings.flags;
  request.standingsVersion = standings.version;
  const Claim before = history.ClaimBatch(request);
  history.Release(before.id);
  EXPECT_EQ(before.urls.size(), 5u);
  EXPECT_EQ(before.accepted, 2u);
  {
    History other(path_);
    other.Record("baidu", "s.example",
                 std::vector<AddressOutcome>{{recorded[7], AddressState::kAccepted, ""},
                                             {recorded[2], AddressState::kFailed, "a forced run failed"}});
  }
  const Claim after = history.ClaimBatch(request);
  EXPECT_EQ(after.urls, (std::vector<std::string>{"https://s.example/00", recorded[2], recorded[9],
                                                  "https://s.example/99", recorded[1]}))
      << "what the other run wrote is looked up, not taken from the reading";
}

// Whatever the candidates' order and likeness, the one pass finds each as a look-up would: those
// recorded accepted are accepted, the rest open, and past the bound on rows read, unknown.
TEST_F(HistoryTest, StandingsReadInOnePassAgreeWithALookUpEach) {
  const std::string base = "https://s.example/";
  std::vector<std::string> many;  // in reverse, of every length from 1 to 4 digits
  for (int i = 2999; i >= 0; --i) many.push_back(base + std::to_string(i));
  std::vector<std::string> spread = {base + "0"};  // two candidates with 1100 recorded rows between
  const std::vector<std::string> between = Urls(1100, 1000);
  spread.push_back(base + "9");
  const struct {
    const char* name;
    std::vector<std::string> recorded;  // accepted at even positions, failed at odd ones
    std::vector<std::string> candidates;
    std::size_t unknownFrom = SIZE_MAX;  // candidates from here on, in sorted order, stay unknown
  } cases[] = {
      {"alike for eight bytes past the shared beginning",
       {base + "aaaaaaaa1", base + "aaaaaaaa", base + "aaaaaaaa2", base + "aaaaaaaa1x"},
       {base + "aaaaaaaa2", base + "b", base + "aaaaaaaa1x", base + "aaaaaaaa", base + "aaaaaaaa1", base + "aaaaaaaa3"}},
      {"bytes above 0x7F sort after the others", {base + "\xE6\x96\x87", base + "z", base + "\xC3\xA9"},
       {base + "\xC3\xA9", base + "z", base + "\xE6\x96\x87", base + "\x7F", base + "\xFF"}},
      {"one candidate, recorded", {base + "a"}, {base + "a"}},
      {"rows past the greatest candidate", Urls(50, 100), {base + "100", base + "101", base + "1"}},
      {"thousands, in reverse", Urls(2000, 500), many},
      {"the bound on rows read reached", between, spread, 1},
  };
  int file = 0;
  for (const auto& row : cases) {
    History history(folder_.Path() + "/standings-" + std::to_string(file++) + ".sqlite");
    std::vector<AddressOutcome> outcomes;
    std::map<std::string, bool> accepted;
    for (std::size_t i = 0; i < row.recorded.size(); ++i) {
      outcomes.push_back({row.recorded[i], i % 2 == 0 ? AddressState::kAccepted : AddressState::kFailed, ""});
      accepted[row.recorded[i]] = i % 2 == 0;
    }
    history.Record("baidu", "s.example", outcomes);
    std::vector<std::string> sorted = row.candidates;
    std::sort(sorted.begin(), sorted.end());
    std::vector<char> expected;
    for (const std::string& url : row.candidates) {
      const auto rank = static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), url) - sorted.begin());
      expected.push_back(rank >= row.unknownFrom ? kStandingUnknown
                         : accepted[url]        ? kStandingAccepted
                                                : kStandingOpen);
    }
    EXPECT_EQ(history.ReadStandings("baidu", row.candidates, false).flags, expected) << row.name;
  }
}

TEST_F(HistoryTest, AcceptedAddressesAreSkippedUnlessForcedAndOtherStatesGoAgain) {
  History history(path_);
  const auto urls = Urls(5);
  const Claim claim = history.ClaimBatch(Request(urls, 10));
  ASSERT_EQ(claim.urls, urls);
  history.Record("baidu", "s.example",
                 std::vector<AddressOutcome>{{urls[0], AddressState::kAccepted, ""},
                                             {urls[1], AddressState::kNotValid, "not_valid"},
                                             {urls[2], AddressState::kFailed, "timed out"},
                                             {urls[3], AddressState::kAccepted, ""},
                                             {urls[4], AddressState::kQueued, "over quota"}},
                 claim.id);
  const std::int64_t later = NowMs() + 1;
  // What a new run may claim, with its claim let go again.
  const auto sendable = [&](std::string_view engine, bool force) {
    ClaimRequest request = Request(urls, 10, later);
    request.engine = engine;
    request.force = force;
    const Claim taken = history.ClaimBatch(request);
    history.Release(taken.id);
    return taken.urls;
  };
  EXPECT_EQ(sendable("baidu", false), (std::vector<std::string>{urls[1], urls[2], urls[4]}));
  EXPECT_EQ(sendable("baidu", true), urls);
  EXPECT_EQ(sendable("indexnow", false), urls);  // a history per engine
  // Forced, a run still skips what was accepted after it started: another run sent it.
  ClaimRequest sameRun = Request(urls, 10, 0);
  sameRun.force = true;
  EXPECT_EQ(history.ClaimBatch(sameRun).urls, (std::vector<std::string>{urls[1], urls[2], urls[4]}));
  EXPECT_EQ(history.Queued("baidu", "s.example").count, 1);
  EXPECT_EQ(history.Queued("baidu", "other.example").count, 0);

  HistoryFilter failed;
  failed.failed = true;
  const auto entries = history.List(failed);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].url, urls[2]);
  EXPECT_EQ(entries[0].reason, "timed out");
}

TEST_F(HistoryTest, AClaimIsHeldWhileItsOwnerLivesAndFreedWhenRecordedOrDead) {
  History first(path_);
  const auto urls = Urls(6);
  const Claim firstClaim = first.ClaimBatch(Request(urls, 2));
  ASSERT_EQ(firstClaim.urls, (std::vector<std::string>{urls[0], urls[1]}));
  History second(path_);  // the same process: the owner is alive
  const Claim rest = second.ClaimBatch(Request(std::span(urls).first(4), 10));
  EXPECT_EQ(rest.urls, (std::vector<std::string>{urls[2], urls[3]}));
  EXPECT_EQ(rest.consumed, 4u);

  // Recorded, the first claim's addresses are their outcomes': the failed one goes again.
  first.Record("baidu", "s.example",
               std::vector<AddressOutcome>{{urls[0], AddressState::kAccepted, ""},
                                           {urls[1], AddressState::kFailed, "timed out"}},
               firstClaim.id);
  // A claim whose process has ended holds nothing, and goes.
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    const std::string sql = "INSERT INTO claim (engine, owner, time, urls) VALUES ('baidu', '" + HostName() +
                            ":2000000000', " + std::to_string(NowMs()) + ", '" + urls[4] + "\n" + urls[5] + "')";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  const Claim third = first.ClaimBatch(Request(urls, 10));
  EXPECT_EQ(third.urls, (std::vector<std::string>{urls[1], urls[4], urls[5]}));
  second.Release(rest.id);
  first.Release(third.id);
  EXPECT_EQ(first.ClaimBatch(Request(urls, 10)).urls.size(), 5u) << "every claim let go";
}

TEST(ClaimAliveTest, OwnersAreCheckedWhereTheyCanBeAndNoClaimOutlivesAnHour) {
  const std::string self = HostName() + ":" + std::to_string(ProcessId());
  const std::int64_t now = NowMs();
  const std::int64_t hour = 3600LL * 1000;
  struct Case {
    const char* name;
    std::string owner;
    std::int64_t claimedMs;
    bool alive;
  };
  const Case cases[] = {
      {"this process", self, now - 1000, true},
      {"this process, an hour ago: a reused number", self, now - hour, false},
      {"a process number above any pid_max", HostName() + ":2000000000", now, false},
      {"another host cannot be checked", "nohost.invalid:1", now - hour + 1000, true},
      {"another host, an hour ago", "nohost.invalid:1", now - hour, false},
      {"no process number", "garbage", now, false},
  };
  for (const Case& row : cases) EXPECT_EQ(ClaimAlive(row.owner, row.claimedMs, now), row.alive) << row.name;
}

TEST_F(HistoryTest, QuotaOfTheDayLimitsAndIsSpentByClaims) {
  History history(path_);
  const auto urls = Urls(10);
  history.SetRemain("baidu", "s.example", 100, 3);
  ClaimRequest request = Request(urls, 2000);
  request.quota = "baidu";
  request.day = 100;
  const Claim claim = history.ClaimBatch(request);
  EXPECT_EQ(claim.urls.size(), 3u);
  EXPECT_TRUE(claim.quotaKnown);
  EXPECT_EQ(history.Remain("baidu", "s.example", 100), 0);
  request.candidates = std::span<const std::string>(urls).subspan(3);
  EXPECT_TRUE(history.ClaimBatch(request).quotaExhausted);
  // The next day nothing is known: the claim takes a whole batch.
  request.day = 101;
  const Claim nextDay = history.ClaimBatch(request);
  EXPECT_FALSE(nextDay.quotaKnown);
  EXPECT_EQ(nextDay.urls.size(), 7u);
  EXPECT_FALSE(history.Remain("baidu-daily", "s.example", 101).has_value());

  // Given back, the count adds to what another run left meanwhile, and never to another day's.
  history.SetRemain("baidu", "s.example", 102, 5);
  const auto fresh = Urls(2, 100);
  request.candidates = fresh;
  request.day = 102;
  const Claim mine = history.ClaimBatch(request);
  History(path_).SetRemain("baidu", "s.example", 102, 1);  // the other run's claim and answer
  history.GiveBack("baidu", "s.example", 102, static_cast<std::int64_t>(mine.urls.size()));
  EXPECT_EQ(history.Remain("baidu", "s.example", 102), 3);
  history.GiveBack("baidu", "s.example", 103, 2);
  EXPECT_FALSE(history.Remain("baidu", "s.example", 103).has_value()) << "past Beijing midnight";
}

// A file the version before wrote gains when each address was first met without a row rewritten,
// and that version goes on writing to it; read alone, a file that is not there stays so.
TEST_F(HistoryTest, AnEarlierVersionsFileKeepsItsRowsAndItsWriter) {
  const auto execute = [&](const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  };
  // The version before's table, and its writes.
  const auto write = [&](const std::string& name, int time) {
    execute("INSERT INTO address (engine, url, site, state, reason, time, position) VALUES ('baidu', "
            "'https://s.example/" + name + "', 's.example', 'queued', '', " + std::to_string(time) +
            ", 0) ON CONFLICT (engine, url) DO UPDATE SET state = excluded.state, time = excluded.time");
  };
  EXPECT_TRUE(History(path_, History::Opening::kReadOnly).Waiting("baidu", "s.example").empty());
  EXPECT_NE(access(path_.c_str(), F_OK), 0) << "a dry run made the history";
  std::filesystem::create_directories(folder_.Path() + "/deep/er");
  execute("CREATE TABLE address (engine TEXT NOT NULL, url TEXT NOT NULL, site TEXT NOT NULL, state TEXT NOT NULL, "
          "reason TEXT NOT NULL DEFAULT '', time INTEGER NOT NULL, position INTEGER NOT NULL DEFAULT 0, "
          "PRIMARY KEY (engine, url)) WITHOUT ROWID");
  write("old", 1000);
  History history(path_);
  write("older-writer", 2000);
  history.Record("baidu", "s.example", std::vector<AddressOutcome>{{"https://s.example/old", AddressState::kQueued, ""}});
  const std::vector<WaitingAddress> waiting = history.Waiting("baidu", "s.example");
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting[0].firstSeenMs + waiting[1].firstSeenMs, 3000) << "the time of the rows written before";
  EXPECT_EQ(history.Queued("baidu", "s.example").oldestMs, 1000);
}

TEST_F(HistoryTest, ClearForgetsWhatTheFilterSelectsAndNoClaim) {
  const auto urls = Urls(4);
  struct Row {
    const char* engine;
    const char* site;
    AddressState state;
  };
  const Row rows[] = {{"baidu", "s.example", AddressState::kAccepted},
                      {"baidu", "s.example", AddressState::kFailed},
                      {"baidu", "t.example", AddressState::kQueued},
                      {"indexnow", "s.example", AddressState::kAccepted}};
  struct Case {
    const char* name;
    HistoryFilter filter;
    std::int64_t cleared;
  };
  HistoryFilter failed;
  failed.failed = true;
  HistoryFilter failedOrQueued = failed;
  failedOrQueued.queued = true;
  HistoryFilter later;
  later.sinceMs = NowMs() + 60000;
  HistoryFilter baiduOnS;
  baiduOnS.engine = "baidu";
  baiduOnS.site = "s.example";
  const Case cases[] = {
      {"everything", {}, 4},       {"failed only", failed, 1},         {"failed or queued", failedOrQueued, 2},
      {"none that late", later, 0}, {"one engine on one site", baiduOnS, 2},
  };
  int round = 0;
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    const std::string path = folder_.Path() + "/clear" + std::to_string(++round) + ".sqlite";
    History history(path);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
      history.Record(rows[i].engine, rows[i].site,
                     std::vector<AddressOutcome>{{urls[i], rows[i].state, "why"}});
    }
    EXPECT_EQ(history.Clear(row.filter), row.cleared);
    EXPECT_EQ(history.List({}).size(), std::size(rows) - static_cast<std::size_t>(row.cleared));
  }

  // A running run's claim outlives a clear: its addresses stay in its hands.
  History history(path_);
  const Claim held = history.ClaimBatch(Request(urls, 2));
  EXPECT_EQ(history.Clear({}), 0);
  EXPECT_EQ(history.ClaimBatch(Request(urls, 10)).urls, (std::vector<std::string>{urls[2], urls[3]}));
  history.Release(held.id);
}

// Two runs creating the history at once: while one holds the write lock of the new file, still in
// rollback mode, the other cannot turn it to WAL and must wait for it rather than give up.
TEST_F(HistoryTest, ConcurrentFirstOpensOfANewFileWaitForEachOther) {
  const std::string path = folder_.Path() + "/new.sqlite";
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread finish([other] {
    usleep(300 * 1000);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  std::string error;
  std::size_t claimed = 0;
  try {
    History history(path);
    claimed = history.ClaimBatch(Request(Urls(3), 10)).urls.size();
  } catch (const HistoryError& failure) {
    error = failure.what();
  }
  finish.join();
  sqlite3_close(other);
  EXPECT_EQ(error, "");
  EXPECT_EQ(claimed, 3u);
}

// Two runs, each with a connection of its own, claiming from the same candidates at once:
// between them every address is claimed exactly once.
TEST_F(HistoryTest, ConcurrentClaimsNeverShareAnAddress) {
  { History create(path_); }
  const auto urls = Urls(3000);
  std::vector<std::string> claimed[2];
  std::vector<std::thread> runs;
  for (int r = 0; r < 2; ++r) {
    runs.emplace_back([&, r] {
      History history(path_);
      for (std::size_t next = 0; next < urls.size();) {
        const Claim claim = history.ClaimBatch(Request(std::span<const std::string>(urls).subspan(next), 100));
        next += claim.consumed;
        claimed[r].insert(claimed[r].end(), claim.urls.begin(), claim.urls.end());
        std::vector<AddressOutcome> outcomes;
        for (const std::string& url : claim.urls) outcomes.push_back({url, AddressState::kAccepted, ""});
        history.Record("baidu", "s.example", outcomes, claim.id);
      }
    });
  }
  for (std::thread& run : runs) run.join();
  std::map<std::string, int> times;
  for (const auto& list : claimed) {
    for (const std::string& url : list) ++times[url];
  }
  EXPECT_EQ(times.size(), urls.size());
  for (const auto& [url, count] : times) EXPECT_EQ(count, 1) << url;
  History check(path_);
  EXPECT_EQ(check.List({}).size(), urls.size());
}

}  // namespace
}  // namespace kestrin::cli
