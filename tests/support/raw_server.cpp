#include "tests/support/raw_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/socket_wait.h"

namespace kestrin::testsupport {
namespace {

int ListenOnLoopback(int backlog, int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}


}  // namespace

std::string RawConnection::ReadHead(int timeoutMs) {
  std::string head;
  char byte = 0;
  // Byte by byte, so that nothing after the empty line is taken from the script.
  while (!head.ends_with("\r\n\r\n") && WaitForSocket(fd_, POLLIN, timeoutMs, stopping_)) {
    if (recv(fd_, &byte, 1, 0) != 1) break;
    head += byte;
  }
  return head;
}

std::string RawConnection::ReadSome(int timeoutMs) {
  if (!WaitForSocket(fd_, POLLIN, timeoutMs, stopping_)) return {};
  char chunk[16 * 1024];
  const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
  return n > 0 ? std::string(chunk, static_cast<std::size_t>(n)) : std::string();
}

bool RawConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void RawConnection::WaitUntilStopped() const {
  while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

struct RawServer::State {
  Script script;
  int listener = -1;
  int port = -1;
  std::atomic<bool> stopping{false};
  std::atomic<int> connections{0};
  std::thread acceptor;
  std::mutex mutex;
  std::vector<std::thread> workers;
};

RawServer::RawServer(Script script) : state_(std::make_unique<State>()) {
  state_->script = std::move(script);
  state_->listener = ListenOnLoopback(64, state_->port);
  EXPECT_GE(state_->listener, 0);
  if (state_->listener < 0) return;
  state_->acceptor = std::thread([state = state_.get()] {
    while (!state->stopping) {
      if (!WaitForSocket(state->listener, POLLIN, 100, state->stopping)) continue;
      const int fd = accept4(state->listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++state->connections;
      std::lock_guard lock(state->mutex);
      state->workers.emplace_back([state, fd] {
        {
          RawConnection connection(fd, state->stopping);
          state->script(connection);
        }
        shutdown(fd, SHUT_RDWR);
        close(fd);
      });
    }
  });
}

RawServer::~RawServer() {
  state_->stopping = true;
  if (state_->acceptor.joinable()) state_->acceptor.join();
  for (std::thread& worker : state_->workers) worker.join();
  if (state_->listener >= 0) close(state_->listener);
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

StalledListener::StalledListener() {
  listener_ = ListenOnLoopback(0, port_);
  EXPECT_GE(listener_, 0);
  if (listener_ < 0) return;
  // The one connection a queue of length 0 holds; later connection attempts are dropped.
  filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  pollfd entry{filler_, POLLOUT, 0};
  poll(&entry, 1, 1000);
}

StalledListener::~StalledListener() {
  if (filler_ >= 0) close(filler_);
  if (listener_ >= 0) close(listener_);
}

std::string StalledListener::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

int UnusedPort() {
  int port = -1;
  const int fd = ListenOnLoopback(1, port);
  if (fd >= 0) close(fd);
  return port;
}

}  // namespace kestrin::testsupport
