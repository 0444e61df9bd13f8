// uriparser's RFC 3986 resolution of a link, the reference that the link resolver is held to on
// Linux by its tests and its fuzz target.
#pragma once

#include <optional>
#include <string_view>

#include "runtime/text.h"

namespace kestrin::testsupport {

// `reference` resolved against `pageAddress` by uriparser, with the resolver's contract around it:
// tabs and line breaks taken out, a reference with a scheme kept byte for byte, nothing when the
// page is no http(s) address with a host. Bytes outside RFC 3986 travel escaped and come back as
// they were. One habit of uriparser's is undone: the "/." it puts before a merged path that
// begins with "//".
[[nodiscard]] std::optional<Text> ResolveLinkByUriparser(const Text& pageAddress, const Text& reference);

// Whether the authority of `address` (after "scheme:" or at the start, "//" then up to "/", "?"
// or "#"), tabs and line breaks left out, holds a bracket. uriparser writes an IPv6 host in full and reads brackets in such an
// authority its own way, so those cases are compared with the table, not with it.
[[nodiscard]] bool HasBracketInAuthority(const Text& address);

}  // namespace kestrin::testsupport
