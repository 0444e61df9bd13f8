// HttpServer on the raw server's connections: a small HTTP/1.1 server of our own, for Windows,
// where cpp-httplib and OpenSSL have no build. It reads each request head and body (by length or
// in chunks), records them, and writes each answer with its length.
#include "tests/support/http_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "tests/support/raw_server.h"

namespace kestrin::testsupport {
namespace {

constexpr int kReadTimeoutMs = 5000;
constexpr int kKeepAliveMs = 2000;
constexpr std::size_t kLongestHead = 1 << 20;

// The bytes of one connection, taken as far as each step needs them.
class RequestReader {
 public:
  explicit RequestReader(RawConnection& connection) : connection_(connection) {}

  // Up to and including the empty line; false on close, silence or a head past its limit.
  bool Head(std::string& head, int timeoutMs) {
    for (;;) {
      const std::size_t end = buffer_.find("\r\n\r\n");
      if (end != std::string::npos) {
        head = Take(end + 4);
        return true;
      }
      if (buffer_.size() > kLongestHead || !Fill(timeoutMs)) return false;
    }
  }

  bool Bytes(std::size_t n, std::string& out) {
    while (buffer_.size() < n) {
      if (!Fill(kReadTimeoutMs)) return false;
    }
    out += Take(n);
    return true;
  }

  // A chunked body without its framing; trailer lines are dropped.
  bool Chunked(std::string& body) {
    for (;;) {
      std::string line;
      if (!Line(line)) return false;
      char* end = nullptr;
      const unsigned long long size = std::strtoull(line.c_str(), &end, 16);
      if (end == line.c_str()) return false;
      if (size == 0) {
        while (Line(line) && !line.empty()) {
        }
        return true;
      }
      std::string crlf;
      if (!Bytes(size, body) || !Bytes(2, crlf)) return false;
    }
  }

  std::string TakeAll() { return Take(buffer_.size()); }

 private:
  bool Fill(int timeoutMs) {
    const std::string more = connection_.ReadSome(timeoutMs);
    buffer_ += more;
    return !more.empty();
  }

  bool Line(std::string& line) {
    for (;;) {
      const std::size_t end = buffer_.find("\r\n");
      if (end != std::string::npos) {
        line = Take(end + 2);
        line.resize(end);
        return true;
      }
      if (buffer_.size() > kLongestHead || !Fill(kReadTimeoutMs)) return false;
    }
  }

  std::string Take(std::size_t n) {
    std::string taken = buffer_.substr(0, n);
    buffer_.erase(0, n);
    return taken;
  }

  RawConnection& connection_;
  std::string buffer_;
};

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

std::string AnswerBytes(const ScriptedReply& reply, bool head, bool close) {
  std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
  bool typed = false;
  for (const auto& [name, value] : reply.headers) {
    out += name + ": " + value + "\r\n";
    typed = typed || name == "Content-Type";
  }
  if (!typed && !reply.contentType.empty()) out += "Content-Type: " + reply.contentType + "\r\n";
  out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  if (close) out += "Connection: close\r\n";
  out += "\r\n";
  if (!head) out += reply.body;
  return out;
}

// What the relay of the TLS tests wrote at set-up: its two ports and their certificates.
struct Relay {
  int trustedPort = 0;
  int untrustedPort = 0;
  std::string folder;
};

std::optional<Relay> FindRelay(std::string& why) {
  const char* folder = std::getenv("KESTRIN_TLS_RELAY");
  if (folder == nullptr || *folder == '\0') {
    why = "no TLS relay: KESTRIN_TLS_RELAY is not set (ctest starts tests/support/tls_relay.py)";
    return std::nullopt;
  }
  Relay relay;
  relay.folder = folder;
  std::ifstream ports(relay.folder + "/ports");
  if (!(ports >> relay.trustedPort >> relay.untrustedPort)) {
    why = "no TLS relay: " + relay.folder + "/ports cannot be read";
    return std::nullopt;
  }
  return relay;
}

}  // namespace

struct HttpServer::State {
  Tls tls = Tls::kOff;
  std::optional<Relay> relay;
  std::string unavailable;  // why not, when the server cannot serve
  int port = -1;

  mutable std::mutex mutex;
  std::map<std::string, Responder> responders;
  std::vector<RecordedRequest> requests;
  bool proxy = false;
  bool recording = true;

  std::unique_ptr<RawServer> server;  // last: it stops before the rest goes

  void Record(const RecordedRequest& record) {
    std::lock_guard lock(mutex);
    if (recording) requests.push_back(record);
  }

  std::optional<Responder> Find(const std::string& path) const {
    std::lock_guard lock(mutex);
    if (auto exact = responders.find(path); exact != responders.end()) return exact->second;
    const Responder* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [key, responder] : responders) {
      if (key.ends_with('*') && path.starts_with(std::string_view(key).substr(0, key.size() - 1)) &&
          key.size() > bestLength) {
        best = &responder;
        bestLength = key.size();
      }
    }
    return best != nullptr ? std::optional<Responder>(*best) : std::nullopt;
  }

  // The target as the test wrote it: behind the relay without the "/@<port>" that routed it.
  std::string Unrouted(std::string target) const {
    if (tls == Tls::kOff) return target;
    const std::string route = "/@" + std::to_string(port);
    if (!target.starts_with(route)) return target;
    target.erase(0, route.size());
    if (target.empty() || target[0] != '/') target.insert(0, "/");
    return target;
  }

