// Cutting an address into the host, port and object path that a request needs.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// The host of `address` in ASCII lower case: the text after "https://" (only at the start) or
// after the first "http://" (assumed when absent), up to the first "/", "?" or "#". Cut at its
// first ":" unless `keepPort`. A user name before an "@" is not recognised and becomes the host.
// Whether the address is secure: its first five bytes are "https" in any case. This one test
// chooses the default port, the TLS flag and the proxy form.
[[nodiscard]] bool IsSecureAddress(const Text& address);

[[nodiscard]] Text HostOfAddress(const Text& address, bool keepPort = false);

// The digits after the last ":" of the host with port (an empty or non-numeric port gives 0);
// without a ":", 443 when the address begins with "https" in any case, else 80.
[[nodiscard]] int PortOfAddress(const Text& address);

// Everything after the host and port, unchanged, beginning with "/": a query or fragment that
// follows the host directly gets a "/" put before it; nothing after the host gives "/".
[[nodiscard]] Text PathOfAddress(const Text& address);

}  // namespace kestrin
