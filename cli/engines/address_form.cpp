#include "cli/engines/address_form.h"

#include <algorithm>
#include <cctype>

#include "links/resolve_link.h"

namespace kestrin::cli {
namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

// Most addresses are in their one form already; they skip the resolver, which would give them
// back byte for byte.
bool AlreadyNormal(std::string_view address) {
  // Scheme and host in one pass up to the host's end: find_first_of would look for each of its
  // three bytes at every position, which cost more than all the rest.
  const auto scheme = address.find("://");
  if (scheme != std::string_view::npos) {
    for (std::size_t i = 0; i < address.size(); ++i) {
      const char c = address[i];
      if (i >= scheme + 3 && (c == '/' || c == '?' || c == '#')) break;
      if (c >= 'A' && c <= 'Z') return false;
    }
  }
  // No early exit: a loop without branches runs through the bytes many at a time.
  unsigned char outside = 0;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    outside |= static_cast<unsigned char>((byte <= ' ') | (byte >= 0x7F));
  }
  if (outside != 0) return false;
  for (auto at = address.find('%'); at != std::string_view::npos; at = address.find('%', at + 1)) {
    if (at + 2 < address.size() && (std::islower(static_cast<unsigned char>(address[at + 1])) ||
                                    std::islower(static_cast<unsigned char>(address[at + 2])))) {
      return false;
    }
  }
  return true;
}

std::string NormalAddress(std::string_view address) {
  if (AlreadyNormal(address)) return std::string(address);
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