  void Serve(RawConnection& connection) {
    RequestReader reader(connection);
    // Behind the relay every connection serves one request: a client may not reuse it for
    // another server's address at the same relay port.
    const bool oneRequest = tls != Tls::kOff;
    for (int count = 0;; ++count) {
      std::string head;
      if (!reader.Head(head, count == 0 ? kReadTimeoutMs : kKeepAliveMs)) return;
      RecordedRequest record = ParseRequestHead(head);
      const std::string method = record.Method();
      const std::string target = Unrouted(record.Target());
      if (target != record.Target()) {
        record.requestLine = method + " " + target + record.requestLine.substr(method.size() + 1 + record.Target().size());
      }
      const bool proxying = [&] {
        std::lock_guard lock(mutex);
        return proxy;
      }();
      if (method == "CONNECT" && proxying) {
        Record(record);
        Tunnel(connection, reader, target);
        return;
      }
      const std::optional<std::string> length = record.Header("Content-Length");
      const bool chunked = record.Header("Transfer-Encoding").value_or("").find("chunked") != std::string::npos;
      bool whole = true;
      if (chunked) {
        whole = reader.Chunked(record.body);
      } else if (length) {
        whole = reader.Bytes(std::strtoull(length->c_str(), nullptr, 10), record.body);
      }
      Record(record);
      if (!whole) return;

      ScriptedReply reply{.status = 404, .body = "<html><body>Not Found</body></html>"};
      if (std::optional<Responder> responder = Find(LookupPath(target))) reply = (*responder)(record);
      const std::string connectionLine = record.Header("Connection").value_or("");
      const bool close = oneRequest || connectionLine == "close" || connectionLine == "Close";
      if (!connection.Send(AnswerBytes(reply, method == "HEAD", close)) || close) return;
    }
  }

  // CONNECT to the loopback only: a test never reaches another address.
  static void Tunnel(RawConnection& connection, RequestReader& reader, const std::string& target) {
    const std::size_t colon = target.rfind(':');
    const std::string host = target.substr(0, colon);
    const int port = colon == std::string::npos ? 443 : std::atoi(target.c_str() + colon + 1);
    const Socket upstream = (host == "127.0.0.1" || host == "localhost") ? ConnectToLoopback(port, kReadTimeoutMs)
                                                                           : kNoSocket;
    if (upstream == kNoSocket) {
      connection.Send("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    if (!connection.Send("HTTP/1.1 200 Connection established\r\n\r\n")) {
      CloseSocket(upstream);
      return;
    }
    connection.RelayWith(upstream, reader.TakeAll());
  }
};

HttpServer::HttpServer(Tls tls) : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.tls = tls;
  if (tls != Tls::kOff) {
    state.relay = FindRelay(state.unavailable);
  }
  state.server = std::make_unique<RawServer>([&state](RawConnection& connection) { state.Serve(connection); });
  state.port = state.server->Port();
}

HttpServer::~HttpServer() { state_->server.reset(); }

bool HttpServer::Available(std::string* why) const {
  if (state_->port <= 0) {
    if (why != nullptr) *why = "no free port on 127.0.0.1";
    return false;
  }
  if (state_->tls != Tls::kOff && !state_->relay) {
    if (why != nullptr) *why = state_->unavailable;
    return false;
  }
  return true;
}

int HttpServer::Port() const { return state_->port; }

std::string HttpServer::Authority() const {
  if (state_->tls == Tls::kOff || !state_->relay) return "127.0.0.1:" + std::to_string(state_->port);
  const int relayPort = state_->tls == Tls::kOn ? state_->relay->trustedPort : state_->relay->untrustedPort;
  return "localhost:" + std::to_string(relayPort);
}

std::string HttpServer::Origin() const {
  if (state_->tls == Tls::kOff) return "http://" + Authority();
  return "https://" + Authority() + "/@" + std::to_string(state_->port);
}

std::string HttpServer::Url(std::string_view path) const { return Origin() + std::string(path); }

void HttpServer::Reply(const std::string& path, ScriptedReply reply) {
  Answer(path, [reply = std::move(reply)](const RecordedRequest&) { return reply; });
}

void HttpServer::Answer(const std::string& path, Responder responder) {
  std::lock_guard lock(state_->mutex);
  state_->responders[path] = std::move(responder);
}

void HttpServer::ActAsForwardProxy() {
  std::lock_guard lock(state_->mutex);
  state_->proxy = true;
}

void HttpServer::KeepNoRecords() {
  std::lock_guard lock(state_->mutex);
  state_->recording = false;
}

std::vector<RecordedRequest> HttpServer::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

RecordedRequest HttpServer::LastRequest() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.empty() ? RecordedRequest{} : state_->requests.back();
}

std::size_t HttpServer::RequestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.size();
}

void HttpServer::ClearRequests() {
  std::lock_guard lock(state_->mutex);
  state_->requests.clear();
}

std::string HttpServer::CertificateFile() const {
  if (state_->tls == Tls::kOff || !state_->relay) return {};
  return state_->relay->folder + (state_->tls == Tls::kOn ? "/trusted.pem" : "/untrusted.pem");
}

}  // namespace kestrin::testsupport
