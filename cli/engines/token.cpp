#include "cli/engines/token.h"

namespace kestrin::cli {

std::string MaskToken(std::string_view token) {
  if (token.size() < 12) return "***";
  return std::string(token.substr(0, 3)) + "..." + std::string(token.substr(token.size() - 2));
}

std::string MaskTokenIn(std::string text, std::string_view token) {
  if (token.empty()) return text;
  const std::string masked = MaskToken(token);
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + masked.size())) {
    text.replace(at, token.size(), masked);
  }
  return text;
}

}  // namespace kestrin::cli
