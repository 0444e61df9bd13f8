#include "links/resolve_link.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace kestrin {
namespace {

// uriparser takes only RFC 3986 characters, while list pages hold GBK titles in paths, spaces and
// stray '%'. Such bytes, and every '%', travel through the resolution as %HH escapes that are
// undone afterwards: the result holds the page's own bytes and no escape that was not there.
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

bool NeedsEscapes(std::string_view text, bool bracketsAllowed) {
  return std::any_of(text.begin(), text.end(),
                     [=](char c) { return !IsUriByte(static_cast<unsigned char>(c), bracketsAllowed); });
}

std::string Escape(std::string_view text, bool bracketsAllowed) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (IsUriByte(b, bracketsAllowed)) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
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

// Every '%' in a resolved address comes from Escape, so each one starts an escape of ours.
Text Unescape(std::string_view text) {
  Text out;
  out.reserve(text.size());
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

// RFC 3986 scheme ":" at the start: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":".
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

// A parsed address that owns its (escaped) text and frees uriparser's members.
class ParsedUri {
 public:
  explicit ParsedUri(const Text& text) {
    for (const bool brackets : {true, false}) {  // brackets are needed for IPv6 hosts, fatal in paths
      escaped_ = NeedsEscapes(text, brackets);
      text_ = escaped_ ? Escape(text, brackets) : text;
      const char* errorPos = nullptr;
      if (uriParseSingleUriExA(&uri_, text_.data(), text_.data() + text_.size(), &errorPos) == URI_SUCCESS) {
        parsed_ = true;
        return;
      }
      uri_ = {};  // a failed parse has freed its own members
    }
  }
  ParsedUri(const ParsedUri&) = delete;
  ParsedUri& operator=(const ParsedUri&) = delete;
  ~ParsedUri() {
    if (parsed_) uriFreeUriMembersA(&uri_);
  }

  [[nodiscard]] bool Parsed() const { return parsed_; }
  [[nodiscard]] bool Escaped() const { return escaped_; }
  [[nodiscard]] const UriUriA& Uri() const { return uri_; }
  [[nodiscard]] bool IsWebAddress() const {
    if (!parsed_ || uri_.scheme.first == nullptr || uri_.hostText.first == uri_.hostText.afterLast) return false;
    std::string scheme(uri_.scheme.first, uri_.scheme.afterLast);
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return scheme == "http" || scheme == "https";
  }

 private:
  std::string text_;  // uriparser's ranges point into it
  UriUriA uri_{};
  bool parsed_ = false;
  bool escaped_ = false;
};

// Whether a path (up to its query or fragment) holds a "." or ".." segment.
bool HasDotSegment(std::string_view path) {
  path = path.substr(0, path.find_first_of("?#"));
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

// The page address, parsed once. For the two usual shapes of link, '/path' and 'name', on a
// plain page address the result is a join of texts; uriparser does everything else.
class LinkResolver::Base : public ParsedUri {
 public:
  explicit Base(const Text& pageAddress) : ParsedUri(pageAddress) {
    if (!IsWebAddress() || Escaped()) return;
    const std::string_view text = pageAddress;
    const std::size_t authority = text.find("//") + 2;  // a web address has "scheme://"
    const std::size_t pathStart = std::min(text.find_first_of("/?#", authority), text.size());
    const std::size_t pathEnd = std::min(text.find_first_of("?#", pathStart), text.size());
    const std::string_view path = text.substr(pathStart, pathEnd - pathStart);
    if (HasDotSegment(path)) return;
    origin_ = Text(text.substr(0, pathStart));
    folder_ = path.empty() ? origin_ + "/" : Text(text.substr(0, path.rfind('/') + pathStart + 1));
    joinable_ = true;
  }

  // The result of an escape-free reference of a usual shape, or nothing.
  [[nodiscard]] std::optional<Text> Join(const Text& reference) const {
    if (!joinable_ || reference.empty() || NeedsEscapes(reference, false) || HasDotSegment(reference)) {
      return std::nullopt;
    }
    if (reference[0] == '/') {
      if (reference.size() > 1 && reference[1] == '/') return std::nullopt;
      return origin_ + reference;
    }
    if (reference[0] == '?' || reference[0] == '#') return std::nullopt;
    // A colon in the first segment is no relative path.
    if (reference.find(':') < reference.find_first_of("/?#")) return std::nullopt;
    return folder_ + reference;
  }

 private:
  bool joinable_ = false;
  Text origin_;  // scheme and authority
  Text folder_;  // origin and path up to its last '/'
};

LinkResolver::LinkResolver(const Text& pageAddress) : base_(std::make_unique<Base>(pageAddress)) {}

LinkResolver::~LinkResolver() = default;

std::optional<Text> LinkResolver::Resolve(const Text& reference) const {
  if (HasScheme(reference)) return reference;
  if (!base_->IsWebAddress()) return std::nullopt;
  if (auto joined = base_->Join(reference)) return joined;
  const ParsedUri ref(reference);
  if (!ref.Parsed()) return std::nullopt;

  UriUriA resolved{};
  if (uriAddBaseUriA(&resolved, &ref.Uri(), &base_->Uri()) != URI_SUCCESS) return std::nullopt;
  int required = 0;
  std::string out;
  bool written = uriToStringCharsRequiredA(&resolved, &required) == URI_SUCCESS;
  if (written) {
    out.resize(static_cast<std::size_t>(required) + 1);
    written = uriToStringA(out.data(), &resolved, required + 1, nullptr) == URI_SUCCESS;
    out.resize(static_cast<std::size_t>(required));
  }
  uriFreeUriMembersA(&resolved);
  if (!written) return std::nullopt;
  // Unless something was escaped there is nothing to undo.
  return ref.Escaped() || base_->Escaped() ? Unescape(out) : Text(std::move(out));
}

std::optional<Text> ResolveLink(const Text& pageAddress, const Text& reference) {
  return LinkResolver(pageAddress).Resolve(reference);
}

}  // namespace kestrin
