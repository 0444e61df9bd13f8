#include "web/web_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "runtime/text_ops.h"
#include "tests/support/http_server.h"
#include "tests/support/raw_server.h"
#include "web/transport.h"

namespace kestrin {
namespace {

using testsupport::HttpServer;
using testsupport::RawConnection;
using testsupport::RawServer;
using testsupport::RecordedRequest;

constexpr const char* kDefaultAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The transport underneath: WinINet on Windows (run under Wine), libcurl on Linux. Where the two
// put different bytes on the wire, the row says so.
#if defined(_WIN32)
constexpr bool kWinInet = true;
#else
constexpr bool kWinInet = false;
#endif

std::string AsString(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every "%A" in `pattern` replaced by `address`.
std::string WithAddress(std::string pattern, const std::string& address) {
  for (std::size_t at = pattern.find("%A"); at != std::string::npos; at = pattern.find("%A", at + address.size())) {
    pattern.replace(at, 2, address);
  }
  return pattern;
}

std::vector<std::string> WithAddress(const std::vector<std::string>& lines, const std::string& address) {
  std::vector<std::string> out;
  for (const std::string& line : lines) out.push_back(WithAddress(line, address));
  return out;
}

class WebRequestTest : public ::testing::Test {
 protected:
  HttpServer server_;
};

TEST_F(WebRequestTest, MethodOutsideTheKnownThreeIsGet) {
  struct Row {
    int method;
    const char* sent;
  };
  const Row rows[] = {{0, "GET"}, {1, "POST"}, {2, "HEAD"}, {3, "GET"}, {7, "GET"}, {-1, "GET"}};
  server_.Reply("/m", {.body = "ok"});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    WebRequestOptions options;
    options.method = row.method;
    (void)WebRequest(server_.Url("/m"), options);
    EXPECT_EQ(server_.LastRequest().requestLine, std::string(row.sent) + " /m HTTP/1.1");
  }
}

TEST_F(WebRequestTest, PlainGetSendsExactlyTheFourDefaultLines) {
  server_.Reply("/x", {.body = "page"});
  // Host in capitals: the connection goes to it in lower case; the Referer keeps the address as given.
  const std::string address = "HTTP://LOCALHOST:" + std::to_string(server_.Port()) + "/x?y=1";
  const WebResponse response = WebRequest(address);

  EXPECT_EQ(AsString(response.body), "page");
  const RecordedRequest sent = server_.LastRequest();
  EXPECT_EQ(sent.requestLine, "GET /x?y=1 HTTP/1.1");
  const std::vector<std::string> expected = {
      "Host: localhost:" + std::to_string(server_.Port()),
      kDefaultAgentLine,
      "Accept: */*",
      "Referer: " + address,
      "Accept-Language: zh-cn",
      "Content-Type: application/x-www-form-urlencoded",
  };
  EXPECT_EQ(sent.headerLines, expected);
  EXPECT_EQ(response.requestHeaders, "Accept: */*\r\nReferer: " + address +
                                         "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");
}

TEST_F(WebRequestTest, CallerHeaderLinesAreCompletedCaseSensitively) {
  struct Row {
    const char* name;
    const char* headers;
    const char* completed;           // %A: the address
    std::vector<std::string> lines;  // as sent after the Host line; %A: the address
    std::optional<std::vector<std::string>> winInetLines{};  // when WinINet sends other lines
  };
  const std::string ct = "Content-Type: application/x-www-form-urlencoded";
  const Row rows[] = {
      // WinINet keeps one line per header name in any case: the later value takes the earlier
      // line's place, and the caller's line is not sent.
      {"lower-case accept does not count",
       "accept: text/html",
       "accept: text/html\r\nAccept: */*\r\nReferer: %A\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded",
       {kDefaultAgentLine, "accept: text/html", "Accept: */*", "Referer: %A", "Accept-Language: zh-cn", ct},
       std::vector<std::string>{kDefaultAgentLine, "Accept: */*", "Referer: %A", "Accept-Language: zh-cn", ct}},
      {"Accept-Language is not Accept",
       "Accept-Language: en",
       "Accept-Language: en\r\nAccept: */*\r\nReferer: %A\r\nContent-Type: application/x-www-form-urlencoded",
       {kDefaultAgentLine, "Accept-Language: en", "Accept: */*", "Referer: %A", ct}},
      {"the caller's own lines are kept and not repeated",
       "Referer: http://from/\r\nContent-Type: text/plain\r\nAccept: a/b",
       "Referer: http://from/\r\nContent-Type: text/plain\r\nAccept: a/b\r\nAccept-Language: zh-cn",
       {kDefaultAgentLine, "Referer: http://from/", "Content-Type: text/plain", "Accept: a/b",
        "Accept-Language: zh-cn"}},
      {"an agent line in any case replaces the default agent",
       "user-agent: Foo",
       "user-agent: Foo\r\nAccept: */*\r\nReferer: %A\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded",
       {"user-agent: Foo", "Accept: */*", "Referer: %A", "Accept-Language: zh-cn", ct}},
      {"the agent is cut between User-Agent: and the next CR LF",
       "X-Note: see User-Agent: Bar\r\nAccept: a/b",
       "X-Note: see User-Agent: Bar\r\nAccept: a/b\r\nReferer: %A\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded",
       {"User-Agent: Bar", "X-Note: see User-Agent: Bar", "Accept: a/b", "Referer: %A", "Accept-Language: zh-cn", ct}},
      {"an agent on the last line takes only that line",
       "Accept: a/b\r\nX-Client-User-Agent: Foo",
       "Accept: a/b\r\nX-Client-User-Agent: Foo\r\nReferer: %A\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded",
       {"User-Agent: Foo", "Accept: a/b", "X-Client-User-Agent: Foo", "Referer: %A", "Accept-Language: zh-cn", ct}},
      // Wine's WinINet writes every caller line as name, colon, one space and value.
      {"a line with an empty value is still sent",
       "X-Empty:",
       "X-Empty:\r\nAccept: */*\r\nReferer: %A\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded",
       {kDefaultAgentLine, "X-Empty:", "Accept: */*", "Referer: %A", "Accept-Language: zh-cn", ct},
       std::vector<std::string>{kDefaultAgentLine, "X-Empty: ", "Accept: */*", "Referer: %A", "Accept-Language: zh-cn",
                                ct}},
  };
  server_.Reply("/h", {.body = "ok"});
  const std::string address = server_.Url("/h");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WebRequestOptions options;
    options.headers = row.headers;
    const WebResponse response = WebRequest(address, options);
    EXPECT_EQ(response.requestHeaders, WithAddress(row.completed, address));
    std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server_.Port())};
    const std::vector<std::string>& lines = kWinInet && row.winInetLines ? *row.winInetLines : row.lines;
    for (const std::string& line : WithAddress(lines, address)) expected.push_back(line);
    EXPECT_EQ(server_.LastRequest().headerLines, expected);
  }
}

