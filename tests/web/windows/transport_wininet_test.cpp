// The web request on WinINet, against local raw servers that record every request byte for byte
// and answer as scripted. Where Wine's WinINet differs from Windows, the row says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/raw_server.h"
#include "web/transport.h"
#include "web/web_request.h"

namespace kestrin {
namespace {

using testsupport::RawConnection;
using testsupport::RawServer;

std::string AsString(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

// What a server read: the request head as sent, and the body its Content-Length announced.
struct Recorded {
  std::string head;
  std::string body;
};

// A server that records each request and answers them in turn with `answers` (the last one again
// for any more), byte for byte.
class RecordingServer {
 public:
  explicit RecordingServer(std::vector<std::string> answers)
      : answers_(std::move(answers)), server_([this](RawConnection& connection) { Serve(connection); }) {}

  [[nodiscard]] std::string Url(std::string_view path) const { return server_.Url(path); }
  [[nodiscard]] std::vector<Recorded> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Serve(RawConnection& connection) {
    for (;;) {
      Recorded request;
      request.head = connection.ReadHead();
      if (request.head.empty()) return;
      const std::size_t length = request.head.find("Content-Length: ");
      if (length != std::string::npos) {
        const std::size_t wanted = std::stoul(request.head.substr(length + 16));
        while (request.body.size() < wanted) {
          const std::string more = connection.ReadSome();
          if (more.empty()) break;
          request.body += more;
        }
      }
      std::string answer;
      {
        std::lock_guard lock(mutex_);
        answer = answers_[std::min(requests_.size(), answers_.size() - 1)];
        requests_.push_back(request);
      }
      if (!connection.Send(answer)) return;
    }
  }

  std::vector<std::string> answers_;
  std::mutex mutex_;
  std::vector<Recorded> requests_;
  RawServer server_;
};

std::string Answer(int status, const std::string& headers, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         headers + "\r\n" + body;
}

TEST(WinInetRequest, PlainGetSendsOurLinesByteForByteAfterWinInetsOwn) {
  RecordingServer server({Answer(200, "", "ok")});
  const std::string address = server.Url("/x?y=1");
  const WebResponse response = WebRequest(address);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string port = address.substr(17, address.find('/', 17) - 17);
  // WinINet puts Host and User-Agent first; our four lines follow as they are.
  EXPECT_EQ(server.Requests()[0].head,
            "GET /x?y=1 HTTP/1.1\r\n"
            "Host: 127.0.0.1:" + port + "\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
            "Accept: */*\r\n"
            "Referer: " + address + "\r\n"
            "Accept-Language: zh-cn\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "\r\n");
  EXPECT_EQ(AsString(response.body), "ok");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.outcome, TransferOutcome::kComplete);
}

// A caller's agent line stands in for WinINet's own, where the caller put it.
TEST(WinInetRequest, CallerLinesKeepTheirOrderAndBytes) {
  RecordingServer server({Answer(200, "", "ok")});
  WebRequestOptions options;
  options.headers = "X-One: 1\r\nuser-agent: Foo\r\nX-Two: a  b";
  (void)WebRequest(server.Url("/"), options);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string head = server.Requests()[0].head;
  EXPECT_EQ(head.find("Mozilla"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nX-One: 1\r\nuser-agent: Foo\r\nX-Two: a  b\r\nAccept: */*\r\n"), std::string::npos)
      << head;
}

// GBK bytes go out as they are. Windows keeps the blanks after a colon; Wine 8 makes them one.
TEST(WinInetRequest, GbkBytesGoOutAsTheyAre) {
  const struct {
    const char* name;
    const char* headers;
  } cases[] = {
      {"gbk line then blanks", "X-Gbk: \xD6\xD0\xCE\xC4\r\nX-Blanks:  two"},
      {"gbk line before an agent", "X-Gbk: \xD6\xD0\xCE\xC4\r\nuser-agent: Foo"},
      {"gbk line, agent and blanks", "X-Gbk: \xD6\xD0\xCE\xC4\r\nuser-agent: Foo\r\nX-Two:  a  b"},
  };
  for (const auto& c : cases) {
    RecordingServer server({Answer(200, "", "ok")});
    WebRequestOptions options;
    options.headers = c.headers;
    (void)WebRequest(server.Url("/"), options);
    ASSERT_EQ(server.Requests().size(), 1u) << c.name;
    const std::string head = server.Requests()[0].head;
    EXPECT_NE(head.find("\r\nX-Gbk: \xD6\xD0\xCE\xC4\r\n"), std::string::npos) << c.name << "\n" << head;
    if (head.find("X-Blanks") != std::string::npos) {
      EXPECT_TRUE(head.find("\r\nX-Blanks:  two\r\n") != std::string::npos ||
                  head.find("\r\nX-Blanks: two\r\n") != std::string::npos)
          << head;
    }
  }
}

struct PostCase {
  const char* name;
  int method;
  const char* textBody;
  const char* sentBody;  // nullptr: no Content-Length line at all
};

const PostCase kPostCases[] = {
    {"POST sends the text body", 1, "http://127.0.0.1/a/1.html", "http://127.0.0.1/a/1.html"},
    {"POST with an empty body sends length 0", 1, "", ""},
    {"GET sends no body", 0, "ignored", nullptr},
};

TEST(WinInetRequest, BodiesFollowTheMethod) {
  for (const PostCase& c : kPostCases) {
    RecordingServer server({Answer(200, "", "accepted")});
    WebRequestOptions options;
    options.method = c.method;
    options.textBody = c.textBody;
    const WebResponse response = WebRequest(server.Url("/submit?key=t0k"), options);
    ASSERT_EQ(server.Requests().size(), 1u) << c.name;
    const Recorded request = server.Requests()[0];
    EXPECT_EQ(AsString(response.body), "accepted") << c.name;
    if (c.sentBody == nullptr) {
      EXPECT_EQ(request.head.find("Content-Length"), std::string::npos) << c.name;
    } else {
      EXPECT_NE(request.head.find("Content-Length: " + std::to_string(std::string(c.sentBody).size()) + "\r\n"),
                std::string::npos)
          << c.name;
      EXPECT_EQ(request.body, c.sentBody) << c.name;
    }
  }
}

struct AnswerCase {
  const char* name;
  std::string answer;
  int status;
  TransferOutcome outcome;
  std::string body;
};

const AnswerCase kAnswerCases[] = {
    {"whole answer", Answer(200, "", "hello"), 200, TransferOutcome::kComplete, "hello"},
    {"error status keeps its body", Answer(404, "", "missing"), 404, TransferOutcome::kComplete, "missing"},
    {"chunked body", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 200,
     TransferOutcome::kComplete, "hello"},
    {"body ended by the close", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nto the end", 200,
     TransferOutcome::kComplete, "to the end"},
    {"closed in the middle of the body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", 200,
     TransferOutcome::kFailed, ""},
    {"zero bytes in the body stay", Answer(200, "", std::string("a\0b", 3)), 200, TransferOutcome::kComplete,
     std::string("a\0b", 3)},
};

TEST(WinInetRequest, StatusAndOutcomeOfEachAnswer) {
  for (const AnswerCase& c : kAnswerCases) {
    RawServer server(testsupport::scripts::Answer(c.answer));
    const WebResponse response = WebRequest(server.Url("/"));
    EXPECT_EQ(response.status, c.status) << c.name;
    EXPECT_EQ(response.outcome, c.outcome) << c.name;
    EXPECT_EQ(AsString(response.body), c.body) << c.name;
  }
}

TEST(WinInetRequest, NothingReachedIsAConnectFailure) {
  const WebResponse response = WebRequest("http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/");
  EXPECT_EQ(response.outcome, TransferOutcome::kConnectFailed);
  EXPECT_EQ(response.status, 0);
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.responseHeaders, std::string(5000, ' '));
}

// WinINet has no deadline of its own: each wait's time-out is cut to the time left as it begins,
// so that a slow connect and the wait for the answer share one deadline.
TEST(WinInetRequest, TheDeadlineEndsASilentOrTricklingServer) {
  const struct {
    const char* name;
    RawServer::Script script;
    int connectMs;  // > 0: a listener that lets the connect through after about a second instead
  } cases[] = {
      {"silent", testsupport::scripts::Silent(), 0},
      {"trickling", testsupport::scripts::Trickle("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", 100), 0},
      {"a connect of a second, then silence", nullptr, 300},
  };
  for (const auto& c : cases) {
    std::optional<RawServer> server;
    std::optional<testsupport::StalledListener> slow;
    c.connectMs > 0 ? (void)slow.emplace(c.connectMs) : (void)server.emplace(c.script);
    WebRequestOptions options;
    options.timeoutMs = 1500;
    const auto start = std::chrono::steady_clock::now();
    const WebResponse response = WebRequest(slow ? slow->Url("/") : server->Url("/"), options);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(response.outcome, TransferOutcome::kTimedOut) << c.name;
    EXPECT_TRUE(response.body.empty()) << c.name;
    EXPECT_GE(took, std::chrono::milliseconds(1400)) << c.name;
    EXPECT_LT(took, std::chrono::milliseconds(2300)) << c.name;
  }
}

// A receive time-out is 12002 on Windows and 12030 under Wine: both are a time-out.
TEST(WinInetRequest, AStallIsATimeOut) {
  SetWebTimeoutsForTesting(5000, 1000);
  RawServer server(testsupport::scripts::Silent());
  const WebResponse response = WebRequest(server.Url("/"));
  SetWebTimeoutsForTesting(60'000, 30'000);
  EXPECT_EQ(response.outcome, TransferOutcome::kTimedOut);
}

TEST(WinInetRequest, ABodyOverItsCapFails) {
  RawServer server(testsupport::scripts::Endless("HTTP/1.1 200 OK\r\n\r\n"));
  WebRequestOptions options;
  options.maxBodyBytes = 200'000;
  const WebResponse response = WebRequest(server.Url("/"), options);
  EXPECT_EQ(response.outcome, TransferOutcome::kTooLarge);
  EXPECT_TRUE(response.body.empty());
}

TEST(WinInetRequest, RedirectsAreFollowedUnlessSwitchedOff) {
  RecordingServer server({"HTTP/1.1 302 Found\r\nLocation: /there\r\nContent-Length: 0\r\n\r\n", Answer(200, "", "there")});
  const WebResponse followed = WebRequest(server.Url("/here"));
  EXPECT_EQ(followed.status, 200);
  EXPECT_EQ(AsString(followed.body), "there");

  RecordingServer once({"HTTP/1.1 302 Found\r\nLocation: /there\r\nContent-Length: 0\r\n\r\n"});
  WebRequestOptions options;
  options.noRedirect = true;
  const WebResponse kept = WebRequest(once.Url("/here"), options);
  EXPECT_EQ(kept.status, 302);
  EXPECT_EQ(kept.outcome, TransferOutcome::kComplete);
  EXPECT_EQ(once.Requests().size(), 1u);
}

// Redirects are followed by the transport itself: Wine's WinINet would send the POST again
// without its body, and follow a loop for ever.
TEST(WinInetRequest, A307AfterAPostIsFollowedWithItsBody) {
  RecordingServer server({"HTTP/1.1 307 Again\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n", Answer(200, "", "ok")});
  WebRequestOptions options;
  options.method = 1;
  options.textBody = "http://127.0.0.1/a/2.html";
  const WebResponse response = WebRequest(server.Url("/submit"), options);
  const std::vector<Recorded> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[1].head.starts_with("POST /again HTTP/1.1\r\n")) << requests[1].head;
  EXPECT_EQ(requests[1].body, "http://127.0.0.1/a/2.html");
  EXPECT_EQ(AsString(response.body), "ok");
}

TEST(WinInetRequest, SetCookieLinesAreRespelledAndCollected) {
  RecordingServer server({Answer(200, "Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\n", "ok")});
  Text cookies = "old=0";
  const WebResponse response = WebRequest(server.Url("/"), {}, &cookies);
  EXPECT_NE(response.responseHeaders.find("Set-Cookie: a=1; path=/\r\n"), std::string::npos) << response.responseHeaders;
  EXPECT_NE(response.responseHeaders.find("Set-Cookie: b=2\r\n"), std::string::npos) << response.responseHeaders;
  EXPECT_EQ(response.receivedCookies, "a=1;b=2");
  EXPECT_EQ(cookies, "a=1; b=2; old=0");
  EXPECT_NE(server.Requests()[0].head.find("\r\nCookie: old=0\r\n"), std::string::npos);
}

// Calls without a cookie text use the process's store; a call with one uses only its own. (The
// cookie names its path: Wine takes a missing one as the whole request path, not its folder. The
// path keeps it out of the other tests' requests to 127.0.0.1 in the same process.)
TEST(WinInetRequest, TheProcessCookieStoreServesOnlyCallsWithoutCookies) {
  RecordingServer server({Answer(200, "Set-Cookie: sid=abc; path=/jar/\r\n", "set"), Answer(200, "", "again")});
  (void)WebRequest(server.Url("/jar/set"));
  (void)WebRequest(server.Url("/jar/store"));
  Text own = "mine=1";
  (void)WebRequest(server.Url("/jar/own"), {}, &own);
  const std::vector<Recorded> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[1].head.find("Cookie: sid=abc\r\n"), std::string::npos) << requests[1].head;
  EXPECT_EQ(requests[2].head.find("sid=abc"), std::string::npos) << requests[2].head;
}

// Lines of 1000 bytes: Wine cuts a header line at 4096.
TEST(WinInetRequest, OnlyAHeaderBlockThatFitsWithItsNulIsCaptured) {
  std::string lines;
  for (int i = 0; i < 4; ++i) lines += "X-Pad" + std::to_string(i) + ": " + std::string(1000, 'p') + "\r\n";
  const std::string fixed = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + lines + "X-Pad: \r\n\r\n";
  const std::size_t pad = 4999 - fixed.size();
  for (std::size_t extra : {pad, pad + 1}) {
    const std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + lines + "X-Pad: " + std::string(extra, 'p') + "\r\n\r\nok";
    RawServer server(testsupport::scripts::Answer(answer));
    const WebResponse response = WebRequest(server.Url("/"));
    EXPECT_EQ(AsString(response.body), "ok") << extra;
    if (extra == pad) {
      EXPECT_EQ(response.responseHeaders.size(), 4999u) << extra;
    } else {
      EXPECT_EQ(response.responseHeaders, std::string(5000, ' ')) << extra;
    }
  }
}

TEST(WinInetRequestConcurrent, CallsOnManyThreadsStayApart) {
  RecordingServer server({Answer(200, "", "same")});
  std::vector<std::thread> threads;
  std::vector<std::string> bodies(8);
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    threads.emplace_back([&, i] { bodies[i] = AsString(WebRequest(server.Url("/" + std::to_string(i))).body); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& body : bodies) EXPECT_EQ(body, "same");
  EXPECT_EQ(server.Requests().size(), bodies.size());
}

// Many requests at once, most of them ended by their deadline while their server trickles or says
// nothing, on threads that keep opening new handles. Each ends with the outcome its own server
// gives, and every request the server reads is whole: one request line, and the Referer line of
// the same address, so no call has written into another's request.
TEST(WinInetRequestConcurrent, DeadlinesOnManyThreadsEndOnlyTheirOwnRequests) {
  struct Kind {
    const char* name;
    TransferOutcome outcome;
  };
  const Kind kinds[] = {{"quick", TransferOutcome::kComplete},
                        {"trickle", TransferOutcome::kTimedOut},
                        {"silent", TransferOutcome::kTimedOut}};
  std::mutex mutex;
  std::vector<std::string> heads;
  RawServer server([&](RawConnection& connection) {
    const std::string head = connection.ReadHead();
    if (head.empty()) return;
    {
      std::lock_guard lock(mutex);
      heads.push_back(head);
    }
    const std::string path = head.substr(4, head.find(' ', 4) - 4);
    if (path.starts_with("/quick/")) {
      connection.Send(Answer(200, "", path));
    } else if (path.starts_with("/trickle/")) {
      if (!connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) return;
      while (!connection.Stopping() && connection.Send("x")) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    } else {
      connection.WaitUntilStopped();
    }
  });
  constexpr int kThreads = 12;
  constexpr int kRounds = 4;
  std::vector<std::string> faults(kThreads);
  std::vector<std::thread> threads;
  const auto start = std::chrono::steady_clock::now();
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const Kind& kind = kinds[(t + round) % 3];
        const std::string path = std::string("/") + kind.name + "/" + std::to_string(t * kRounds + round);
        WebRequestOptions options;
        options.timeoutMs = 150 + 90 * ((t * 7 + round) % 6);
        const WebResponse response = WebRequest(server.Url(path), options);
        const std::string body = AsString(response.body);
        const bool right = response.outcome == kind.outcome && body == (kind.outcome == TransferOutcome::kComplete ? path : "");
        if (!right) {
          faults[t] += path + ": outcome " + std::to_string(static_cast<int>(response.outcome)) + ", body \"" +
                       body.substr(0, 40) + "\"; ";
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const auto took = std::chrono::steady_clock::now() - start;
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(faults[t].empty()) << faults[t];
  EXPECT_LT(took, std::chrono::seconds(30));
  std::lock_guard lock(mutex);
  EXPECT_GE(heads.size(), static_cast<std::size_t>(kThreads * kRounds));
  const std::regex whole(R"(GET (/[a-z]+/[0-9]+) HTTP/1\.1\r\n(?:[^\r\n]+\r\n)*\r\n)");
  for (const std::string& head : heads) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(head, parts, whole)) << head;
    EXPECT_NE(head.find("\r\nReferer: " + server.Url(parts[1].str()) + "\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("GET ", 1), std::string::npos) << head;
  }
}

}  // namespace
}  // namespace kestrin
