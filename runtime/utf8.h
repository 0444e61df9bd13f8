// UTF-8 decoding with one replacement character per malformed sequence.
#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// UTF-8 bytes to UTF-16. Each maximal part of a malformed sequence (a byte that cannot start one,
// a sequence cut short, an overlong form, a surrogate, a value past U+10FFFF) becomes one U+FFFD,
// and the byte that broke it is read again as the start of what follows, as ICU does. The Windows
// backend decodes with it: Wine's decoder marks fewer and can swallow the byte after a cut-short
// sequence.
[[nodiscard]] std::u16string DecodeUtf8(std::string_view utf8);

}  // namespace kestrin