TEST_F(WebRequestTest, BodiesFollowTheMethod) {
  struct Row {
    const char* name;
    int method;
    std::string textBody;
    ByteBuffer byteBody;
    std::string sent;
    std::optional<std::string> contentLength;
  };
  const Row rows[] = {
      {"GET ignores a given body", 0, "a=1", {'b'}, "", std::nullopt},
      {"POST with nothing sends length 0", 1, "", {}, "", "0"},
      {"POST sends the text body's bytes", 1, "http://site/a.html", {}, "http://site/a.html", "18"},
      {"POST prefers the byte body, NULs and all", 1, "unused", {'x', 0, 'y'}, std::string("x\0y", 3), "3"},
      {"HEAD sends a given body", 2, "q=1", {}, "q=1", "3"},
      // Wine's WinINet announces the empty body of a HEAD.
      {"HEAD without a body sends none", 2, "", {}, "", kWinInet ? std::optional<std::string>("0") : std::nullopt},
  };
  server_.Reply("/b", {.body = "answer"});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WebRequestOptions options;
    options.method = row.method;
    options.textBody = row.textBody;
    options.byteBody = row.byteBody;
    const WebResponse response = WebRequest(server_.Url("/b"), options);
    const RecordedRequest sent = server_.LastRequest();
    EXPECT_EQ(sent.body, row.sent);
    EXPECT_EQ(sent.Header("Content-Length"), row.contentLength);
    EXPECT_EQ(sent.HeaderCount("Expect"), 0);
    EXPECT_EQ(AsString(response.body), row.method == 2 ? "" : "answer");
    if (row.method != 0) {
      EXPECT_EQ(AsString(response.byteBodySent), row.sent);
    }
  }
}

