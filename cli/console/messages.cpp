#include "cli/console/messages.h"

#include <langinfo.h>

#include <cctype>
#include <clocale>
#include <cstdlib>

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
  static const bool chinese =
      ChineseLocaleOf(Environment("LC_ALL"), Environment("LC_MESSAGES"), Environment("LANG"));
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
  static const bool gbk = [] {
    // The tool otherwise runs in the "C" locale: only the codeset is asked, and put back.
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const std::string kept = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
      const bool known = GbkCodeset(nl_langinfo(CODESET));
      std::setlocale(LC_CTYPE, kept.c_str());
      return known;
    }
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
      if (const std::string_view value = Environment(name); !value.empty()) {
        return value.find('.') != std::string_view::npos && GbkCodeset(value);
      }
    }
    return false;
  }();
  return gbk;
}

std::string Tr(std::string_view english, std::string_view chinese) {
  if (!ChineseLocale()) return std::string(english);
  return GbkTerminal() ? std::string(chinese) : GbkToUtf8(chinese);
}

std::string Tr(std::string_view english, std::string_view chinese, std::initializer_list<std::string_view> data) {
  const std::string words = Tr(english, chinese);
  std::string out;
  std::size_t at = 0;
  std::size_t next = 0;
  for (auto hole = words.find('{'); hole != std::string::npos; hole = words.find('{', at)) {
    // "{}" is the next piece; "{N}" the N-th, for a language that orders them otherwise.
    std::size_t piece = next;
    std::size_t end = hole + 1;
    if (end < words.size() && words[end] >= '0' && words[end] <= '9') piece = static_cast<std::size_t>(words[end++] - '0');
    if (end >= words.size() || words[end] != '}' || piece >= data.size()) {
      out.append(words, at, end - at);
      at = end;
      continue;
    }
    out.append(words, at, hole - at).append(data.begin()[piece]);
    next = piece + 1;
    at = end + 1;
  }
  return out.append(words, at);
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
