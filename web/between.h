// Cutting the text that lies between two markers.
#pragma once

#include <string_view>

#include "runtime/text.h"

namespace kestrin {

// The bytes between the first `left` and the first `right` after it, searched from the first
// byte with case; empty when either is missing. In both markers "#引号" stands for '"'.
// An empty left marker matches at the first byte; an empty right marker gives the empty text.
[[nodiscard]] Text TextBetween(const Text& text, std::string_view left, std::string_view right);

}  // namespace kestrin
