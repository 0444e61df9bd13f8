#include "cli/console/messages.h"

#include <cctype>
#include <cstdlib>

#include "cli/console/terminal.h"
#include "runtime/codepage.h"

namespace kestrin::cli {
namespace {

std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

bool ChineseLocaleOf(std::string_view lcAll, std::string_view lcMessages, std::string_view lang) {
  for (const std::string_view value : {lcAll, lcMessages, lang}) {
    if (!value.empty()) return value.starts_with("zh");
  }
  return false;
}

bool ChineseLocale() {
  static const bool chinese = [] {
    const std::string_view lcAll = Environment("LC_ALL"), lcMessages = Environment("LC_MESSAGES");
    const std::string_view lang = Environment("LANG");
    if (lcAll.empty() && lcMessages.empty() && lang.empty()) return SystemLanguageChinese();
    return ChineseLocaleOf(lcAll, lcMessages, lang);
  }();
  return chinese;
}

bool GbkCodeset(std::string_view codesetOrLocale) {
  if (const auto dot = codesetOrLocale.find('.'); dot != std::string_view::npos) {
    codesetOrLocale.remove_prefix(dot + 1);
  }
  codesetOrLocale = codesetOrLocale.substr(0, codesetOrLocale.find('@'));
  std::string name;
  for (const char c : codesetOrLocale) {
    if (c != '-' && c != '_') name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return name == "gbk" || name == "gb2312" || name == "gb18030" || name == "euccn" || name == "cp936";
}

bool GbkTerminal() {
  static const bool gbk = GbkMessages();
  return gbk;
}

std::string Tr(std::string_view english, std::string_view chinese) {
  if (!ChineseLocale()) return std::string(english);
  return GbkTerminal() ? std::string(chinese) : GbkToUtf8(chinese);
}

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace kestrin::cli