TEST_F(WebRequestTest, LargePostGoesOutWithoutWaitingForContinue) {
  server_.Answer("/size", [](const RecordedRequest& request) {
    return testsupport::ScriptedReply{.body = std::to_string(request.body.size()), .contentType = "text/plain"};
  });
  WebRequestOptions options;
  options.method = 1;
  options.textBody = std::string(3 << 20, 'u');
  const WebResponse response = WebRequest(server_.Url("/size"), options);
  EXPECT_EQ(AsString(response.body), std::to_string(3 << 20)) << response.responseHeaders;
  EXPECT_EQ(server_.LastRequest().HeaderCount("Expect"), 0);
}

TEST_F(WebRequestTest, SetCookieLinesAreRespelledAndTheirItemsCollected) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::string>> headers;
    const char* received;
    std::vector<std::string> shownLines;
  };
  // Paths keep these cookies out of other tests' requests: the store serves the whole process.
  const Row rows[] = {
      {"both spellings",
       {{"Set-Cookie", "a=1; path=/rows/"}, {"set-cookie", "b=2"}},
       "a=1; b=2",
       {"Set-Cookie: a=1; path=/rows/\r\n", "Set-Cookie: b=2\r\n"}},
      {"any case", {{"SET-COOKIE", "c=3; Path=/rows/; HttpOnly"}}, "c=3", {"Set-Cookie: c=3; Path=/rows/; HttpOnly\r\n"}},
      {"no cookie at all", {{"X-Other", "1"}}, "", {"X-Other: 1\r\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server_.Reply("/rows/r", {.headers = row.headers, .body = "b"});
    const WebResponse response = WebRequest(server_.Url("/rows/r"));
    EXPECT_EQ(response.receivedCookies, row.received);
    EXPECT_TRUE(response.responseHeaders.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(response.responseHeaders.ends_with("\r\n\r\n"));
    EXPECT_EQ(FindText(response.responseHeaders, "et-cookie", std::nullopt, false), -1);
    for (const std::string& line : row.shownLines) EXPECT_NE(response.responseHeaders.find(line), std::string::npos) << line;
  }
}

TEST(WebRequestHeaderBlock, OnlyABlockThatFitsWithItsNulIsCaptured) {
  struct Row {
    std::size_t blockSize;
    bool captured;
  };
  const Row rows[] = {{4999, true}, {5000, false}, {5001, false}, {100 * 1024, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.blockSize);
    // Pad lines of 4000 bytes: curl refuses a single header line beyond its own limit.
    std::string block = "HTTP/1.1 200 OK\r\nSet-Cookie: big=1; Path=/nowhere/\r\nContent-Length: 4\r\nX-Pad: ";
    const std::size_t padEnd = row.blockSize - 4;
    while (padEnd - block.size() > 4000 + 9) block += std::string(4000, 'p') + "\r\nX-Pad: ";
    block += std::string(padEnd - block.size(), 'p') + "\r\n\r\n";
    ASSERT_EQ(block.size(), row.blockSize);
    RawServer server([&block](RawConnection& connection) {
      connection.ReadHead();
      connection.Send(block + "body");
    });
    const WebResponse response = WebRequest(server.Url("/big"));
    EXPECT_EQ(AsString(response.body), "body");
    EXPECT_EQ(response.responseHeaders, row.captured ? block : std::string(5000, ' '));
    EXPECT_EQ(response.receivedCookies, row.captured ? "big=1" : "");
  }
}

TEST(WebRequestFailure, NothingReachedGivesAnEmptyBody) {
  struct Row {
    const char* name;
    std::string address;
    bool requestOpened;  // the header text is completed only once a request exists
    TransferOutcome outcome;
  };
  const Row rows[] = {
      {"connection refused", "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/x", true,
       TransferOutcome::kConnectFailed},
      {"no host", "http:///x", false, TransferOutcome::kNotSent},
      {"port out of range", "http://127.0.0.1:70000/x", false, TransferOutcome::kNotSent},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Text cookies = "keep=1";
    WebRequestOptions options;
    options.headers = "X-A: 1";
    const WebResponse response = WebRequest(row.address, options, &cookies);
    EXPECT_TRUE(response.body.empty());
    EXPECT_EQ(response.outcome, row.outcome);
    EXPECT_EQ(response.status, 0);
    EXPECT_EQ(response.receivedCookies, "");
    if (row.requestOpened) {
      EXPECT_EQ(response.responseHeaders, std::string(5000, ' '));
      EXPECT_TRUE(response.requestHeaders.starts_with("X-A: 1\r\nAccept: */*\r\n"));
      EXPECT_EQ(cookies, "keep=1");
    } else {
      EXPECT_EQ(response.responseHeaders, "");
      EXPECT_EQ(response.requestHeaders, "X-A: 1");
      EXPECT_EQ(cookies, "keep=1");
    }
  }
}

TEST_F(WebRequestTest, GivenCookiesAreSentAndMergedWithTheReceivedOnes) {
  struct Row {
    const char* name;
    const char* cookies;
    const char* setCookie;
    std::optional<std::string> cookieLine;
    const char* merged;
    const char* received;
  };
  const Row rows[] = {
      {"a received value replaces the old one", "a=1; b=2", "a=3", "a=1; b=2", "a=3; b=2", "a=3"},
      {"a deleted cookie disappears", "a=1; b=2", "a=deleted; path=/", "a=1; b=2", "b=2", "a=deleted"},
      {"an empty cookie text sends no line", "", "sid=9", std::nullopt, "sid=9", "sid=9"},
      {"spaces go from both texts", "x=hello world", "n=1 2", "x=hello world", "n=12; x=helloworld", "n=12"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server_.Reply("/merge", {.headers = {{"Set-Cookie", row.setCookie}}, .body = "m"});
    Text cookies = row.cookies;
    const WebResponse response = WebRequest(server_.Url("/merge"), {}, &cookies);
    EXPECT_EQ(server_.LastRequest().Header("Cookie"), row.cookieLine);
    EXPECT_EQ(server_.LastRequest().HeaderCount("Cookie"), row.cookieLine ? 1 : 0);
    EXPECT_EQ(cookies, row.merged);
    EXPECT_EQ(response.receivedCookies, row.received);
  }
}

TEST_F(WebRequestTest, TheProcessCookieStoreServesOnlyCallsWithoutCookies) {
  server_.Reply("/store/set", {.headers = {{"Set-Cookie", "shared=1; Path=/store/"}}, .body = "set"});
  server_.Reply("/store/private", {.headers = {{"Set-Cookie", "private=2; Path=/store/"}}, .body = "set"});
  server_.Reply("/store/echo", {.body = "echo"});
  const std::string echo = server_.Url("/store/echo");

  (void)WebRequest(server_.Url("/store/set"));
  (void)WebRequest(echo);
  EXPECT_EQ(server_.LastRequest().Header("Cookie"), "shared=1");

  Text none;
  (void)WebRequest(echo, {}, &none);
  EXPECT_EQ(server_.LastRequest().HeaderCount("Cookie"), 0);

  Text mine;
  (void)WebRequest(server_.Url("/store/private"), {}, &mine);
  EXPECT_EQ(mine, "private=2");
  (void)WebRequest(echo);
  EXPECT_EQ(server_.LastRequest().Header("Cookie"), "shared=1");
}

TEST_F(WebRequestTest, RedirectsAreFollowedUnlessSwitchedOff) {
  struct Row {
    const char* name;
    int method;
    const char* start;
    bool noRedirect;
    const char* body;
    std::vector<std::string> seen;  // request lines at the server, in order
    const char* finalBody;          // the body the last request carried
    const char* status;
  };
  const Row rows[] = {
      {"GET through a 302", 0, "/302", false, "final", {"GET /302 HTTP/1.1", "GET /final HTTP/1.1"}, "", "302"},
      {"GET stopping at the 302", 0, "/302", true, "moved", {"GET /302 HTTP/1.1"}, "", "302"},
      {"POST through a 301 goes on as GET", 1, "/301", false, "final",
       {"POST /301 HTTP/1.1", "GET /final HTTP/1.1"}, "", "301"},
      {"POST through a 302 goes on as GET", 1, "/302", false, "final",
       {"POST /302 HTTP/1.1", "GET /final HTTP/1.1"}, "", "302"},
      {"POST through a 303 goes on as GET", 1, "/303", false, "final",
       {"POST /303 HTTP/1.1", "GET /final HTTP/1.1"}, "", "303"},
      {"POST through a 307 stays POST", 1, "/307", false, "final",
       {"POST /307 HTTP/1.1", "POST /final HTTP/1.1"}, "k=v", "307"},
  };
  for (const char* status : {"301", "302", "303", "307"}) {
    server_.Reply(std::string("/") + status,
                  {.status = std::stoi(status), .headers = {{"Location", "/final"}}, .body = "moved"});
  }
  server_.Reply("/final", {.body = "final"});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server_.ClearRequests();
    WebRequestOptions options;
    options.method = row.method;
    options.textBody = "k=v";
    options.noRedirect = row.noRedirect;
    const WebResponse response = WebRequest(server_.Url(row.start), options);
    EXPECT_EQ(AsString(response.body), row.body);
    std::vector<std::string> seen;
    for (const RecordedRequest& request : server_.Requests()) seen.push_back(request.requestLine);
    EXPECT_EQ(seen, row.seen);
    EXPECT_EQ(server_.LastRequest().body, row.method == 1 && row.noRedirect ? "k=v" : row.finalBody);
    // Only the last answer's header block is kept.
    const std::string statusLine = std::string("HTTP/1.1 ") + (row.noRedirect ? row.status : "200");
    EXPECT_TRUE(response.responseHeaders.starts_with(statusLine)) << response.responseHeaders;
  }
}

TEST_F(WebRequestTest, ARedirectLoopEnds) {
  server_.Reply("/loop", {.status = 302, .headers = {{"Location", "/loop"}}, .body = "again"});
  const WebResponse response = WebRequest(server_.Url("/loop"));
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.outcome, TransferOutcome::kFailed);
  EXPECT_GT(server_.RequestCount(), 1u);
  EXPECT_LE(server_.RequestCount(), 21u);
}

class WebRequestTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string why; !origin_.Available(&why)) GTEST_SKIP() << why;
  }
  void TearDown() override { SetExtraCaFileForTesting(""); }
  HttpServer origin_{HttpServer::Tls::kOn};
};

