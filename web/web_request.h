// The one routine through which the program speaks HTTP: synchronous, a session of its own per call.
#pragma once

#include <cstdint>

#include "runtime/text.h"
#include "web/transport.h"

namespace kestrin {

enum class HttpMethod : int { kGet = 0, kPost = 1, kHead = 2 };

// The limits a request gets unless its caller sets tighter ones: two minutes for the whole
// request and 64 MiB of body. Both suit a list page; the body cap keeps every byte position of
// the page, and of the texts made from it, far inside the 32-bit range of text positions.
inline constexpr std::int64_t kDefaultRequestTimeoutMs = 120'000;
inline constexpr std::int64_t kDefaultMaxBodyBytes = std::int64_t{64} << 20;

struct WebRequestOptions {
  int method = 0;         // 0 GET, 1 POST, 2 HEAD; any other value is GET
  Text textBody;          // sent by POST and HEAD when byteBody is empty
  Text headers;           // extra header lines joined by CR LF, no trailing CR LF
  bool noRedirect = false;
  ByteBuffer byteBody;    // sent by POST and HEAD
  Text proxy;             // host:port; empty for a direct connection
  std::int64_t timeoutMs = kDefaultRequestTimeoutMs;    // the whole request; 0 or less: the default
  std::int64_t maxBodyBytes = kDefaultMaxBodyBytes;     // a longer body fails; 0 or less: the default
};

struct WebResponse {
  ByteBuffer body;          // exactly as received; empty unless the transfer completed
  Text requestHeaders;      // the completed header text that was sent
  Text responseHeaders;     // raw header block, or 5000 spaces when it did not fit or failed
  Text receivedCookies;     // name=value items from Set-Cookie lines, joined by "; "
  ByteBuffer byteBodySent;  // the body as sent (POST and HEAD)
  int status = 0;           // the final response's HTTP status; 0 when none arrived
  TransferOutcome outcome = TransferOutcome::kNotSent;

  // Whether a whole response arrived, whatever its status.
  [[nodiscard]] bool Completed() const { return outcome == TransferOutcome::kComplete; }
};

// Sends one request and reads the whole body. `cookies`, when given (even empty), is sent in a
// Cookie line instead of the process-wide cookie store and gets the received cookies merged in.
// An address holding a control byte is refused before anything is sent (kNotSent): it would
// otherwise end the Referer line and start header lines of its own. A transfer that times out,
// goes over the body cap or breaks off gives an empty body, as a request that never started.
[[nodiscard]] WebResponse WebRequest(const Text& address, const WebRequestOptions& options = {},
                                     Text* cookies = nullptr);

}  // namespace kestrin
