// Cutting an address into what a request needs: whether it is secure, the host, the port and the
// object path; and whether an address may be handed to the desktop.
#pragma once

#include <algorithm>

#include "runtime/text.h"
#include "runtime/text_ops.h"

namespace kestrin {

// An address cut once into the pieces of a request.
struct AddressParts {
  bool secure = false;  // see IsSecureAddress
  Text host;            // see HostOfAddress
  int port = 80;        // see PortOfAddress
  Text path;            // see PathOfAddress
};

// The four pieces below from one reading of the address.
[[nodiscard]] AddressParts SplitAddress(const Text& address);

// Whether the address is secure: its first five bytes are "https" in any case. This one test
// chooses the default port, the TLS flag and the proxy form.
[[nodiscard]] bool IsSecureAddress(const Text& address);

// The host of `address` in ASCII lower case: the text after "https://" (only at the start) or
// after the first "http://" (assumed when absent), up to the first "/", "?" or "#". Cut at its
// first ":" unless `keepPort`. A user name before an "@" is not recognised and becomes the host.
[[nodiscard]] Text HostOfAddress(const Text& address, bool keepPort = false);

// The digits after the last ":" of the host with port (an empty or non-numeric port gives 0);
// without a ":", 443 when the address begins with "https" in any case, else 80.
[[nodiscard]] int PortOfAddress(const Text& address);

// Everything after the host and port, unchanged, beginning with "/": a query or fragment that
// follows the host directly gets a "/" put before it; nothing after the host gives "/".
[[nodiscard]] Text PathOfAddress(const Text& address);

// Whether an address may be handed to the desktop's default handler or a browser control: it
// must begin with "http://" or "https://" (any case) and hold no control byte. The addresses come
// from a remote page. Inline, so that the window framework can ask it without linking web/.
[[nodiscard]] inline bool IsOpenableAddress(const Text& address) {
  if (!StartsWithText(address, "http://", true) && !StartsWithText(address, "https://", true)) return false;
  // A line break or other control byte has no business in an address handed to the shell.
  return std::none_of(address.begin(), address.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

}  // namespace kestrin
