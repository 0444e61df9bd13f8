#include "tests/support/raw_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrin::testsupport {

std::string RawConnection::ReadHead(int timeoutMs) {
  std::string head;
  char chunk[4096];
  // What has arrived is looked at first and only the head is taken, so that nothing after the
  // empty line is taken from the script. (Byte by byte it took milliseconds per head under Wine.)
  while (!head.ends_with("\r\n\r\n") && WaitForSocket(socket_, false, timeoutMs, stopping_)) {
    const long seen = PeekSome(socket_, chunk, sizeof chunk);
    if (seen <= 0) break;
    const std::size_t before = head.size();
    head.append(chunk, static_cast<std::size_t>(seen));
    const std::size_t end = head.find("\r\n\r\n", before < 3 ? 0 : before - 3);
    const std::size_t wanted = (end == std::string::npos ? head.size() : end + 4) - before;
    head.resize(before);
    while (head.size() - before < wanted) {
      const long n = ReceiveSome(socket_, chunk, wanted - (head.size() - before));
      if (n <= 0) return head;
      head.append(chunk, static_cast<std::size_t>(n));
    }
  }
  return head;
}

std::string RawConnection::ReadSome(int timeoutMs) {
  if (!WaitForSocket(socket_, false, timeoutMs, stopping_)) return {};
  char chunk[16 * 1024];
  const long n = ReceiveSome(socket_, chunk, sizeof chunk);
  return n > 0 ? std::string(chunk, static_cast<std::size_t>(n)) : std::string();
}

bool RawConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const long n = SendSome(socket_, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void RawConnection::RelayWith(Socket upstream, std::string_view early) {
  const auto pass = [this](Socket from, Socket to) {
    char chunk[16 * 1024];
    while (WaitForSocket(from, false, 30'000, stopping_)) {
      const long n = ReceiveSome(from, chunk, sizeof chunk);
      if (n <= 0) break;
      for (long sent = 0; sent < n;) {
        const long more = SendSome(to, chunk + sent, static_cast<std::size_t>(n - sent));
        if (more <= 0) return;
        sent += more;
      }
    }
  };
  bool ok = true;
  if (!early.empty()) ok = RawConnection(upstream, stopping_).Send(early);
  if (ok) {
    // One direction on a thread of its own; when either ends, both sockets are shut so that
    // the other ends too.
    std::thread back([&] {
      pass(upstream, socket_);
      ShutDownSocket(socket_);
      ShutDownSocket(upstream);
    });
    pass(socket_, upstream);
    ShutDownSocket(socket_);
    ShutDownSocket(upstream);
    back.join();
  }
  CloseSocket(upstream);
}

void RawConnection::WaitUntilStopped() const {
  while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

struct RawServer::State {
  Script script;
  Socket listener = kNoSocket;
  int port = -1;
  std::atomic<bool> stopping{false};
  std::atomic<int> connections{0};
  std::thread acceptor;
  std::mutex mutex;
  std::vector<std::thread> workers;
};

RawServer::RawServer(Script script, int port) : state_(std::make_unique<State>()) {
  state_->script = std::move(script);
  state_->port = port;
  state_->listener = ListenOnLoopback(64, state_->port);
  EXPECT_NE(state_->listener, kNoSocket);
  if (state_->listener == kNoSocket) return;
  state_->acceptor = std::thread([state = state_.get()] {
    while (!state->stopping) {
      if (!WaitForSocket(state->listener, false, 100, state->stopping)) continue;
      const Socket fd = AcceptConnection(state->listener);
      if (fd == kNoSocket) continue;
      ++state->connections;
      std::lock_guard lock(state->mutex);
      state->workers.emplace_back([state, fd] {
        {
          RawConnection connection(fd, state->stopping);
          state->script(connection);
        }
        ShutDownSocket(fd);
        CloseSocket(fd);
      });
    }
  });
}

RawServer::~RawServer() {
  state_->stopping = true;
  if (state_->acceptor.joinable()) state_->acceptor.join();
  for (std::thread& worker : state_->workers) worker.join();
  CloseSocket(state_->listener);
}

int RawServer::Port() const { return state_->port; }

std::string RawServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(path);
}

int RawServer::ConnectionCount() const { return state_->connections; }

namespace scripts {

RawServer::Script Silent() {
  return [](RawConnection& connection) {
    connection.ReadHead();
    connection.WaitUntilStopped();
  };
}

RawServer::Script Trickle(std::string head, int intervalMs) {
  return [head = std::move(head), intervalMs](RawConnection& connection) {
    connection.ReadHead();
    if (!connection.Send(head)) return;
    while (!connection.Stopping() && connection.Send("x")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
  };
}

RawServer::Script Endless(std::string head) {
  return [head = std::move(head)](RawConnection& connection) {
    connection.ReadHead();
    if (!connection.Send(head)) return;
    const std::string piece(64 * 1024, 'x');
    while (!connection.Stopping() && connection.Send(piece)) {
    }
  };
}

RawServer::Script Answer(std::string answer) {
  return [answer = std::move(answer)](RawConnection& connection) {
    connection.ReadHead();
    connection.Send(answer);
  };
}

}  // namespace scripts

StalledListener::StalledListener(int freeAfterMs) {
  port_ = 0;
  listener_ = ListenOnLoopback(0, port_);
  EXPECT_NE(listener_, kNoSocket);
  if (listener_ == kNoSocket) return;
  // The one connection a queue of length 0 holds; later connection attempts are dropped.
  filler_ = StartConnecting(port_);
  const std::atomic<bool> never{false};
  (void)WaitForSocket(filler_, true, 1000, never);
  if (freeAfterMs > 0) {
    freer_ = std::thread([this, freeAfterMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(freeAfterMs));
      taken_ = AcceptConnection(listener_);
    });
  }
}

StalledListener::~StalledListener() {
  if (freer_.joinable()) freer_.join();
  CloseSocket(taken_);
  CloseSocket(filler_);
  CloseSocket(listener_);
}

std::string StalledListener::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

int UnusedPort() {
  int port = 0;
  CloseSocket(ListenOnLoopback(1, port));
  return port;
}

}  // namespace kestrin::testsupport
