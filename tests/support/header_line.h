// Reading the header lines of a request as the test servers record them.
#pragma once

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <utility>

namespace kestrin::testsupport {

// Whether two header names are the same, ASCII letters in any case.
[[nodiscard]] inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// The header line's name and value, or nothing for a line without a colon.
[[nodiscard]] inline std::optional<std::pair<std::string_view, std::string_view>> SplitHeaderLine(
    std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  return std::pair{line.substr(0, colon), value};
}

}  // namespace kestrin::testsupport
