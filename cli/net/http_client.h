// The tool's HTTP requests, on the core's web request: status and transfer outcome included,
// the proxy chosen as curl chooses it, and one deadline for a whole run's network time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "web/transport.h"

namespace kestrin::cli {

enum class Transfer {
  kComplete,         // a whole answer arrived, whatever its status
  kTimedOut,
  kConnectFailed,    // refused or unreachable
  kTooLarge,         // the body went over its cap
  kBroken,           // the connection broke or closed before a whole answer came
  kFailed,           // never sent
  kNameNotResolved,  // the host's name (or the proxy's) has no address
  kTlsFailed,        // certificate or handshake refused
};

struct HttpReply {
  Transfer transfer = Transfer::kFailed;
  int status = 0;    // the final answer's status; 0 when none arrived
  std::string body;  // empty unless the transfer completed
};

struct HttpLimits {
  std::int64_t timeoutMs = 60000;           // the whole request
  std::int64_t maxBodyBytes = 1024 * 1024;  // bodies past this fail as kTooLarge
};

// The proxy variables as curl reads them: http_proxy in lower case only (a CGI program's
// HTTP_PROXY comes from a request header), the others in either case, lower case first.
struct ProxyEnvironment {
  std::string http, https, all, no;
  // From the process environment.
  [[nodiscard]] static ProxyEnvironment FromProcess();
};

// The proxy a request to `address` goes through, or empty for a direct one: `explicitProxy`
// (--proxy) when given, else https_proxy or http_proxy by scheme, else all_proxy; none when
// no_proxy is "*" or lists the host or a domain it is in (a leading dot optional).
[[nodiscard]] std::string ProxyFor(std::string_view address, std::string_view explicitProxy,
                                   const ProxyEnvironment& environment);

// What every later request of this process uses: `proxy` (--proxy) over the environment's, and
// a deadline (SteadyMs, 0 for none) after which nothing more is sent and requests in flight end.
void SetNetworkSettings(std::string proxy, std::int64_t deadlineMs);
// Whether the run's deadline has passed, or will have within `withinMs`.
[[nodiscard]] bool NetworkDeadlineWithin(std::int64_t withinMs);
// What is left of the run's deadline, in milliseconds; 0 when it has passed or there is none.
[[nodiscard]] std::int64_t NetworkTimeLeftMs();

// How a request to `address` goes out under the run's settings: the proxy chosen (empty for a
// direct connection), and how long it may take: `limitMs`, cut to what is left of the run's
// deadline; 0 when nothing is left, and the request must not be sent.
struct RequestRoute {
  std::string proxy;
  std::int64_t timeoutMs = 0;
};
[[nodiscard]] RequestRoute RouteFor(const std::string& address, std::int64_t limitMs);
// How a transfer of the core's transport that went by `route` ended, in the tool's terms. A
// failed connection whose host (or proxy) has no address is told as a failed name lookup, so
// that a typo in a host is not read as a server that is down.
[[nodiscard]] Transfer TransferOf(TransferOutcome outcome, const std::string& address, const RequestRoute& route);

// The host of an address, or of a proxy written with or without a scheme: in lower case, without
// user or port; an IPv6 host keeps its brackets, as an address writes it. The window's reading
// (web/address.h) takes a user name for the host, which would name a proxy's user here.
[[nodiscard]] std::string HostOf(std::string_view address);

// Who the tool's requests say they come from, and their header lines (with a Content-Type line
// when `contentType` is given), the same for every request the tool sends but a list page's.
inline constexpr std::string_view kUserAgent = "kestrin-cli/1.0";
[[nodiscard]] Text RequestHeaders(std::string_view contentType);

// GET of `address`.
[[nodiscard]] HttpReply HttpGet(const std::string& address, const HttpLimits& limits);
// POST of `body` with the given content type.
[[nodiscard]] HttpReply HttpPost(const std::string& address, std::string_view contentType, std::string_view body,
                                 const HttpLimits& limits);

// A short description of a reply that did not complete, or of its status with its reason
// phrase ("HTTP 503 Service Unavailable"), in the reader's language.
[[nodiscard]] std::string DescribeReply(const HttpReply& reply);
// "HOST: cause (N attempts)": the host the failure came from (the proxy when one was used), what
// went wrong and how often it was tried.
[[nodiscard]] std::string DescribeFailure(std::string_view address, const HttpReply& reply, int attempts);

}  // namespace kestrin::cli
