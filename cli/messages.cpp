#include "cli/messages.h"

#include <cstdlib>

#include "runtime/codepage.h"

namespace kestrin::cli {

bool ChineseLocaleOf(std::string_view lcAll, std::string_view lcMessages, std::string_view lang) {
  for (const std::string_view value : {lcAll, lcMessages, lang}) {
    if (!value.empty()) return value.starts_with("zh");
  }
  return false;
}

bool ChineseLocale() {
  static const bool chinese = [] {
    const auto get = [](const char* name) {
      const char* value = std::getenv(name);
      return std::string_view(value != nullptr ? value : "");
    };
    return ChineseLocaleOf(get("LC_ALL"), get("LC_MESSAGES"), get("LANG"));
  }();
  return chinese;
}

std::string Tr(std::string_view english, std::string_view chinese) {
  return ChineseLocale() ? GbkToUtf8(chinese) : std::string(english);
}

}  // namespace kestrin::cli
