#include "tests/support/http_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/header_line.h"
#include "tests/support/linux/tls_certificate.h"
#include "tests/support/sockets.h"

namespace kestrin::testsupport {
namespace {

constexpr int kReadTimeoutMs = 5000;
constexpr int kKeepAliveMs = 2000;
constexpr int kKeepAliveRequests = 100;
constexpr std::size_t kLongestHead = 1 << 20;

// The socket seen through cpp-httplib's stream interface, with a buffer of our own in which the
// head of each request can be read before cpp-httplib parses it.
class RecordingStream final : public httplib::Stream {
 public:
  RecordingStream(int fd, SSL* ssl, const std::atomic<bool>& stopping) : fd_(fd), ssl_(ssl), stopping_(stopping) {}
  using httplib::Stream::write;

  bool is_readable() const override {
    return start_ < buffer_.size() || (ssl_ != nullptr && SSL_pending(ssl_) > 0) ||
           WaitForSocket(fd_, false, kReadTimeoutMs, stopping_);
  }
  bool is_writable() const override { return WaitForSocket(fd_, true, kReadTimeoutMs, stopping_); }

  ssize_t read(char* ptr, std::size_t size) override {
    if (start_ == buffer_.size() && !Fill(kReadTimeoutMs)) return -1;
    const std::size_t n = std::min(size, buffer_.size() - start_);
    std::copy_n(buffer_.data() + start_, n, ptr);
    start_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, std::size_t size) override {
    if (!is_writable()) return -1;
    if (ssl_ != nullptr) {
      const int n = SSL_write(ssl_, ptr, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
      return n > 0 ? n : -1;
    }
    const ssize_t n = send(fd_, ptr, size, MSG_NOSIGNAL);
    return n > 0 ? n : -1;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
  socket_t socket() const override { return fd_; }

  // The next request's head, up to and including its empty line, left in the buffer for
  // cpp-httplib; false when the peer closed, went quiet for `timeoutMs`, or sent no end.
  bool PeekHead(std::string& head, int timeoutMs) {
    for (;;) {
      const std::size_t end = buffer_.find("\r\n\r\n", start_);
      if (end != std::string::npos) {
        head = buffer_.substr(start_, end + 4 - start_);
        return true;
      }
      if (buffer_.size() - start_ > kLongestHead || !Fill(timeoutMs)) return false;
    }
  }

  // Removes `n` bytes that begin `offset` bytes into the unread part and returns them.
  std::string Cut(std::size_t offset, std::size_t n) {
    Ensure(offset + n);
    const std::size_t from = std::min(start_ + offset, buffer_.size());
    std::string cut = buffer_.substr(from, n);
    buffer_.erase(from, cut.size());
    return cut;
  }

  // Takes the body that follows a head of `headLength` bytes out of the stream: `length` bytes,
  // or chunks when `length` is nothing. False when the peer sent less or broken chunk sizes.
  bool CutBody(std::size_t headLength, std::optional<std::size_t> length, std::string& body) {
    if (length) {
      body = Cut(headLength, *length);
      return body.size() == *length;
    }
    std::size_t at = headLength;
    for (;;) {
      std::string line;
      if (!LineAt(at, line)) return false;
      char* end = nullptr;
      const unsigned long long size = std::strtoull(line.c_str(), &end, 16);
      if (end == line.c_str()) return false;
      if (size == 0) {
        while (LineAt(at, line) && !line.empty()) {
        }  // trailer lines up to the empty one
        break;
      }
      if (!Ensure(at + size + 2)) return false;
      body.append(buffer_, start_ + at, size);
      at += size + 2;
    }
    buffer_.erase(start_ + headLength, at - headLength);
    return true;
  }

  // Puts `head` in place of the first `length` unread bytes.
  void ReplaceHead(std::size_t length, const std::string& head) { buffer_.replace(start_, length, head); }

  // The unread bytes, taken out of the buffer.
  std::string TakeBuffered() {
    std::string rest = buffer_.substr(start_);
    buffer_.clear();
    start_ = 0;
    return rest;
  }

 private:
  bool Fill(int timeoutMs) {
    if (start_ == buffer_.size()) {
      buffer_.clear();
      start_ = 0;
    }
    char chunk[16 * 1024];
    for (;;) {
      if (!(ssl_ != nullptr && SSL_pending(ssl_) > 0) && !WaitForSocket(fd_, false, timeoutMs, stopping_)) return false;
      const int n = ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk)
                                    : static_cast<int>(recv(fd_, chunk, sizeof chunk, 0));
      if (n > 0) {
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
      }
      if (ssl_ != nullptr && SSL_get_error(ssl_, n) == SSL_ERROR_WANT_READ) continue;
      if (ssl_ == nullptr && n < 0 && errno == EINTR) continue;
      return false;
    }
  }

  bool Ensure(std::size_t n) {
    while (buffer_.size() - start_ < n) {
      if (!Fill(kReadTimeoutMs)) return false;
    }
    return true;
  }

  // The line that begins `at` bytes into the unread part, without CR LF; `at` moves past it.
  bool LineAt(std::size_t& at, std::string& line) {
    for (;;) {
      const std::size_t end = buffer_.find("\r\n", start_ + at);
      if (end != std::string::npos) {
        line = buffer_.substr(start_ + at, end - start_ - at);
        at = end + 2 - start_;
        return true;
      }
      if (buffer_.size() - start_ > kLongestHead || !Fill(kReadTimeoutMs)) return false;
    }
  }

  void Address(bool remote, std::string& ip, int& port) const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int result = remote ? getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length)
                              : getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    if (result == 0) inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    ip = text;
    port = result == 0 ? ntohs(address.sin_port) : 0;
  }

