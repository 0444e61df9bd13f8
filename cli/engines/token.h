// Keeping secrets out of what the tool prints.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::cli {

// A token as it may be shown: its first three and last two characters around "…" when it is long
// enough for that to hide most of it, else "***". Never the whole token.
[[nodiscard]] std::string MaskToken(std::string_view token);
// `text` with every occurrence of `token` masked; `text` unchanged for an empty token.
[[nodiscard]] std::string MaskTokenIn(std::string text, std::string_view token);

}  // namespace kestrin::cli
