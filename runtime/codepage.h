// Code-page conversion between the program's GBK texts, UTF-8 and UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "runtime/text.h"

namespace kestrin {

// UTF-8 bytes to UTF-16; a malformed sequence becomes U+FFFD.
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to code page 936; a character GBK lacks becomes one '?', the euro sign 0x80.
[[nodiscard]] Text Utf16ToGbk(std::u16string_view utf16);
// UTF-8 straight to code page 936, with the replacements of the two steps above: one '?' per
// malformed sequence and per character GBK lacks. Runs of ASCII are copied as they are.
[[nodiscard]] Text Utf8ToGbkText(std::string_view utf8);
// GBK text to UTF-16 / UTF-8, for the window and for standard error.
[[nodiscard]] std::u16string GbkToUtf16(std::string_view gbk);
[[nodiscard]] std::string GbkToUtf8(std::string_view gbk);

}  // namespace kestrin
