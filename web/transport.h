// What the request routine needs from an HTTP client: a session (agent and proxy), a connection
// (host and port) and a request (method, object, flags) that is sent once, read in chunks and
// asked for its raw response header block. The handles close when destroyed; a request must be
// destroyed before its connection and the connection before its session.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/text.h"

namespace kestrin {

// Request flags; the values are the ones the Windows client library uses for the same switches.
inline constexpr std::uint32_t kFlagReload = 0x80000000;                  // never from a cache
inline constexpr std::uint32_t kFlagNeedFile = 0x00000010;
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;               // no cookie store
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kFlagSecure = 0x00800000;                  // TLS
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;

// How the session reaches servers: directly (the system's proxy settings unused) or through the
// proxies named in the session's proxy text.
enum class ProxyAccess : int { kDirect = 1, kProxy = 3 };

// How a request ended, so that a caller can tell a failed transfer from an empty answer.
enum class TransferOutcome : int {
  kNotSent,        // never sent: an invalid address, or no handle could be opened
  kComplete,       // a whole response arrived, whatever its HTTP status
  kTimedOut,       // connect time-out, stall time-out or the overall deadline
  kConnectFailed,  // name not resolved, connection refused, host unreachable
  kTlsFailed,      // certificate or handshake refused
  kTooLarge,       // the body went over its cap
  kFailed,         // anything else: closed mid-body, broken chunks, protocol error, redirect loop
};

// Limits of one request that the transport enforces itself.
struct RequestLimits {
  std::int64_t deadlineMs = 0;  // the whole request, connect included; 0 = none
};

class TransportRequest {
 public:
  virtual ~TransportRequest() = default;
  // Starts the request with the header lines (joined by CR LF) and, for POST and HEAD, `body`,
  // which must stay alive until the request is destroyed. GET never sends a body; POST always
  // sends one, of length 0 when empty; HEAD only a non-empty one. Failures show up as reads of 0.
  // A request destroyed before its body has been read to the end stops its transfer cleanly.
  virtual void Send(const Text& headers, std::span<const std::uint8_t> body, const RequestLimits& limits) = 0;
  // Copies up to `buffer.size()` bytes of the response body into `buffer`; 0 at the end of the
  // body, after a failure, and after a time-out.
  virtual int Read(std::span<std::uint8_t> buffer) = 0;
  // The final response's HTTP status; 0 when none arrived.
  [[nodiscard]] virtual int Status() = 0;
  // How the transfer ended; valid once a read has returned 0. kNotSent before a send.
  [[nodiscard]] virtual TransferOutcome Outcome() = 0;
  // The body length the final response announced, once a read has delivered bytes; -1 unknown.
  [[nodiscard]] virtual std::int64_t AnnouncedLength() = 0;
  // The final response's raw header block (status line and header lines, each ending in CR LF,
  // and the closing empty line) when it and a terminating NUL fit in `capacity` bytes; nothing
  // when it does not fit or no complete block arrived.
  [[nodiscard]] virtual std::optional<Text> RawHeaders(int capacity) = 0;
};

class TransportConnection {
 public:
  virtual ~TransportConnection() = default;
  // A request for `object` (path and query); null when it cannot be made.
  [[nodiscard]] virtual std::unique_ptr<TransportRequest> OpenRequest(const Text& method, const Text& object,
                                                                      const Text& version,
                                                                      std::uint32_t flags) = 0;
};

class TransportSession {
 public:
  virtual ~TransportSession() = default;
  // A connection to `host` on `port` (0: the scheme's default port); null for an empty host or
  // a port outside 0..65535.
  [[nodiscard]] virtual std::unique_ptr<TransportConnection> Connect(const Text& host, int port) = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // A session sending `agent` as the user agent. With kProxy, `proxyText` lists proxies as
  // "host:port" (every scheme) or "scheme=host:port" entries separated by spaces or ";".
  [[nodiscard]] virtual std::unique_ptr<TransportSession> OpenSession(const Text& agent, ProxyAccess access,
                                                                      const Text& proxyText) = 0;
};

// The platform's transport: libcurl on Linux (web/linux/), WinINet on Windows (web/windows/).
// Thread-safe; requests on different threads are independent apart from the process-wide cookie
// store.
[[nodiscard]] Transport& DefaultTransport();

// The proxy of a proxy list that serves `scheme` ("http" or "https"): its "scheme=" entry, else
// the first entry without a scheme; empty when none applies. The libcurl backend's reading of the
// list; WinINet reads it itself.
[[nodiscard]] Text ProxyForScheme(const Text& proxyText, std::string_view scheme);

// Tests only: the connect time-out and how long a transfer may receive nothing before it ends
// (rounded up to whole seconds by libcurl), in milliseconds. The program keeps 60 s and 30 s;
// each request's overall deadline (RequestLimits) bounds both.
void SetWebTimeoutsForTesting(std::int64_t connectMilliseconds, std::int64_t idleMilliseconds);
// Tests only: every request's deadline shortened to at most this many milliseconds, so that a
// test of a caller's own limit need not wait for it; 0 drops the bound.
void SetLongestDeadlineForTesting(std::int64_t milliseconds);
// Tests only: a PEM file of certificates trusted besides the system store; empty to drop it.
void SetExtraCaFileForTesting(const std::string& path);

}  // namespace kestrin
