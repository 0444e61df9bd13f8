#include "cli/net/retry.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace kestrin::cli {
namespace {

struct RetryableCase {
  const char* name;
  HttpReply reply;
  bool retryable;
};

TEST(Retryable, TimeOutsConnectionErrors429And5xxGoAgain) {
  const RetryableCase cases[] = {
      {"accepted", {Transfer::kComplete, 200, ""}, false},
      {"refused for the token", {Transfer::kComplete, 401, ""}, false},
      {"other 4xx", {Transfer::kComplete, 400, ""}, false},
      {"too many requests", {Transfer::kComplete, 429, ""}, true},
      {"internal error", {Transfer::kComplete, 500, ""}, true},
      {"unavailable", {Transfer::kComplete, 503, ""}, true},
      {"timed out", {Transfer::kTimedOut, 0, ""}, true},
      {"connection refused", {Transfer::kConnectFailed, 0, ""}, true},
      {"connection closed without an answer", {Transfer::kBroken, 0, ""}, true},
      {"an answer over its cap would be as large again", {Transfer::kTooLarge, 0, ""}, false},
      {"never sent", {Transfer::kFailed, 0, ""}, false},
      {"a certificate refused stays refused", {Transfer::kTlsFailed, 0, ""}, false},
  };
  for (const RetryableCase& row : cases) EXPECT_EQ(Retryable(row.reply), row.retryable) << row.name;
}

struct SendCase {
  const char* name;
  std::vector<int> statuses;  // answered in turn; 0 is a time-out
  int sends;
  int lastStatus;
};

TEST(SendWithRetries, AtMostFourSendsWithWaitsOfAboutOneTwoAndFourSeconds) {
  const SendCase cases[] = {
      {"accepted at once", {200}, 1, 200},
      {"not retried", {401, 200}, 1, 401},
      {"accepted on the third send", {500, 0, 200}, 3, 200},
      {"still failing after four sends", {500, 429, 0, 503, 200}, 4, 503},
  };
  const RetryPolicy policy;  // the tool's: 4 attempts from 1 s
  for (const SendCase& row : cases) {
    SCOPED_TRACE(row.name);
    std::deque<int> statuses(row.statuses.begin(), row.statuses.end());
    int sends = 0;
    std::vector<std::int64_t> waits;
    const HttpReply last = SendWithRetries(
        [&] {
          ++sends;
          const int status = statuses.front();
          statuses.pop_front();
          return status == 0 ? HttpReply{Transfer::kTimedOut, 0, ""} : HttpReply{Transfer::kComplete, status, ""};
        },
        policy, [&](std::int64_t ms) { waits.push_back(ms); });
    EXPECT_EQ(sends, row.sends);
    EXPECT_EQ(last.status, row.lastStatus);
    ASSERT_EQ(waits.size(), static_cast<std::size_t>(row.sends - 1));
    for (std::size_t i = 0; i < waits.size(); ++i) {
      const std::int64_t full = std::int64_t{1000} << i;
      EXPECT_GE(waits[i], full * 3 / 4) << "wait " << i;
      EXPECT_LE(waits[i], full * 5 / 4) << "wait " << i;
    }
  }
}

TEST(BackoffMs, JitterSpreadsAroundTheDoublingDelay) {
  const RetryPolicy policy;
  EXPECT_EQ(BackoffMs(policy, 2, 0.0), 750);
  EXPECT_EQ(BackoffMs(policy, 2, 0.5), 1000);
  EXPECT_EQ(BackoffMs(policy, 3, 0.5), 2000);
  EXPECT_EQ(BackoffMs(policy, 4, 0.5), 4000);
  EXPECT_LT(BackoffMs(policy, 4, 0.9999), 5000);
}

}  // namespace
}  // namespace kestrin::cli