  int fd_;
  SSL* ssl_;
  const std::atomic<bool>& stopping_;
  std::string buffer_;
  std::size_t start_ = 0;
};

// A stream that replays fixed request bytes and swallows the answer.
class ReplayStream final : public httplib::Stream {
 public:
  explicit ReplayStream(std::string bytes) : bytes_(std::move(bytes)) {}
  using httplib::Stream::write;
  bool is_readable() const override { return at_ < bytes_.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size() - at_);
    std::copy_n(bytes_.data() + at_, n, ptr);
    at_ += n;
    return n > 0 ? static_cast<ssize_t>(n) : -1;
  }
  ssize_t write(const char*, std::size_t size) override { return static_cast<ssize_t>(size); }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override { get_remote_ip_and_port(ip, port); }
  socket_t socket() const override { return INVALID_SOCKET; }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

// The head as cpp-httplib is to see it once the body is taken out: no Transfer-Encoding, and
// Content-Length 0 (without one, a POST would be read up to the end of the connection).
std::string HeadWithoutBody(const RecordedRequest& record) {
  std::string head = record.requestLine + "\r\n";
  for (const std::string& line : record.headerLines) {
    if (auto parts = SplitHeaderLine(line);
        parts && (EqualsIgnoringCase(parts->first, "Content-Length") || EqualsIgnoringCase(parts->first, "Transfer-Encoding"))) {
      continue;
    }
    head += line + "\r\n";
  }
  return head + "Content-Length: 0\r\n\r\n";
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

class RecordingServer;

struct HttpServer::State {
  bool tls = false;
  std::unique_ptr<TestCertificate> certificate;
  SSL_CTX* sslContext = nullptr;
  std::atomic<bool> stopping{false};
  std::unique_ptr<RecordingServer> server;
  std::thread thread;
  int port = -1;

  mutable std::mutex mutex;
  std::map<std::string, Handler> handlers;
  std::vector<RecordedRequest> requests;
  bool proxy = false;
  bool recording = true;

  void Record(RecordedRequest record) {
    std::lock_guard lock(mutex);
    if (recording) requests.push_back(std::move(record));
  }
  std::optional<Handler> Find(const std::string& path) const {
    std::lock_guard lock(mutex);
    if (auto exact = handlers.find(path); exact != handlers.end()) return exact->second;
    const Handler* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [key, handler] : handlers) {
      if (key.ends_with('*') && path.starts_with(std::string_view(key).substr(0, key.size() - 1)) &&
          key.size() > bestLength) {
        best = &handler;
        bestLength = key.size();
      }
    }
    return best != nullptr ? std::optional<Handler>(*best) : std::nullopt;
  }
};

namespace {

// The request being served on this thread, for its handler.
struct CurrentRequest {
  RecordedRequest record;
  std::string target;
  std::string body;
  std::optional<std::size_t> length;
  bool chunked = false;
};
thread_local CurrentRequest tCurrent;

void Relay(RecordingStream& client, int target, const std::atomic<bool>& stopping) {
  std::string early = client.TakeBuffered();
  if (!early.empty() && send(target, early.data(), early.size(), MSG_NOSIGNAL) < 0) return;
  char chunk[16 * 1024];
  for (int idleMs = 0; idleMs < 30'000 && !stopping;) {
    pollfd entries[2] = {{client.socket(), POLLIN, 0}, {target, POLLIN, 0}};
    const int ready = poll(entries, 2, 50);
    if (ready <= 0) {
      idleMs += 50;
      continue;
    }
    idleMs = 0;
    for (int side = 0; side < 2; ++side) {
      if ((entries[side].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = recv(entries[side].fd, chunk, sizeof chunk, 0);
      if (n <= 0 || send(entries[1 - side].fd, chunk, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
    }
  }
}

}  // namespace

class RecordingServer final : public httplib::Server {
 public:
  explicit RecordingServer(HttpServer::State& state) : state_(state) {
    new_task_queue = [] { return new httplib::ThreadPool(16); };
    set_payload_max_length(std::numeric_limits<std::size_t>::max());
    const auto dispatch = [this](const httplib::Request& request, httplib::Response& response) {
      Dispatch(request, response);
    };
    Get(".*", dispatch);
    Post(".*", dispatch);
    Put(".*", dispatch);
    Patch(".*", dispatch);
    Delete(".*", dispatch);
    Options(".*", dispatch);
    WarmUp();
  }

 private:
  // cpp-httplib builds some tables on first use, behind the guard of a static that ThreadSanitizer
  // cannot see in a library it did not instrument: build them here, before any worker exists.
  void WarmUp() {
    for (const char* request : {"GET /warm-up?a=1 HTTP/1.1\r\nHost: x\r\nAccept: */*\r\n\r\n",
                                "HEAD /warm-up HTTP/1.1\r\nHost: x\r\n\r\n",
                                "POST /warm-up HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\n"
                                "Content-Length: 2\r\n\r\nab"}) {
      ReplayStream stream(request);
      bool closed = false;
      process_request(stream, true, closed, nullptr);
    }
  }

  void Dispatch(const httplib::Request& constRequest, httplib::Response& response) {
    // cpp-httplib's own request object, not const in its making: give it back its body.
    auto& request = const_cast<httplib::Request&>(constRequest);
    request.body = tCurrent.body;
    request.headers.erase("Content-Length");
    if (tCurrent.length) request.headers.emplace("Content-Length", std::to_string(*tCurrent.length));
    if (tCurrent.chunked) request.headers.emplace("Transfer-Encoding", "chunked");
    if (std::optional<HttpServer::Handler> handler = state_.Find(LookupPath(tCurrent.target))) {
      (*handler)(request, response);
    } else {
      response.status = 404;
      response.set_content("<html><body>Not Found</body></html>", "text/html");
    }
  }

  bool process_and_close_socket(socket_t sock) override {
    const timeval limit{kReadTimeoutMs / 1000, 0};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL* ssl = nullptr;
    if (state_.tls) {
      ssl = SSL_new(state_.sslContext);
      if (ssl == nullptr || SSL_set_fd(ssl, sock) != 1 || SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        close(sock);
        return false;
      }
    }
    RecordingStream stream(sock, ssl, state_.stopping);
    bool served = true;
    for (int count = 0; count < kKeepAliveRequests && served; ++count) {
      std::string head;
      if (!stream.PeekHead(head, count == 0 ? kReadTimeoutMs : kKeepAliveMs)) break;
      RecordedRequest record = ParseRequestHead(head);
      const std::string method = record.Method();
      tCurrent.target = record.Target();
      const std::optional<std::string> length = record.Header("Content-Length");
      const bool proxying = [&] {
        std::lock_guard lock(state_.mutex);
        return state_.proxy;
      }();
      if (method == "CONNECT" && proxying) {
        state_.Record(std::move(record));
        Tunnel(stream, head.size());
        break;
      }
      // The body is read here: cpp-httplib reads none for GET or HEAD and refuses form bodies
      // over 8 KB. It sees the head with the body taken away.
      std::string body;
      std::optional<std::size_t> bodyLength;
      if (length) bodyLength = std::strtoull(length->c_str(), nullptr, 10);
      const bool chunked = record.Header("Transfer-Encoding").value_or("").find("chunked") != std::string::npos;
      const bool hasBody = chunked || bodyLength.value_or(0) > 0;
      if (hasBody && !stream.CutBody(head.size(), chunked ? std::nullopt : bodyLength, body)) {
        state_.Record(std::move(record));
        break;
      }
      if (length || chunked) stream.ReplaceHead(head.size(), HeadWithoutBody(record));
      record.body = body;
      tCurrent.record = record;
      state_.Record(std::move(record));
      tCurrent.body = std::move(body);
      tCurrent.length = bodyLength;
      tCurrent.chunked = chunked;
      bool closed = false;
      served = process_request(stream, count + 1 == kKeepAliveRequests, closed, nullptr) && !closed;
    }
    if (ssl != nullptr) {
      SSL_shutdown(ssl);
      SSL_free(ssl);
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return true;
  }

  void Tunnel(RecordingStream& stream, std::size_t headLength) {
    stream.Cut(0, headLength);
    const std::string target = tCurrent.target;
    const std::size_t colon = target.rfind(':');
    const std::string host = target.substr(0, colon);
    const int port = colon == std::string::npos ? 443 : std::atoi(target.c_str() + colon + 1);
    // Only the loopback: a test never reaches another address.
    const int fd = (host == "127.0.0.1" || host == "localhost") ? ConnectLoopback(port) : -1;
    if (fd < 0) {
      stream.write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    if (stream.write("HTTP/1.1 200 Connection established\r\n\r\n") > 0) Relay(stream, fd, state_.stopping);
    close(fd);
  }

  HttpServer::State& state_;
};

HttpServer::HttpServer(Tls tls) : state_(std::make_unique<State>()) {
  std::signal(SIGPIPE, SIG_IGN);  // TLS writes to a peer that left must fail, not end the tests
  // Every server has a certificate of its own, trusted only once a test names its file.
  state_->tls = tls != Tls::kOff;
  if (state_->tls) {
    state_->certificate = std::make_unique<TestCertificate>();
    state_->sslContext = SSL_CTX_new(TLS_server_method());
    EXPECT_NE(state_->sslContext, nullptr);
    EXPECT_EQ(SSL_CTX_use_certificate(state_->sslContext, state_->certificate->Certificate()), 1);
    EXPECT_EQ(SSL_CTX_use_PrivateKey(state_->sslContext, state_->certificate->Key()), 1);
  }
  state_->server = std::make_unique<RecordingServer>(*state_);
  state_->port = state_->server->bind_to_any_port("127.0.0.1");
  EXPECT_GT(state_->port, 0);
  if (state_->port <= 0) return;
  state_->thread = std::thread([server = state_->server.get()] { server->listen_after_bind(); });
  // stop() does nothing before the loop runs, and the destructor relies on it.
  while (!state_->server->is_running()) std::this_thread::yield();
}

HttpServer::~HttpServer() {
  state_->stopping = true;
  if (state_->thread.joinable()) {
    state_->server->stop();
    state_->thread.join();
  }
  state_->server.reset();
  SSL_CTX_free(state_->sslContext);
}

bool HttpServer::Available(std::string*) const { return state_->port > 0; }

int HttpServer::Port() const { return state_->port; }

std::string HttpServer::Authority() const { return "127.0.0.1:" + std::to_string(state_->port); }

std::string HttpServer::Origin() const { return std::string(state_->tls ? "https://" : "http://") + Authority(); }

std::string HttpServer::Url(std::string_view path) const { return Origin() + std::string(path); }

void HttpServer::Handle(const std::string& path, Handler handler) {
  std::lock_guard lock(state_->mutex);
  state_->handlers[path] = std::move(handler);
}

void HttpServer::Reply(const std::string& path, ScriptedReply reply) {
  Answer(path, [reply = std::move(reply)](const RecordedRequest&) { return reply; });
}

void HttpServer::Answer(const std::string& path, Responder responder) {
  Handle(path, [responder = std::move(responder)](const httplib::Request&, httplib::Response& response) {
    const ScriptedReply reply = responder(tCurrent.record);
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) response.headers.emplace(name, value);
    response.set_content(reply.body, reply.contentType.c_str());
  });
}

void HttpServer::KeepNoRecords() {
  std::lock_guard lock(state_->mutex);
  state_->recording = false;
}

void HttpServer::ActAsForwardProxy() {
  std::lock_guard lock(state_->mutex);
  state_->proxy = true;
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
  return state_->certificate ? state_->certificate->CertificateFile() : std::string();
}

}  // namespace kestrin::testsupport
