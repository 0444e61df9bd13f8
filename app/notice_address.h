// The notice window's address: drawn at start from the one reading of the notice page, and
// handed to the helper program when another process shows the window.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/text.h"

namespace kestrin::app {

// Keeps `address` (GBK) for the notice window of this process, and for the helper program's next
// start as its argument after the owner's window id.
void SetNoticeWindowAddress(const Text& address);
// The address kept; empty until one is set (window thread).
[[nodiscard]] const Text& NoticeWindowAddress();

// The helper's side: keeps the address handed over in `argument`. False, keeping the empty
// address, when the argument is not one that SetNoticeWindowAddress hands over.
bool TakeNoticeWindowAddress(std::string_view argument);

// An argument holds the address's bytes as pairs of hexadecimal digits: printable ASCII passes
// every conversion between the processes unchanged, where GBK bytes would not.
[[nodiscard]] std::string HexArgumentOf(const Text& address);
// The bytes of such an argument; nothing for an odd count or a byte that is no hexadecimal digit.
[[nodiscard]] std::optional<Text> AddressOfHexArgument(std::string_view argument);

}  // namespace kestrin::app
