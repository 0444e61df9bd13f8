// The language of the command-line tool's messages: Chinese under a zh_* locale, English
// otherwise; and their character set: the terminal's, GBK or UTF-8.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrin::cli {

// Whether the environment asks for Chinese: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty begins with "zh". Read once, at the first call.
[[nodiscard]] bool ChineseLocale();
// Decides from explicit values instead of the environment (empty means unset).
[[nodiscard]] bool ChineseLocaleOf(std::string_view lcAll, std::string_view lcMessages, std::string_view lang);

// Whether the terminal's character set is GBK (or GB2312, GB18030): the locale's codeset when
// the system knows the locale, else the ".CODESET" part of the first of LC_ALL, LC_CTYPE and
// LANG that is set. Read once, at the first call.
[[nodiscard]] bool GbkTerminal();
// Decides from a codeset name as nl_langinfo gives it, or a locale name.
[[nodiscard]] bool GbkCodeset(std::string_view codesetOrLocale);

// `english`, or `chinese` (a GBK literal, as every narrow literal here) in the terminal's
// character set.
[[nodiscard]] std::string Tr(std::string_view english, std::string_view chinese);
// The same with each "{}" replaced by the next of `data` ("{N}" by the N-th, from 0), as it is:
// paths, addresses and names from outside go out as they were given, never converted as if they
// were the message's words.
[[nodiscard]] std::string Tr(std::string_view english, std::string_view chinese,
                             std::initializer_list<std::string_view> data);

// `text` fit for a terminal or a log: control bytes shown as \xNN.
[[nodiscard]] std::string Printable(std::string_view text);

}  // namespace kestrin::cli