// The origin's certificate is trusted before any TLS connection: under Wine a process reads the
// trusted certificates once, at its first TLS connection, and misses those added later.
TEST_F(WebRequestTlsTest, ACertificateIsVerified) {
  SetExtraCaFileForTesting(origin_.CertificateFile());
  HttpServer stranger(HttpServer::Tls::kUntrusted);
  stranger.Reply("/s", {.body = "secure"});
  const WebResponse untrusted = WebRequest(stranger.Url("/s"));
  EXPECT_TRUE(untrusted.body.empty());
  EXPECT_EQ(untrusted.outcome, TransferOutcome::kTlsFailed);
  EXPECT_EQ(untrusted.responseHeaders, std::string(5000, ' '));
  EXPECT_EQ(stranger.RequestCount(), 0u);

  origin_.Reply("/s", {.body = "secure"});
  const WebResponse trusted = WebRequest(origin_.Url("/s"));
  EXPECT_EQ(AsString(trusted.body), "secure");
  EXPECT_EQ(origin_.LastRequest().requestLine, "GET /s HTTP/1.1");
}

TEST_F(WebRequestTlsTest, AnHttpAddressIsRedirectedToHttps) {
  SetExtraCaFileForTesting(origin_.CertificateFile());
  origin_.Reply("/s", {.body = "secure"});
  HttpServer plain;
  plain.Reply("/up", {.status = 302, .headers = {{"Location", origin_.Url("/s")}}});
  EXPECT_EQ(AsString(WebRequest(plain.Url("/up")).body), "secure");
}

