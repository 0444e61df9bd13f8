// Loopback sockets for the test servers: POSIX sockets on Linux, Winsock on Windows
// (tests/support/linux/ and windows/sockets.cpp).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kestrin::testsupport {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// A socket bound to 127.0.0.1 at `port`, or at a free port when `port` is 0 or less, and not yet
// listening: a connection to it is refused. The port taken goes back to `port`. kNoSocket on failure.
[[nodiscard]] Socket BindOnLoopback(int& port);
// A socket listening on 127.0.0.1 at `port`, or at a free port when `port` is 0 or less; the port
// taken goes back to `port`. kNoSocket on failure.
[[nodiscard]] Socket ListenOnLoopback(int backlog, int& port);
// The next connection waiting on `listener`; kNoSocket when none could be taken.
[[nodiscard]] Socket AcceptConnection(Socket listener);
// A connection to 127.0.0.1:`port`, started and not waited for.
[[nodiscard]] Socket StartConnecting(int port);
// A connection to 127.0.0.1:`port`, made and blocking; kNoSocket when refused or not made in time.
[[nodiscard]] Socket ConnectToLoopback(int port, int timeoutMs);
// Bytes received (0 when the peer closed, -1 on error) and sent (-1 on error); never a signal.
[[nodiscard]] long ReceiveSome(Socket socket, char* buffer, std::size_t size);
[[nodiscard]] long SendSome(Socket socket, const char* bytes, std::size_t size);
// ReceiveSome that leaves the bytes waiting, for the next receive to take.
[[nodiscard]] long PeekSome(Socket socket, char* buffer, std::size_t size);
// Ends both directions, so that the peer sees the close at once.
void ShutDownSocket(Socket socket);
void CloseSocket(Socket socket);
// Waits up to `timeoutMs` for the socket to be readable (or writable), in short slices so that a
// stopping server is noticed quickly; false on silence, error or stop.
[[nodiscard]] bool WaitForSocket(Socket socket, bool writable, int timeoutMs, const std::atomic<bool>& stopping);

}  // namespace kestrin::testsupport
