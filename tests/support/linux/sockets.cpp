#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/sockets.h"

namespace kestrin::testsupport {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

Socket BindOnLoopback(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // A fixed port is shared with cpp-httplib's servers of the tests before, which ask for
  // SO_REUSEPORT: a connection of theirs that the program has not yet let go of (FIN_WAIT2, not
  // TIME_WAIT) keeps a listener without it off the port.
  if (port > 0) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  sockaddr_in address = Loopback(port > 0 ? port : 0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return fd;
}

Socket ListenOnLoopback(int backlog, int& port) {
  const Socket socket = BindOnLoopback(port);
  if (socket != kNoSocket && listen(static_cast<int>(socket), backlog) != 0) {
    CloseSocket(socket);
    return kNoSocket;
  }
  return socket;
}

Socket AcceptConnection(Socket listener) {
  const int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : fd;
}

Socket StartConnecting(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return kNoSocket;
  const sockaddr_in address = Loopback(port);
  connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return fd;
}

Socket ConnectToLoopback(int port, int timeoutMs) {
  const Socket fd = StartConnecting(port);
  if (fd == kNoSocket) return kNoSocket;
  const std::atomic<bool> never{false};
  int error = 0;
  socklen_t length = sizeof error;
  if (!WaitForSocket(fd, true, timeoutMs, never) ||
      getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
    CloseSocket(fd);
    return kNoSocket;
  }
  fcntl(static_cast<int>(fd), F_SETFL, fcntl(static_cast<int>(fd), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

long ReceiveSome(Socket socket, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = recv(static_cast<int>(socket), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long PeekSome(Socket socket, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = recv(static_cast<int>(socket), buffer, size, MSG_PEEK);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long SendSome(Socket socket, const char* bytes, std::size_t size) {
  for (;;) {
    const ssize_t n = send(static_cast<int>(socket), bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void ShutDownSocket(Socket socket) { shutdown(static_cast<int>(socket), SHUT_RDWR); }

void CloseSocket(Socket socket) {
  if (socket != kNoSocket) close(static_cast<int>(socket));
}

bool WaitForSocket(Socket socket, bool writable, int timeoutMs, const std::atomic<bool>& stopping) {
  for (int waited = 0; waited < timeoutMs && !stopping; waited += 50) {
    pollfd entry{static_cast<int>(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    const int ready = poll(&entry, 1, 50);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
  return false;
}

}  // namespace kestrin::testsupport
