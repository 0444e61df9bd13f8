// Turning pages sent in UTF-8 into the program's GBK texts.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// The text up to its first NUL read as UTF-8 and written in code page 936.
// Never fails: a malformed UTF-8 sequence and a character GBK lacks each become one '?'.
// Text that is already GBK is not valid UTF-8 and comes out damaged.
[[nodiscard]] Text Utf8ToGbk(const Text& text);

}  // namespace kestrin
