// A plain TCP server on 127.0.0.1 and a free port that runs a scripted behaviour on every
// connection, for answers no well-behaved HTTP server gives: garbage, a connection closed in the
// middle of a body, broken chunk sizes, a header block of any size byte for byte, silence.
//
//   RawServer server([](RawConnection& connection) {
//     connection.ReadHead();                                  // the request, up to its empty line
//     connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf");
//   });                                                       // returning closes the connection
//
// Each connection runs its script on a thread of its own. The destructor stops accepting, wakes
// scripts that wait (WaitUntilStopped, reads), and joins them all.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "tests/support/sockets.h"

namespace kestrin::testsupport {

class RawConnection {
 public:
  RawConnection(Socket socket, const std::atomic<bool>& stopping) : socket_(socket), stopping_(stopping) {}
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // Reads up to and including the first empty line (CR LF CR LF); returns what was read when the
  // peer closes, `timeoutMs` pass without a byte, or the server stops first.
  std::string ReadHead(int timeoutMs = 5000);
  // Reads whatever arrives within `timeoutMs`; empty on close, silence or stop.
  std::string ReadSome(int timeoutMs = 5000);
  // Sends all of `bytes`; false once the peer is gone.
  bool Send(std::string_view bytes);
  // Passes bytes both ways between this connection and `upstream`, after sending it `early`,
  // until either side closes, both are silent for 30 s, or the server stops; closes `upstream`.
  void RelayWith(Socket upstream, std::string_view early);
  // Holds the connection open, answering nothing, until the server stops.
  void WaitUntilStopped() const;
  [[nodiscard]] bool Stopping() const { return stopping_; }

 private:
  Socket socket_;
  const std::atomic<bool>& stopping_;
};

class RawServer {
 public:
  using Script = std::function<void(RawConnection&)>;

  // Listens on `port`, or on a free port when it is 0.
  explicit RawServer(Script script, int port = 0);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  [[nodiscard]] int Port() const;
  // "http://127.0.0.1:<port>" followed by `path`.
  [[nodiscard]] std::string Url(std::string_view path) const;
  [[nodiscard]] int ConnectionCount() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// Ready-made scripts for servers that misbehave in time or size.
namespace scripts {
// Reads the request and then answers nothing until the server stops.
[[nodiscard]] RawServer::Script Silent();
// Reads the request, sends `head`, then one byte of body every `intervalMs`, for ever: a server
// that is never quite quiet enough for a stall time-out.
[[nodiscard]] RawServer::Script Trickle(std::string head, int intervalMs);
// Reads the request, sends `head`, then body bytes as fast as the peer takes them, for ever.
[[nodiscard]] RawServer::Script Endless(std::string head);
// Reads the request, sends `answer` byte for byte, whatever its head claims, and closes.
[[nodiscard]] RawServer::Script Answer(std::string answer);
}  // namespace scripts

// A port on 127.0.0.1 that refuses every connection: bound and never listened on, so that no
// other test's server can take it while this lives (a port merely closed again could be).
class RefusedPort {
 public:
  RefusedPort() : socket_(BindOnLoopback(port_)) {}
  ~RefusedPort() { CloseSocket(socket_); }
  RefusedPort(const RefusedPort&) = delete;
  RefusedPort& operator=(const RefusedPort&) = delete;

  [[nodiscard]] int Port() const { return port_; }

 private:
  int port_ = 0;
  Socket socket_ = kNoSocket;
};

// A listening socket whose accept queue is full and never served: a connect to it hangs, as to a
// host that drops packets, until the client's connect time-out ends it.
class StalledListener {
 public:
  // With `freeAfterMs`, one more connection fits after that time: a connect begun before then is
  // made at the client's first retry, about a second in, and never answered.
  explicit StalledListener(int freeAfterMs = 0);
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;

  [[nodiscard]] int Port() const { return port_; }
  [[nodiscard]] std::string Url(std::string_view path) const;

 private:
  Socket listener_ = kNoSocket;
  Socket filler_ = kNoSocket;
  Socket taken_ = kNoSocket;
  std::thread freer_;
  int port_ = -1;
};

// A port on 127.0.0.1 on which nothing listens (bound, then released): connects are refused.
[[nodiscard]] int UnusedPort();

}  // namespace kestrin::testsupport
