// The one routine through which the program speaks HTTP: synchronous, a session of its own per call.
#pragma once

#include "runtime/text.h"

namespace kestrin {

enum class HttpMethod : int { kGet = 0, kPost = 1, kHead = 2 };

struct WebRequestOptions {
  int method = 0;         // 0 GET, 1 POST, 2 HEAD; any other value is GET
  Text textBody;          // sent by POST and HEAD when byteBody is empty
  Text headers;           // extra header lines joined by CR LF, no trailing CR LF
  bool noRedirect = false;
  ByteBuffer byteBody;    // sent by POST and HEAD
  Text proxy;             // host:port; empty for a direct connection
};

struct WebResponse {
  ByteBuffer body;          // exactly as received; empty is the only sign of failure
  Text requestHeaders;      // the completed header text that was sent
  Text responseHeaders;     // raw header block, or 5000 spaces when it did not fit or failed
  Text receivedCookies;     // name=value items from Set-Cookie lines, joined by "; "
  ByteBuffer byteBodySent;  // the body as sent (POST and HEAD)
};

// Sends one request and reads the whole body. `cookies`, when given (even empty), is sent in a
// Cookie line instead of the process-wide cookie store and gets the received cookies merged in.
[[nodiscard]] WebResponse WebRequest(const Text& address, const WebRequestOptions& options = {},
                                     Text* cookies = nullptr);

}  // namespace kestrin