TEST_F(WebRequestTlsTest, AProxyIsAskedInTheFormTheSchemeNeeds) {
  SetExtraCaFileForTesting(origin_.CertificateFile());
  origin_.Reply("/s", {.body = "secure origin"});
  HttpServer plainOrigin;
  plainOrigin.Reply("/p", {.body = "plain origin"});
  struct Row {
    const char* name;
    std::string address;
    std::string proxyLine;
    const char* body;
  };
  const std::string connectLine = "CONNECT " + origin_.Authority() + " HTTP/1.1";
  const Row rows[] = {
      {"http goes to the proxy with the whole address", plainOrigin.Url("/p"),
       "GET " + plainOrigin.Url("/p") + " HTTP/1.1", "answered by the proxy"},
      {"https is tunnelled", origin_.Url("/s"), connectLine, "secure origin"},
      {"HTTPS in capitals is tunnelled too", "HTTPS" + origin_.Url("/s").substr(5), connectLine, "secure origin"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HttpServer proxy;  // of its own: the tunnel of the row before would be used again
    proxy.ActAsForwardProxy();
    proxy.Reply("/p", {.body = "answered by the proxy"});
    WebRequestOptions options;
    options.proxy = "127.0.0.1:" + std::to_string(proxy.Port());
    const WebResponse response = WebRequest(row.address, options);
    EXPECT_EQ(AsString(response.body), row.body);
    EXPECT_EQ(proxy.RequestCount(), 1u);
    EXPECT_EQ(proxy.LastRequest().requestLine, row.proxyLine);
  }
  EXPECT_EQ(plainOrigin.RequestCount(), 0u);
}

// A pasted line break would end the Referer line and start header lines of the paster's choice.
TEST(WebRequestAddress, ControlBytesAreRefusedBeforeAnythingIsSent) {
  RawServer server(testsupport::scripts::Answer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  const std::string good = server.Url("/urls?site=a&token=b");
  const std::vector<std::string> addresses = {
      good + "\r\nInjected: 1",
      "x\r\nInjected: 1\r\n" + good,
      good + "\n",
      good + "\t",
      good + "\x7F",
      good + std::string(1, '\x01'),
  };
  for (const std::string& address : addresses) {
    WebRequestOptions options;
    options.method = 1;
    options.textBody = "http://a/1.html";
    const WebResponse response = WebRequest(address, options);
    EXPECT_EQ(response.outcome, TransferOutcome::kNotSent) << address;
    EXPECT_TRUE(response.body.empty());
  }
  EXPECT_EQ(server.ConnectionCount(), 0);
  // The same server answers an address without them.
  EXPECT_EQ(AsString(WebRequest(good).body), "ok");
}

TEST(WebRequestBodyCap, ABodyOverItsCapFailsWithoutItsBytes) {
  constexpr std::int64_t kCap = 10'000;
  const std::string withLength = "HTTP/1.1 200 OK\r\nContent-Length: ";
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string exact(kCap, 'e');
  const auto chunk = [](const std::string& bytes) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
    return size + bytes + "\r\n";
  };
  struct Row {
    const char* name;
    RawServer::Script script;
    std::size_t bodySize;
    TransferOutcome outcome;
  };
  const Row rows[] = {
      {"exactly the cap", testsupport::scripts::Answer(withLength + "10000\r\n\r\n" + exact), 10'000,
       TransferOutcome::kComplete},
      {"one byte over, announced", testsupport::scripts::Answer(withLength + "10001\r\n\r\n" + exact + "e"), 0,
       TransferOutcome::kTooLarge},
      {"one byte over, chunked", testsupport::scripts::Answer(chunked + chunk(exact) + chunk("e") + "0\r\n\r\n"), 0,
       TransferOutcome::kTooLarge},
      {"a length that lies about a huge body", testsupport::scripts::Answer(withLength + "1099511627776\r\n\r\nab"), 0,
       TransferOutcome::kTooLarge},
      {"a body that never ends", testsupport::scripts::Endless("HTTP/1.1 200 OK\r\n\r\n"), 0,
       TransferOutcome::kTooLarge},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RawServer server(row.script);
    WebRequestOptions options;
    options.maxBodyBytes = kCap;
    const WebResponse response = WebRequest(server.Url("/big"), options);
    EXPECT_EQ(response.body.size(), row.bodySize);
    EXPECT_EQ(response.outcome, row.outcome);
    EXPECT_EQ(response.status, 200);
  }
}

TEST(WebRequestBodyCap, TheDefaultCapEndsAnEndlessBody) {
  RawServer server(testsupport::scripts::Endless("HTTP/1.1 200 OK\r\n\r\n"));
  const WebResponse response = WebRequest(server.Url("/endless"));
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.outcome, TransferOutcome::kTooLarge);
}

