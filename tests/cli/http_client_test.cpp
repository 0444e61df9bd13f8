#include "cli/http_client.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/raw_server.h"

namespace kestrin::cli {
namespace {

using testsupport::RawConnection;
using testsupport::RawServer;

constexpr HttpLimits kShort{.timeoutMs = 500, .maxBodyBytes = 1024};

// What each way a request can end becomes: the cases retries tell apart.
TEST(HttpPost, EachEndingHasItsOwnTransfer) {
  RawServer silent(testsupport::scripts::Silent());
  RawServer hangsUp([](RawConnection& connection) { connection.ReadHead(); });
  RawServer busy(testsupport::scripts::Answer("HTTP/1.1 503 Busy\r\nContent-Length: 4\r\n\r\nbusy"));
  RawServer large(
      testsupport::scripts::Answer("HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n" + std::string(2000, 'x')));
  int closedPort = 0;
  {
    RawServer gone(testsupport::scripts::Silent());
    closedPort = gone.Port();
  }

  struct Case {
    const char* name;
    std::string address;
    Transfer transfer;
    int status;
  };
  const Case cases[] = {
      {"a server that never answers", silent.Url("/urls"), Transfer::kTimedOut, 0},
      {"a server that hangs up without an answer", hangsUp.Url("/urls"), Transfer::kBroken, 0},
      {"nobody listening", "http://127.0.0.1:" + std::to_string(closedPort) + "/urls", Transfer::kConnectFailed, 0},
      {"an answer, whatever its status", busy.Url("/urls"), Transfer::kComplete, 503},
      {"an answer over the cap", large.Url("/urls"), Transfer::kTooLarge, 200},
      {"an address with a line break is never sent", busy.Url("/urls\r\nX: y"), Transfer::kFailed, 0},
  };
  for (const Case& row : cases) {
    const HttpReply reply = HttpPost(row.address, "text/plain", "http://s.example/a", kShort);
    EXPECT_EQ(reply.transfer, row.transfer) << row.name << ": " << DescribeReply(reply);
    EXPECT_EQ(reply.status, row.status) << row.name;
  }
}

}  // namespace
}  // namespace kestrin::cli
