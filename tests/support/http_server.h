// A real HTTP server inside the test process, on 127.0.0.1 and a free port, for tests that
// must see exactly what a client sent. cpp-httplib parses the requests and writes the answers;
// a recording layer of our own sits under it on the socket, because cpp-httplib keeps neither
// the order nor the spelling of header lines.
//
//   HttpServer server;                                   // started; stopped by the destructor
//   server.Reply("/page", {.body = "<html>…"});           // a fixed answer for one path
//   server.Handle("/echo", [](const httplib::Request& request, httplib::Response& response) {
//     response.set_content(request.body, "text/plain");  // or set_content_provider to stream
//   });
//   … WebRequest(server.Url("/page")) …
//   server.LastRequest().headerLines                      // {"Host: 127.0.0.1:…", "Accept: */*", …}
//
// Paths are matched without the query: exactly, or by prefix for a key ending in "*"; anything
// else gets 404. Handlers run on the server's threads, for every method (HEAD goes to the GET
// answer, without its body). A content provider runs after its handler has returned, on a copy
// of the handler that is gone by then: it may refer to the test's data, never to the handler's
// own captures. Every method of the class may be called while requests are served.
//
// HttpServer(HttpServer::Tls::kOn) speaks HTTPS with a self-signed certificate made at set-up;
// CertificateFile() is its PEM file, for SetExtraCaFileForTesting.
//
// With ActAsForwardProxy(), the server is also a forward proxy: a request whose target is an
// absolute address ("GET http://127.0.0.1:8080/x HTTP/1.1") is answered by this server's own
// handler for its path ("/x"), and CONNECT to 127.0.0.1 or localhost opens a tunnel to that
// port (on a server without TLS). Both are recorded like any other request.
#pragma once

#include <httplib.h>

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

// A fixed answer. cpp-httplib writes the header lines sorted by name (lines of one name keep
// their order) and adds Content-Length, Content-Type and Keep-Alive lines of its own; for an
// answer byte for byte use RawServer.
struct ScriptedReply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers{};
  std::string body{};
  std::string contentType = "text/html";
};

class HttpServer {
 public:
  enum class Tls { kOff, kOn };
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  explicit HttpServer(Tls tls = Tls::kOff);
  // Stops accepting, ends idle connections and waits for the running handlers.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  [[nodiscard]] int Port() const;
  // "http://127.0.0.1:<port>" or "https://…".
  [[nodiscard]] std::string Origin() const;
  // Origin() followed by `path`.
  [[nodiscard]] std::string Url(std::string_view path) const;

  // Sets the handler for `path`, replacing an earlier one.
  void Handle(const std::string& path, Handler handler);
  void Reply(const std::string& path, ScriptedReply reply);
  void ActAsForwardProxy();

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
