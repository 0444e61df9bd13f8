#include "cli/sources/text_source.h"

#include <array>
#include <cctype>

namespace kestrin::cli {
namespace {

// `prefix` is lower-case ASCII; the locale plays no part, as in the names it is used for.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != prefix[i]) return false;
  }
  return true;
}

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty()) {
    const auto end = text.find('\n');
    visit(Trimmed(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// The value of a "field: value" record when the line is one for `field` (lower case).
bool RecordValue(std::string_view line, std::string_view field, std::string_view& value) {
  if (!StartsWithIgnoringCase(line, field)) return false;
  const std::string_view rest = Trimmed(line.substr(field.size()));
  if (rest.empty() || rest.front() != ':') return false;
  value = Trimmed(rest.substr(1));
  return true;
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool IsWebAddress(std::string_view address) {
  std::string_view rest;
  if (StartsWithIgnoringCase(address, "http://")) {
    rest = address.substr(7);
  } else if (StartsWithIgnoringCase(address, "https://")) {
    rest = address.substr(8);
  } else {
    return false;
  }
  if (rest.empty() || rest.front() == '/' || rest.front() == ':' || rest.front() == '?' || rest.front() == '#') {
    return false;
  }
  // No early exit: a loop without branches runs through the bytes many at a time.
  unsigned char control = 0;
  for (const char c : address) {
    const auto b = static_cast<unsigned char>(c);
    control |= static_cast<unsigned char>((b <= 0x20) | (b == 0x7F));
  }
  return control == 0;
}

std::vector<std::string_view> ListLines(std::string_view text) {
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](std::string_view line) {
    if (!line.empty() && line.front() != '#') lines.emplace_back(line);
  });
  return lines;
}

bool LooksLikeRobots(std::string_view text) {
  static constexpr std::array<std::string_view, 6> kFields{"user-agent", "disallow", "allow", "sitemap",
                                                           "site-map", "crawl-delay"};
  bool robots = false;
  ForEachLine(text, [&](std::string_view line) {
    // A list's lines, addresses all, are passed over at their first byte.
    if (robots || line.empty() || std::string_view("udascUDASC").find(line.front()) == std::string_view::npos) return;
    std::string_view value;
    for (const std::string_view field : kFields) robots = robots || RecordValue(line, field, value);
  });
  return robots;
}

std::vector<std::string> SitemapsInRobots(std::string_view text) {
  std::vector<std::string> sitemaps;
  ForEachLine(text, [&](std::string_view line) {
    std::string_view value;
    // "Site-map" too, as the robots.txt parsers of the large search engines read it.
    const bool sitemap = RecordValue(line, "sitemap", value) || RecordValue(line, "site-map", value);
    if (sitemap && !value.empty()) sitemaps.emplace_back(value);
  });
  return sitemaps;
}

}  // namespace kestrin::cli