TEST(WebRequestConcurrent, CallsOnManyThreadsStayApart) {
  HttpServer server;
  server.Answer("/echo", [](const RecordedRequest& request) {
    return testsupport::ScriptedReply{
        .headers = {{"Set-Cookie", "echo=" + request.body.substr(0, request.body.find('|')) + "; Path=/echo"}},
        .body = request.body,
        .contentType = "text/plain"};
  });
  constexpr int kThreads = 6;
  constexpr int kCalls = 15;
  std::vector<std::thread> threads;
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Text cookies = "thread=" + std::to_string(t);
      for (int i = 0; i < kCalls; ++i) {
        WebRequestOptions options;
        options.method = 1;
        options.textBody = std::to_string(t) + "|" + std::to_string(i) + std::string(5000, 'x');
        // Half the calls keep their own cookies, half use the shared store.
        const WebResponse response = WebRequest(server.Url("/echo"), options, i % 2 == 0 ? &cookies : nullptr);
        if (AsString(response.body) != options.textBody) ++wrong[t];
        if (i % 2 == 0 && response.receivedCookies != "echo=" + std::to_string(t)) ++wrong[t];
      }
      if (cookies != "echo=" + std::to_string(t) + "; thread=" + std::to_string(t)) ++wrong[t];
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  EXPECT_EQ(server.RequestCount(), static_cast<std::size_t>(kThreads * kCalls));
}

