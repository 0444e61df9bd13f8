#include "cli/net/http_client.h"

#include <gtest/gtest.h>

#include <thread>

#include "cli/sources/dates.h"
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
  const testsupport::RefusedPort noListener;

  struct Case {
    const char* name;
    std::string address;
    Transfer transfer;
    int status;
  };
  const Case cases[] = {
      {"a server that never answers", silent.Url("/urls"), Transfer::kTimedOut, 0},
      {"a server that hangs up without an answer", hangsUp.Url("/urls"), Transfer::kBroken, 0},
      {"nobody listening", "http://127.0.0.1:" + std::to_string(noListener.Port()) + "/urls", Transfer::kConnectFailed, 0},
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

// The proxy a request takes, as curl chooses it.
TEST(ProxyFor, AsCurlReadsTheVariables) {
  const ProxyEnvironment none{};
  const ProxyEnvironment both{.http = "http://p:1", .https = "http://s:2", .all = "", .no = ""};
  const ProxyEnvironment all{.http = "", .https = "", .all = "socks5://a:3", .no = ""};
  const ProxyEnvironment except{.http = "http://p:1", .https = "", .all = "", .no = " .Example.com, 10.0.0.1 "};
  const ProxyEnvironment star{.http = "http://p:1", .https = "", .all = "", .no = "*"};
  const struct {
    const char* name;
    const char* address;
    const char* explicitProxy;
    const ProxyEnvironment& environment;
    const char* proxy;
  } cases[] = {
      {"nothing set: direct", "http://www.example.com/", "", none, ""},
      {"http by http_proxy", "http://www.example.com/", "", both, "http://p:1"},
      {"https by https_proxy", "HTTPS://www.example.com/", "", both, "http://s:2"},
      {"all_proxy when the scheme's is unset", "https://www.example.com/", "", all, "socks5://a:3"},
      {"--proxy over the variables", "https://www.example.com/", "http://x:9", both, "http://x:9"},
      {"no_proxy: a domain and its hosts", "http://www.EXAMPLE.com:8080/a", "", except, ""},
      {"no_proxy: the domain itself", "http://example.com/a", "", except, ""},
      {"no_proxy: not a suffix of a longer name", "http://notexample.com/a", "", except, "http://p:1"},
      {"no_proxy: an address", "http://10.0.0.1/a", "", except, ""},
      {"no_proxy applies to --proxy too", "http://example.com/", "http://x:9", except, ""},
      {"no_proxy *", "http://anything.example/", "", star, ""},
      {"a user name is not the host", "http://example.com@other.example/", "", except, "http://p:1"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(ProxyFor(row.address, row.explicitProxy, row.environment), row.proxy) << row.name;
  }
}

// Every request of a run, the sitemap's streamed ones too, goes by the run's proxy and ends by
// its deadline, on the clock that a changed wall clock does not move.
TEST(RouteFor, TheRunsProxyAndWhatIsLeftOfItsDeadline) {
  const std::int64_t now = SteadyMs();
  const struct {
    const char* name;
    const char* proxy;
    std::int64_t deadlineIn;  // from now; 0: no deadline
    std::int64_t limit;
    std::int64_t atLeast, atMost;
  } cases[] = {
      {"no deadline: the request's own limit", "", 0, 60000, 60000, 60000},
      {"--proxy for every request", "http://x:9", 0, 1000, 1000, 1000},
      {"a near deadline cuts the limit", "", 5000, 60000, 1, 5000},
      {"a far deadline leaves it", "", 600000, 60000, 60000, 60000},
      {"a deadline passed leaves nothing", "", -1000, 60000, 0, 0},
  };
  for (const auto& row : cases) {
    SetNetworkSettings(row.proxy, row.deadlineIn == 0 ? 0 : now + row.deadlineIn);
    const RequestRoute route = RouteFor("http://www.example.com/a", row.limit);
    EXPECT_EQ(route.proxy, row.proxy) << row.name;
    EXPECT_GE(route.timeoutMs, row.atLeast) << row.name;
    EXPECT_LE(route.timeoutMs, row.atMost) << row.name;
  }
  SetNetworkSettings("", 0);
}

}  // namespace
}  // namespace kestrin::cli
