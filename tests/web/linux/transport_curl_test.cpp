#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/raw_server.h"
#include "web/transport.h"
#include "web/web_request.h"

namespace kestrin {
namespace {

using testsupport::HttpServer;
using testsupport::RawConnection;
using testsupport::RawServer;

std::string AsString(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(ProxyForScheme, PicksTheEntryForTheSchemeOrTheOneForAll) {
  struct Row {
    const char* proxies;
    const char* scheme;
    const char* proxy;
  };
  const Row rows[] = {
      {"127.0.0.1:8080", "http", "127.0.0.1:8080"},
      {"127.0.0.1:8080", "https", "127.0.0.1:8080"},
      {"http=p:1", "http", "p:1"},
      {"http=p:1", "https", ""},
      {"HTTP=p:1", "http", "p:1"},
      {"http=p:1 https=s:2", "https", "s:2"},
      {"https=s:2;all:3", "http", "all:3"},
      {"all:3 http=p:1", "http", "p:1"},
      {"httpx=p:1", "http", ""},
      {" ;; http=p:1", "http", "p:1"},
      {"", "http", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ProxyForScheme(row.proxies, row.scheme), row.proxy) << row.proxies << " for " << row.scheme;
  }
}

// A body of `size` bytes that shows where each byte came from.
std::string Pattern(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 1024) % 26);
  return body;
}

TEST(CurlTransport, ReadsOfAnySizeReassembleTheBody) {
  HttpServer server;
  const std::string body = Pattern(100'000);
  server.Reply("/fixed", {.body = body});
  server.Handle("/chunked", [&body](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [&body](std::size_t offset, httplib::DataSink& sink) {
      if (offset >= body.size()) {
        sink.done();
      } else {
        sink.write(body.data() + offset, std::min<std::size_t>(3000, body.size() - offset));
      }
      return true;
    });
  });
  struct Row {
    const char* path;
    std::int64_t announced;
  };
  const Row rows[] = {{"/fixed", 100'000}, {"/chunked", -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    auto session = DefaultTransport().OpenSession("agent", ProxyAccess::kDirect, "");
    ASSERT_TRUE(session);
    auto connection = session->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(connection);
    auto request = connection->OpenRequest("GET", row.path, "HTTP/1.1", kFlagReload | kFlagNoCookies);
    ASSERT_TRUE(request);
    request->Send("Accept: */*", {}, {});
    // A size that matches neither curl's pieces nor the server's.
    std::vector<std::uint8_t> buffer(1000);
    std::string received;
    int largest = 0;
    for (int n = request->Read(buffer); n > 0; n = request->Read(buffer)) {
      largest = std::max(largest, n);
      received.append(buffer.begin(), buffer.begin() + n);
    }
    EXPECT_EQ(received, body);
    EXPECT_LE(largest, 1000);
    EXPECT_EQ(request->AnnouncedLength(), row.announced);
    EXPECT_TRUE(request->RawHeaders(5000).has_value());
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->Outcome(), TransferOutcome::kComplete);
  }
}

// A body cut short is no body: a fragment of an answer must not pass for the whole of it.
TEST(CurlTransport, BadAnswersFailWithoutABodyAndNeverCrash) {
  struct Row {
    const char* name;
    std::string answer;  // sent after the request head, then the connection closes
    std::string body;
    std::string headers;  // empty: the block is not captured
    int status;
    TransferOutcome outcome;
  };
  const std::string okHead = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const Row rows[] = {
      {"garbage instead of HTTP", "this is not HTTP at all\r\n\r\n<html>", "", "", 0, TransferOutcome::kFailed},
      {"nothing at all", "", "", "", 0, TransferOutcome::kFailed},
      {"closed inside the header block", "HTTP/1.1 200 OK\r\nContent-Len", "", "", 200, TransferOutcome::kFailed},
      {"closed in the middle of the body", okHead + "half", "", okHead, 200, TransferOutcome::kFailed},
      {"a chunk size that is not a number", chunkedHead + "5\r\nhello\r\nzz\r\nmore\r\n0\r\n\r\n", "",
       chunkedHead, 200, TransferOutcome::kFailed},
      {"a chunk longer than what comes", chunkedHead + "FFFFFFFF\r\nabc", "", chunkedHead, 200,
       TransferOutcome::kFailed},
      {"an interim answer before the real one",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", "ok",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", 200, TransferOutcome::kComplete},
      {"an error status with a whole body is complete", "HTTP/1.1 503 Busy\r\nContent-Length: 4\r\n\r\nbusy", "busy",
       "HTTP/1.1 503 Busy\r\nContent-Length: 4\r\n\r\n", 503, TransferOutcome::kComplete},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RawServer server(testsupport::scripts::Answer(row.answer));
    const WebResponse response = WebRequest(server.Url("/bad"));
    EXPECT_EQ(AsString(response.body), row.body);
    EXPECT_EQ(response.responseHeaders, row.headers.empty() ? std::string(5000, ' ') : row.headers);
    EXPECT_EQ(response.status, row.status);
    EXPECT_EQ(response.outcome, row.outcome);
  }
}

TEST(CurlTransport, ABodyAsLargeAsTheDefaultCapArrivesWhole) {
  constexpr std::size_t kSize = kDefaultMaxBodyBytes;
  constexpr std::size_t kPiece = 64 << 10;
  const std::string piece = Pattern(kPiece);
  HttpServer server;
  server.Handle("/huge", [&piece](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(kSize, "application/octet-stream",
                                  [&piece](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                    const std::size_t at = offset % kPiece;
                                    return sink.write(piece.data() + at, std::min(length, kPiece - at));
                                  });
  });
  const WebResponse response = WebRequest(server.Url("/huge"));
  ASSERT_EQ(response.body.size(), kSize);
  EXPECT_EQ(response.outcome, TransferOutcome::kComplete);
  for (std::size_t at : {std::size_t{0}, kPiece - 1, kSize / 2 + 12345, kSize - 1}) {
    EXPECT_EQ(response.body[at], static_cast<std::uint8_t>(piece[at % kPiece])) << at;
  }
}

class CurlTransportTimeoutTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWebTimeoutsForTesting(1000, 1000); }
  void TearDown() override { SetWebTimeoutsForTesting(60'000, 30'000); }

  // The call's result, and whether it came back well before the program's own time-outs.
  static WebResponse TimedRequest(const std::string& address, bool& prompt) {
    const auto start = std::chrono::steady_clock::now();
    WebResponse response = WebRequest(address);
    prompt = std::chrono::steady_clock::now() - start < std::chrono::seconds(20);
    return response;
  }
};

