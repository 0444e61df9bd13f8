// The platform's converter behind runtime/codepage.h: each backend implements that header's
// conversions between UTF-16 and the other encodings, and this one, which the portable UTF-8
// path of Utf8ToGbkText hands the characters it does not look up itself.
#pragma once

#include <string_view>

#include "runtime/text.h"

namespace kestrin {

// UTF-8 to code page 936 with the platform's own rules: one '?' per malformed sequence and per
// character GBK lacks, the euro sign 0x80. Also builds the portable path's table.
[[nodiscard]] Text SystemUtf8ToGbk(std::string_view utf8);

}  // namespace kestrin
