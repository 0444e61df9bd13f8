#include "cli/history.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <thread>

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
                                             {urls[4], AddressState::kQueued, "over quota"}});
  const std::int64_t later = NowMs() + 1;
  EXPECT_EQ(history.Unsent("baidu", urls, false, later), (std::vector<std::string>{urls[1], urls[2], urls[4]}));
  EXPECT_EQ(history.Unsent("baidu", urls, true, later), urls);
  EXPECT_EQ(history.Unsent("indexnow", urls, false, later), urls);  // a history per engine
  EXPECT_EQ(history.Queued("baidu", "s.example"), (std::vector<std::string>{urls[4]}));
  EXPECT_TRUE(history.Queued("baidu", "other.example").empty());

  HistoryFilter failed;
  failed.failed = true;
  const auto entries = history.List(failed);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].url, urls[2]);
  EXPECT_EQ(entries[0].reason, "timed out");
}

TEST_F(HistoryTest, AClaimIsHeldWhileItsOwnerLivesAndFreedWhenItDies) {
  History first(path_);
  const auto urls = Urls(4);
  ASSERT_EQ(first.ClaimBatch(Request(urls, 2)).urls, (std::vector<std::string>{urls[0], urls[1]}));
  History second(path_);  // the same process: the owner is alive
  const Claim rest = second.ClaimBatch(Request(urls, 10));
  EXPECT_EQ(rest.urls, (std::vector<std::string>{urls[2], urls[3]}));
  EXPECT_EQ(rest.consumed, 4u);

  EXPECT_TRUE(ClaimAlive("nohost.invalid:1", NowMs() - 1000, NowMs()));
  EXPECT_FALSE(ClaimAlive("nohost.invalid:1", NowMs() - 7LL * 3600 * 1000, NowMs()));
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_TRUE(ClaimAlive(std::string(host) + ":" + std::to_string(getpid()), 0, NowMs()));
  // A process number far above any pid_max.
  EXPECT_FALSE(ClaimAlive(std::string(host) + ":2000000000", NowMs(), NowMs()));
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
}

TEST_F(HistoryTest, QueuedAddressesKeepTheirOrder) {
  History history(path_);
  const std::vector<std::string> urls{"https://s.example/z", "https://s.example/a", "https://s.example/m"};
  EXPECT_EQ(history.MarkSendable("baidu", "s.example", urls, false, 0, AddressState::kQueued, "quota"), urls);
  EXPECT_EQ(history.Queued("baidu", "s.example"), urls);
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
        history.Record("baidu", "s.example", outcomes);
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
