#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/sockets.h"

namespace kestrin::testsupport {
namespace {

// Winsock wants starting once per process before the first socket.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

}  // namespace

Socket BindOnLoopback(int& port) {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Windows would let a second listener share the port: never.
  const BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in address = Loopback(port > 0 ? port : 0);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return static_cast<Socket>(s);
}

Socket ListenOnLoopback(int backlog, int& port) {
  const Socket socket = BindOnLoopback(port);
  if (socket != kNoSocket && listen(Native(socket), backlog) != 0) {
    CloseSocket(socket);
    return kNoSocket;
  }
  return socket;
}

Socket AcceptConnection(Socket listener) {
  const SOCKET s = accept(Native(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s);
}

Socket StartConnecting(int port) {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  const sockaddr_in address = Loopback(port);
  connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return static_cast<Socket>(s);
}

Socket ConnectToLoopback(int port, int timeoutMs) {
  const Socket s = StartConnecting(port);
  if (s == kNoSocket) return kNoSocket;
  const std::atomic<bool> never{false};
  int error = 0;
  int length = sizeof error;
  if (!WaitForSocket(s, true, timeoutMs, never) ||
      getsockopt(Native(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error != 0) {
    CloseSocket(s);
    return kNoSocket;
  }
  u_long blocking = 0;
  ioctlsocket(Native(s), FIONBIO, &blocking);
  return s;
}

long ReceiveSome(Socket socket, char* buffer, std::size_t size) {
  return recv(Native(socket), buffer, static_cast<int>(size), 0);
}

long PeekSome(Socket socket, char* buffer, std::size_t size) {
  return recv(Native(socket), buffer, static_cast<int>(size), MSG_PEEK);
}

long SendSome(Socket socket, const char* bytes, std::size_t size) {
  return send(Native(socket), bytes, static_cast<int>(size), 0);
}

void ShutDownSocket(Socket socket) { shutdown(Native(socket), SD_BOTH); }

void CloseSocket(Socket socket) {
  if (socket != kNoSocket) closesocket(Native(socket));
}

bool WaitForSocket(Socket socket, bool writable, int timeoutMs, const std::atomic<bool>& stopping) {
  for (int waited = 0; waited < timeoutMs && !stopping; waited += 50) {
    WSAPOLLFD entry{Native(socket), static_cast<SHORT>(writable ? POLLWRNORM : POLLRDNORM), 0};
    const int ready = WSAPoll(&entry, 1, 50);
    if (ready > 0) return true;
    if (ready < 0) return false;
  }
  return false;
}

}  // namespace kestrin::testsupport
