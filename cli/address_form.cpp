#include "cli/address_form.h"

#include <cctype>

#include "links/resolve_link.h"

namespace kestrin::cli {
namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::string NormalAddress(std::string_view address) {
  const Text given(address);
  const std::optional<Text> resolved = ResolveLink(given, given);
  if (!resolved) return std::string(address);
  const std::string& text = *resolved;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 16);
  const auto scheme = text.find("://");
  const std::size_t hostEnd =
      scheme == std::string::npos ? 0 : std::min(text.find_first_of("/?#", scheme + 3), text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (i < hostEnd) {
      out += static_cast<char>(std::tolower(byte));
    } else if (byte >= 0x80 || byte == ' ') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else if (byte == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
      out += '%';
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 2])));
      i += 2;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace kestrin::cli
