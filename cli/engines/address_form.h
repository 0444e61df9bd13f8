// The one form in which the tool compares, sends and records an address.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::cli {

// `address` read by the collector's link resolver (tabs and line breaks out), with its scheme and
// host in lower case, every byte past ASCII and every space percent-encoded and the hex digits
// of escapes in upper case: a raw UTF-8 path and its %-encoded twin give the same text. An
// address the resolver cannot read comes back unchanged.
[[nodiscard]] std::string NormalAddress(std::string_view address);
// Whether NormalAddress would give `address` back unchanged without a look at it by the resolver:
// no byte it takes out or encodes, no escape in lower case, no capital before the path.
[[nodiscard]] bool AlreadyNormal(std::string_view address);

}  // namespace kestrin::cli
