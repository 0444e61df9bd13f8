// A real HTTP server inside the test process, on 127.0.0.1 and a free port, for tests that
// must see exactly what a client sent: every request is recorded byte for byte, in the order
// and spelling of its header lines.
//
//   HttpServer server;                                   // started; stopped by the destructor
//   server.Reply("/page", {.body = "<html>…"});           // a fixed answer for one path
//   server.Answer("/echo", [](const RecordedRequest& request) {
//     return ScriptedReply{.body = request.body};        // an answer made from the request
//   });
//   … WebRequest(server.Url("/page")) …
//   server.LastRequest().headerLines                      // {"Host: 127.0.0.1:…", "Accept: */*", …}
//
// Paths are matched without the query: exactly, or by prefix for a key ending in "*"; anything
// else gets 404. Answers are made on the server's threads, for every method (HEAD goes to the GET
// answer, without its body). Every method of the class may be called while requests are served.
//
// With ActAsForwardProxy(), the server is also a forward proxy: a request whose target is an
// absolute address ("GET http://127.0.0.1:8080/x HTTP/1.1") is answered by this server's own
// handler for its path ("/x"), and CONNECT to 127.0.0.1 or localhost opens a tunnel to that
// port. Both are recorded like any other request.
//
// Two backends (tests/support/linux/, windows/):
// - Linux: cpp-httplib parses the requests and writes the answers, under a recording layer of our
//   own. Handle() gives handlers cpp-httplib's request and response, streaming included.
//   HttpServer(Tls::kOn) speaks HTTPS with a self-signed certificate for 127.0.0.1 and localhost
//   made at set-up; CertificateFile() is its PEM file, for SetExtraCaFileForTesting.
// - Windows: a small server of our own on Winsock (cpp-httplib and OpenSSL have no mingw-w64
//   build here). HTTPS comes from a TLS relay that runs natively on Linux beside Wine
//   (tests/support/tls_relay.py, started by ctest): the server listens in plain HTTP, and its
//   https address, at the relay, carries its port in a first path segment "/@<port>" that the
//   server takes off again. The relay's certificate names localhost only: Wine's WinINet does
//   not match an IP address in a certificate. Without the relay, Available() says why not.
#pragma once

#if !defined(_WIN32)
#include <httplib.h>
#endif

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrin::testsupport {

// One request as it came over the wire.
struct RecordedRequest {
  std::string requestLine;               // "GET /x?y=1 HTTP/1.1"
  std::vector<std::string> headerLines;  // without CR LF, in the order and spelling sent
  std::string body;                      // the body bytes, chunked framing removed

  [[nodiscard]] std::string Method() const;
  [[nodiscard]] std::string Target() const;
  // The value (leading spaces dropped) of the first header line named `name`, in any case.
  [[nodiscard]] std::optional<std::string> Header(std::string_view name) const;
  // How many header lines are named `name`, in any case.
  [[nodiscard]] int HeaderCount(std::string_view name) const;
};

// A fixed answer. The server adds Content-Length and Content-Type lines of its own (cpp-httplib
// also sorts the lines by name and adds Keep-Alive); for an answer byte for byte use RawServer.
struct ScriptedReply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers{};
  std::string body{};
  std::string contentType = "text/html";
};

// The request line and header lines of a request head (up to its empty line); no body.
[[nodiscard]] RecordedRequest ParseRequestHead(std::string_view head);
// The path a handler is looked up by: the target without query or fragment, and without the
// scheme and authority of an absolute target.
[[nodiscard]] std::string LookupPath(std::string target);

class HttpServer {
 public:
  // kUntrusted: HTTPS with a certificate that no test trusts (on Linux every server's own is
  // such until a test names its file; on Windows the relay has a second one for this).
  enum class Tls { kOff, kOn, kUntrusted };
  using Responder = std::function<ScriptedReply(const RecordedRequest&)>;

  explicit HttpServer(Tls tls = Tls::kOff);
  // Stops accepting, ends idle connections and waits for the running handlers.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Whether the server serves; for a TLS server on Windows, false without the relay, with the
  // reason in `why`.
  [[nodiscard]] bool Available(std::string* why = nullptr) const;
  [[nodiscard]] int Port() const;
  // Where clients connect: "127.0.0.1:<port>", or the relay's "localhost:<port>" for TLS on Windows.
  [[nodiscard]] std::string Authority() const;
  // "http://" or "https://", Authority(), and on Windows the relay's "/@<port>" for TLS.
  [[nodiscard]] std::string Origin() const;
  // Origin() followed by `path`.
  [[nodiscard]] std::string Url(std::string_view path) const;

  // Sets the answer for `path`, replacing an earlier one.
  void Reply(const std::string& path, ScriptedReply reply);
  void Answer(const std::string& path, Responder responder);
  void ActAsForwardProxy();
#if !defined(_WIN32)
  // A handler on cpp-httplib's request and response, for answers that stream or are slow. It
  // runs after the request is recorded; a content provider runs after the handler has returned,
  // on a copy of the handler that is gone by then: it may refer to the test's data, never to the
  // handler's own captures.
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  void Handle(const std::string& path, Handler handler);
#endif

  // For long runs: requests are no longer recorded.
  void KeepNoRecords();

  [[nodiscard]] std::vector<RecordedRequest> Requests() const;
  // The latest request; an empty record when there was none.
  [[nodiscard]] RecordedRequest LastRequest() const;
  [[nodiscard]] std::size_t RequestCount() const;
  void ClearRequests();
  // The PEM file of the certificate (TLS servers); empty otherwise.
  [[nodiscard]] std::string CertificateFile() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace kestrin::testsupport
