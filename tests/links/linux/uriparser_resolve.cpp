#include "tests/links/linux/uriparser_resolve.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <string>

#include "links/resolve_link.h"

namespace kestrin::testsupport {
namespace {

bool IsUriByte(unsigned char b, bool bracketsAllowed) {
  if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return true;
  switch (b) {
    case '-': case '.': case '_': case '~': case ':': case '/': case '?': case '#': case '@':
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',':
    case ';': case '=':
      return true;
    case '[': case ']':
      return bracketsAllowed;
    default:
      return false;
  }
}

// Every byte uriparser refuses, every '%' and every '#' after the first travel as %HH escapes,
// undone after the resolution.
std::string Escape(std::string_view text, bool bracketsAllowed, bool& escaped) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  bool inFragment = false;
  escaped = false;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool laterHash = c == '#' && inFragment;
    inFragment = inFragment || c == '#';
    if (IsUriByte(b, bracketsAllowed) && !laterHash) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
      escaped = true;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Text Unescape(std::string_view text) {
  Text out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool HasScheme(std::string_view text) {
  if (text.empty() || !((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'))) return false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return true;
    const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            c == '+' || c == '-' || c == '.';
    if (!schemeChar) return false;
  }
  return false;
}

class ParsedUri {
 public:
  explicit ParsedUri(const Text& text) {
    for (const bool brackets : {true, false}) {  // brackets are needed for IPv6 hosts, fatal in paths
      text_ = Escape(text, brackets, escaped_);
      const char* errorPos = nullptr;
      if (uriParseSingleUriExA(&uri_, text_.data(), text_.data() + text_.size(), &errorPos) == URI_SUCCESS) {
        parsed_ = true;
        return;
      }
      uri_ = {};
    }
  }
  ParsedUri(const ParsedUri&) = delete;
  ParsedUri& operator=(const ParsedUri&) = delete;
  ~ParsedUri() {
    if (parsed_) uriFreeUriMembersA(&uri_);
  }

  bool parsed_ = false;
  bool escaped_ = false;
  std::string text_;
  UriUriA uri_{};
};

bool IsWebAddress(const ParsedUri& page) {
  const UriUriA& uri = page.uri_;
  if (!page.parsed_ || uri.scheme.first == nullptr || uri.hostText.first == uri.hostText.afterLast) return false;
  std::string scheme(uri.scheme.first, uri.scheme.afterLast);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  return scheme == "http" || scheme == "https";
}

}  // namespace

std::optional<Text> ResolveLinkByUriparser(const Text& pageAddress, const Text& reference) {
  const Text link = WithoutTabsAndLineBreaks(reference);
  if (HasScheme(link)) return link;
  const ParsedUri page(pageAddress);
  if (!IsWebAddress(page)) return std::nullopt;
  const ParsedUri ref(link);
  if (!ref.parsed_) return std::nullopt;

  UriUriA resolved{};
  if (uriAddBaseUriA(&resolved, &ref.uri_, &page.uri_) != URI_SUCCESS) return std::nullopt;
  int required = 0;
  std::string written;
  bool ok = uriToStringCharsRequiredA(&resolved, &required) == URI_SUCCESS;
  if (ok) {
    written.resize(static_cast<std::size_t>(required) + 1);
    ok = uriToStringA(written.data(), &resolved, required + 1, nullptr) == URI_SUCCESS;
    written.resize(static_cast<std::size_t>(required));
  }
  uriFreeUriMembersA(&resolved);
  if (!ok) return std::nullopt;
  Text out = Unescape(written);

  // A reference with an authority or a path has its dot segments removed, so its path never
  // begins with "/./": such a "/." is uriparser's own.
  const bool pathReplaced = !link.empty() && link[0] != '?' && link[0] != '#';
  const std::size_t authority = out.find("//");
  const std::size_t path = std::min(out.find_first_of("/?#", authority + 2), out.size());
  if (pathReplaced && out.compare(path, 4, "/.//") == 0) out.erase(path, 2);
  return out;
}

bool HasBracketInAuthority(const Text& text) {
  const Text stripped = WithoutTabsAndLineBreaks(text);
  const std::string_view address = stripped;
  const std::size_t colon = address.find(':');
  std::size_t start = 0;
  if (colon != std::string_view::npos && HasScheme(address)) start = colon + 1;
  if (address.substr(start, 2) != "//") return false;
  const std::string_view authority = address.substr(start + 2, address.find_first_of("/?#", start + 2) - start - 2);
  return authority.find_first_of("[]") != std::string_view::npos;
}

}  // namespace kestrin::testsupport
