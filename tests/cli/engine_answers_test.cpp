#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/engines/baidu.h"
#include "cli/engines/indexnow.h"

namespace kestrin::cli {
namespace {

const std::vector<std::string> kBatch{"http://s.example/a", "http://s.example/b", "http://other.example/c"};

// The reply's body as a literal: GCC 12 at -O2 takes strings in a global table of aggregates for
// uninitialised.
struct Reply {
  Transfer transfer;
  int status;
  const char* body;
};

struct BaiduCase {
  const char* name;
  Reply reply;
  bool daily;
  BatchEnd end;
  std::vector<AddressState> states;  // one per address of kBatch; empty for none
  std::optional<std::int64_t> remain;
};

const BaiduCase kBaiduCases[] = {
    {"all accepted", {Transfer::kComplete, 200, R"({"remain":97,"success":3})"}, false, BatchEnd::kAnswered,
     {AddressState::kAccepted, AddressState::kAccepted, AddressState::kAccepted}, 97},
    {"refusals named, the rest covered by the count",
     {Transfer::kComplete, 200, R"({"remain":9,"success":1,"not_same_site":["http://other.example/c"],"not_valid":["http://s.example/b"]})"},
     false, BatchEnd::kAnswered, {AddressState::kAccepted, AddressState::kNotValid, AddressState::kNotSameSite}, 9},
    {"a count short of the rest fails them: which were taken is unknown",
     {Transfer::kComplete, 200, R"({"remain":9,"success":1})"}, false, BatchEnd::kAnswered,
     {AddressState::kFailed, AddressState::kFailed, AddressState::kFailed}, 9},
    {"success 0 is no success", {Transfer::kComplete, 200, R"({"remain":9,"success":0})"}, false, BatchEnd::kAnswered,
     {AddressState::kFailed, AddressState::kFailed, AddressState::kFailed}, 9},
    {"the daily quota's members", {Transfer::kComplete, 200, R"({"remain_daily":7,"success_daily":3})"}, true,
     BatchEnd::kAnswered, {AddressState::kAccepted, AddressState::kAccepted, AddressState::kAccepted}, 7},
    {"over quota takes nothing", {Transfer::kComplete, 400, R"({"error":400,"message":"over quota"})"}, false,
     BatchEnd::kOverQuota, {}, 0},
    {"a bad token stops the run as an authentication failure",
     {Transfer::kComplete, 401, R"({"error":401,"message":"token is not valid"})"}, false, BatchEnd::kAuthFailed,
     {AddressState::kFailed, AddressState::kFailed, AddressState::kFailed}, std::nullopt},
    {"site error stops the run", {Transfer::kComplete, 400, R"({"error":400,"message":"site error"})"}, false,
     BatchEnd::kStop, {AddressState::kFailed, AddressState::kFailed, AddressState::kFailed}, std::nullopt},
    {"a 2xx page that is not JSON", {Transfer::kComplete, 200, "<html>success</html>"}, false, BatchEnd::kAnswered,
     {AddressState::kFailed, AddressState::kFailed, AddressState::kFailed}, std::nullopt},
    {"a timed-out request", {Transfer::kTimedOut, 0, ""}, false, BatchEnd::kStop,
     {AddressState::kFailed, AddressState::kFailed, AddressState::kFailed}, std::nullopt},
};

TEST(ReadBaiduReply, EveryAddressGetsOneStateAndAFailureIsNeverASuccess) {
  for (const BaiduCase& row : kBaiduCases) {
    SCOPED_TRACE(row.name);
    const BatchVerdict verdict = ReadBaiduReply({row.reply.transfer, row.reply.status, row.reply.body}, kBatch, row.daily);
    EXPECT_EQ(verdict.end, row.end);
    EXPECT_EQ(verdict.remain, row.remain);
    std::vector<AddressState> states;
    for (const AddressOutcome& outcome : verdict.outcomes) {
      states.push_back(outcome.state);
      if (outcome.state != AddressState::kAccepted) {
        EXPECT_FALSE(outcome.reason.empty());
      }
    }
    EXPECT_EQ(states, row.states);
  }
}

TEST(BaiduAddress, SiteAndTokenGoInTheQuery) {
  EXPECT_EQ(BaiduAddress("http://data.zz.baidu.com/urls", "https://www.example.com", "ab&c d", true),
            "http://data.zz.baidu.com/urls?site=https://www.example.com&token=ab%26c%20d&type=daily");
  EXPECT_EQ(BaiduBody(kBatch), "http://s.example/a\nhttp://s.example/b\nhttp://other.example/c");
}

struct IndexNowCase {
  int status;
  BatchEnd end;
  AddressState state;
  const char* reasonPart;
};

TEST(ReadIndexNowReply, StatusesHaveTheirMeaning) {
  const IndexNowCase cases[] = {
      {200, BatchEnd::kAnswered, AddressState::kAccepted, ""},
      {202, BatchEnd::kAnswered, AddressState::kAccepted, ""},
      {400, BatchEnd::kStop, AddressState::kFailed, "format"},
      {403, BatchEnd::kAuthFailed, AddressState::kFailed, "key is not valid"},
      {422, BatchEnd::kAnswered, AddressState::kFailed, "do not belong to the host"},
      {429, BatchEnd::kStop, AddressState::kFailed, "too many requests"},
      {503, BatchEnd::kStop, AddressState::kFailed, "HTTP 503"},
  };
  for (const IndexNowCase& row : cases) {
    SCOPED_TRACE(row.status);
    const BatchVerdict verdict = ReadIndexNowReply({Transfer::kComplete, row.status, ""}, kBatch);
    EXPECT_EQ(verdict.end, row.end);
    ASSERT_EQ(verdict.outcomes.size(), kBatch.size());
    EXPECT_EQ(verdict.outcomes[0].state, row.state);
    EXPECT_NE(verdict.outcomes[0].reason.find(row.reasonPart), std::string::npos) << verdict.outcomes[0].reason;
  }
}

TEST(IndexNow, HostsKeysAndKeyFiles) {
  EXPECT_EQ(HostOf("https://User@WWW.Example.com:8443/a?b"), "www.example.com");
  EXPECT_EQ(HostOf("http://[::1]:80/"), "[::1]");
  EXPECT_TRUE(ValidIndexNowKey("abcd-1234"));
  EXPECT_FALSE(ValidIndexNowKey("short"));
  EXPECT_FALSE(ValidIndexNowKey("has space 12345"));
  const auto serving = [](std::string body, int status) {
    return [body, status](const std::string&) { return HttpReply{Transfer::kComplete, status, body}; };
  };
  EXPECT_EQ(CheckKeyFile("https://h/k.txt", "key12345", serving("key12345\r\n", 200)), "");
  EXPECT_NE(CheckKeyFile("https://h/k.txt", "key12345", serving("other", 200)), "");
  EXPECT_NE(CheckKeyFile("https://h/k.txt", "key12345", serving("key12345", 404)), "");
}

}  // namespace
}  // namespace kestrin::cli