// Connections outlive the call that opened them, on either platform: the server counts them. (A
// call given a proxy after a direct one on Linux: CurlTransport.TheEnvironmentDoesNotChooseTheRoute.)
TEST(WebRequestConnections, ARunOfCallsKeepsItsConnectionsAndNoCallFails) {
  // Answers `answers` requests a connection (0: any number), then drops it as the next one comes.
  const auto serve = [](int answers, const std::string& line = "") -> RawServer::Script {
    const std::string answer = "HTTP/1.1 200 OK\r\n" + line + "Content-Length: 2\r\n\r\nok";
    return [=](RawConnection& c) {
      for (int n = 1; !c.ReadHead().empty() && (answers == 0 || n <= answers) && c.Send(answer); ++n) {
      }
    };
  };
  struct Row { const char* name; RawServer::Script script; int threads; int connections; /* at most */ };
  const Row rows[] = {
      {"calls one after another", serve(0), 1, 1},
      {"calls on four threads at once", serve(0), 4, 4},
      {"a server that closes after each answer", serve(0, "Connection: close\r\n"), 1, 8},
      {"a connection dropped just as the next call came", serve(1), 1, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RawServer server(row.script);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads(row.threads);
    for (std::thread& thread : threads) {
      thread = std::thread([&] {
        for (int call = 0; call < 8; ++call) {
          WebRequestOptions options;
          options.method = call % 2;
          wrong += AsString(WebRequest(server.Url("/urls?site=s"), options).body) != "ok";
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(server.ConnectionCount(), row.connections);
  }
}

}  // namespace
}  // namespace kestrin