TEST_F(CurlTransportTimeoutTest, SilenceEndsTheCall) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  struct Row {
    const char* name;
    std::string sent;
  };
  const Row rows[] = {
      {"a server that never answers", ""},
      {"a server that stops in the middle of the body", head + "part"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RawServer server([&row](RawConnection& connection) {
      connection.ReadHead();
      connection.Send(row.sent);
      connection.WaitUntilStopped();
    });
    bool prompt = false;
    const WebResponse response = TimedRequest(server.Url("/quiet"), prompt);
    EXPECT_TRUE(prompt);
    EXPECT_TRUE(response.body.empty());
    EXPECT_EQ(response.outcome, TransferOutcome::kTimedOut);
  }
}

// Time of one call in milliseconds.
template <typename Call>
std::int64_t MillisecondsOf(Call&& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A byte every 100 ms never looks stalled; only the deadline ends such a request. The stall
// time-out is left at the program's own 30 s here, so that only the deadline can end the call.
TEST(CurlTransportDeadline, EndsARequestThatNeverStalls) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n";
  struct Row {
    const char* name;
    RawServer::Script script;
  };
  const Row rows[] = {
      {"a body that trickles", testsupport::scripts::Trickle(head, 100)},
      {"a header block that trickles", testsupport::scripts::Trickle("HTTP/1.1 200 OK\r\nX-Slow: ", 100)},
      {"a silent server", testsupport::scripts::Silent()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RawServer server(row.script);
    WebRequestOptions options;
    options.timeoutMs = 700;
    WebResponse response;
    const std::int64_t elapsed = MillisecondsOf([&] { response = WebRequest(server.Url("/slow"), options); });
    EXPECT_GE(elapsed, 600);
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(response.outcome, TransferOutcome::kTimedOut);
    EXPECT_TRUE(response.body.empty());
  }
}

TEST(CurlTransportDeadline, CoversTheConnect) {
  testsupport::StalledListener listener;
  WebRequestOptions options;
  options.timeoutMs = 500;
  WebResponse response;
  const std::int64_t elapsed = MillisecondsOf([&] { response = WebRequest(listener.Url("/"), options); });
  EXPECT_LT(elapsed, 2000);
  EXPECT_EQ(response.outcome, TransferOutcome::kTimedOut);
}

TEST_F(CurlTransportTimeoutTest, AConnectThatHangsEnds) {
  testsupport::StalledListener listener;
  bool prompt = false;
  const WebResponse response = TimedRequest(listener.Url("/"), prompt);
  EXPECT_TRUE(prompt);
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.outcome, TransferOutcome::kTimedOut);
  EXPECT_EQ(response.responseHeaders, std::string(5000, ' '));
}

// Sets the proxy variables of the environment for one test and puts the old values back.
class ProxyEnvironment {
 public:
  explicit ProxyEnvironment(const std::string& proxy, const std::string& noProxy) {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      Set(name, proxy);
    }
    Set("no_proxy", noProxy);
    Set("NO_PROXY", noProxy);
  }
  ~ProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(CurlTransport, TheEnvironmentDoesNotChooseTheRoute) {
  HttpServer origin;
  origin.Reply("/e", {.body = "origin"});
  HttpServer envProxy;  // a live proxy, so that a request sent to it would be seen
  envProxy.ActAsForwardProxy();
  envProxy.Reply("/e", {.body = "environment proxy"});
  HttpServer givenProxy;
  givenProxy.ActAsForwardProxy();
  givenProxy.Reply("/e", {.body = "given proxy"});
  ProxyEnvironment environment(envProxy.Origin(), "127.0.0.1,localhost");

  EXPECT_EQ(AsString(WebRequest(origin.Url("/e")).body), "origin");
  WebRequestOptions options;
  options.proxy = "127.0.0.1:" + std::to_string(givenProxy.Port());
  EXPECT_EQ(AsString(WebRequest(origin.Url("/e"), options).body), "given proxy");
  EXPECT_EQ(envProxy.RequestCount(), 0u);
  EXPECT_EQ(origin.RequestCount(), 1u);
  EXPECT_EQ(givenProxy.RequestCount(), 1u);
}

}  // namespace
}  // namespace kestrin
