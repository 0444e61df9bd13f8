// The language of the command-line tool's messages: Chinese under a zh_* locale, English otherwise.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::cli {

// Whether the environment asks for Chinese: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty begins with "zh". Read once, at the first call.
[[nodiscard]] bool ChineseLocale();
// Decides from explicit values instead of the environment (empty means unset).
[[nodiscard]] bool ChineseLocaleOf(std::string_view lcAll, std::string_view lcMessages, std::string_view lang);

// `english`, or `chinese` (a GBK literal, as every narrow literal here) converted to UTF-8 for the
// terminal.
[[nodiscard]] std::string Tr(std::string_view english, std::string_view chinese);

}  // namespace kestrin::cli
