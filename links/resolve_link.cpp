#include "links/resolve_link.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

namespace kestrin {
namespace {

// uriparser takes only RFC 3986 characters, while list pages hold GBK titles in paths, spaces and
// stray '%'. Such bytes, and every '%', travel through the resolution as %HH escapes that are
// undone afterwards: the result holds the page's own bytes and no escape that was not there.
constexpr bool IsUriByteSlow(unsigned char b, bool bracketsAllowed) {
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

// Every link of a page is checked byte by byte: the answers are looked up.
struct UriBytes {
  bool of[2][256];
};

constexpr UriBytes MakeUriBytes() {
  UriBytes bytes{};
  for (int brackets = 0; brackets < 2; ++brackets) {
    for (int b = 0; b < 256; ++b) bytes.of[brackets][b] = IsUriByteSlow(static_cast<unsigned char>(b), brackets != 0);
  }
  return bytes;
}

constexpr UriBytes kUriBytes = MakeUriBytes();

bool IsUriByte(unsigned char b, bool bracketsAllowed) { return kUriBytes.of[bracketsAllowed ? 1 : 0][b]; }

// A '#' after the first belongs to the fragment, as a browser reads it, but uriparser refuses
// it: it travels escaped like the other bytes.
bool NeedsEscapes(std::string_view text, bool bracketsAllowed) {
  const std::size_t hash = text.find('#');
  return (hash != std::string_view::npos && text.find('#', hash + 1) != std::string_view::npos) ||
         std::any_of(text.begin(), text.end(),
                     [=](char c) { return !IsUriByte(static_cast<unsigned char>(c), bracketsAllowed); });
}

std::string Escape(std::string_view text, bool bracketsAllowed) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  bool inFragment = false;
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

// What the joins need to know of a reference, from one pass over it.
struct ReferenceShape {
  bool plain = true;  // RFC 3986 bytes only, no brackets, and no "." or ".." path segment
  std::size_t colon = std::string_view::npos;      // the first ':'
  std::size_t delimiter = std::string_view::npos;  // the first '/', '?' or '#'
  int hashes = 0;                                  // how many '#'
};

// NeedsEscapes(reference, false), HasDotSegment(reference) and the two finds, in one pass.
ReferenceShape ShapeOf(std::string_view reference) {
  ReferenceShape shape;
  std::size_t segment = 0;
  bool inPath = true;
  const auto endsDotSegment = [&](std::size_t end) {
    const std::string_view last = reference.substr(segment, end - segment);
    return last == "." || last == "..";
  };
  for (std::size_t i = 0; i < reference.size(); ++i) {
    const char c = reference[i];
    if (!IsUriByte(static_cast<unsigned char>(c), false)) {
      shape.plain = false;
      return shape;
    }
    if (c == ':' && shape.colon == std::string_view::npos) shape.colon = i;
    if (c != '/' && c != '?' && c != '#') continue;
    if (c == '#') ++shape.hashes;
    if (shape.delimiter == std::string_view::npos) shape.delimiter = i;
    if (!inPath) continue;
    if (endsDotSegment(i)) {
      shape.plain = false;
      return shape;
    }
    if (c == '/') {
      segment = i + 1;
    } else {
      inPath = false;
    }
  }
  if (inPath && endsDotSegment(reference.size())) shape.plain = false;
  return shape;
}

// Whether uriparser writes an authority back byte for byte: a host name of letters, digits, '-'
// and '.', and a port of digits. It writes an IPv4 host from its four numbers, so a host of
// digits and dots counts only as a dotted quad in its shortest form.
bool IsPlainAuthority(std::string_view authority) {
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const std::size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    if (port.empty() || !std::all_of(port.begin(), port.end(), isDigit)) return false;
  }
  const std::string_view host = authority.substr(0, colon);
  if (host.empty()) return false;
  bool numeric = true;
  for (const char c : host) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-') {
      numeric = false;
    } else if (!isDigit(c) && c != '.') {
      return false;
    }
  }
  if (!numeric) return true;
  int parts = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = std::min(host.find('.', start), host.size());
    const std::string_view number = host.substr(start, dot - start);
    if (number.empty() || number.size() > 3 || (number.size() > 1 && number[0] == '0')) return false;
    int value = 0;
    for (const char c : number) value = value * 10 + (c - '0');
    if (value > 255) return false;
    ++parts;
    if (dot == host.size()) return parts == 4;
    start = dot + 1;
  }
}

}  // namespace

// The page address, parsed once. For the usual shapes of link, '/path', 'name' and '//host/path',
// on a plain page address the result is a join of texts; uriparser does everything else.
class LinkResolver::Base : public ParsedUri {
 public:
  explicit Base(const Text& pageAddress) : ParsedUri(pageAddress), webAddress_(IsWebAddress()) {
    if (!webAddress_ || Escaped()) return;
    const std::string_view text = pageAddress;
    const std::size_t authority = text.find("//") + 2;  // a web address has "scheme://"
    const std::size_t pathStart = std::min(text.find_first_of("/?#", authority), text.size());
    const std::size_t pathEnd = std::min(text.find_first_of("?#", pathStart), text.size());
    const std::string_view path = text.substr(pathStart, pathEnd - pathStart);
    // uriparser writes some hosts its own way (an IPv6 address in full): a page with such a
    // host goes to it for every link, so that all links of the page name the host alike.
    if (HasDotSegment(path) || !IsPlainAuthority(text.substr(authority, pathStart - authority))) return;
    scheme_ = Text(text.substr(0, text.find(':')));
    origin_ = Text(text.substr(0, pathStart));
    folder_ = path.empty() ? origin_ + "/" : Text(text.substr(0, path.rfind('/') + pathStart + 1));
    joinable_ = true;
  }

  [[nodiscard]] bool WebAddress() const { return webAddress_; }

  // Appends the result of an escape-free reference of a usual shape; false for any other.
  [[nodiscard]] bool Join(std::string_view reference, Text& out) const {
    if (!joinable_ || reference.empty()) return false;
    const ReferenceShape shape = ShapeOf(reference);
    if (!shape.plain) return false;
    if (reference[0] == '/') {
      if (reference.size() > 1 && reference[1] == '/') return JoinNetworkPath(reference, shape, out);
      out.append(origin_).append(reference);
      return true;
    }
    if (reference[0] == '?' || reference[0] == '#') return false;
    // A colon in the first segment is no relative path.
    if (shape.colon < shape.delimiter) return false;
    out.append(folder_).append(reference);
    return true;
  }

 private:
  // "//host/path" takes the page's scheme. uriparser refuses a second '#' and may write the
  // authority differently: those go to it.
  [[nodiscard]] bool JoinNetworkPath(std::string_view reference, const ReferenceShape& shape, Text& out) const {
    if (shape.hashes > 1) return false;
    std::size_t authorityEnd = 2;
    while (authorityEnd < reference.size() && reference[authorityEnd] != '/' && reference[authorityEnd] != '?' &&
           reference[authorityEnd] != '#') {
      ++authorityEnd;
    }
    if (!IsPlainAuthority(reference.substr(2, authorityEnd - 2))) return false;
    out.append(scheme_).append(":").append(reference);
    return true;
  }

  bool webAddress_;
  bool joinable_ = false;
  Text scheme_;
  Text origin_;  // scheme and authority
  Text folder_;  // origin and path up to its last '/'
};

LinkResolver::LinkResolver(const Text& pageAddress) : base_(std::make_unique<Base>(pageAddress)) {}

LinkResolver::~LinkResolver() = default;

namespace {

bool IsTabOrLineBreak(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// RFC 3986 resolution of `reference` against the parsed page address, appended to `out`.
bool AppendResolvedByUriparser(const ParsedUri& base, const Text& reference, Text& out) {
  const ParsedUri ref(reference);
  if (!ref.Parsed()) return false;

  UriUriA resolved{};
  if (uriAddBaseUriA(&resolved, &ref.Uri(), &base.Uri()) != URI_SUCCESS) return false;
  int required = 0;
  std::string written;
  bool ok = uriToStringCharsRequiredA(&resolved, &required) == URI_SUCCESS;
  if (ok) {
    written.resize(static_cast<std::size_t>(required) + 1);
    ok = uriToStringA(written.data(), &resolved, required + 1, nullptr) == URI_SUCCESS;
    written.resize(static_cast<std::size_t>(required));
  }
  uriFreeUriMembersA(&resolved);
  if (!ok) return false;
  // Unless something was escaped there is nothing to undo.
  if (ref.Escaped() || base.Escaped()) {
    out += Unescape(written);
  } else {
    out += written;
  }
  return true;
}

}  // namespace

Text WithoutTabsAndLineBreaks(const Text& link) {
  Text out;
  out.reserve(link.size());
  // None of the three bytes can be the second byte of a GBK character.
  std::copy_if(link.begin(), link.end(), std::back_inserter(out), [](char c) { return !IsTabOrLineBreak(c); });
  return out;
}

std::optional<Text> LinkResolver::Resolve(const Text& reference) const {
  Text out;
  if (!AppendResolved(reference, out)) return std::nullopt;
  return out;
}

bool LinkResolver::AppendResolved(const Text& reference, Text& out) const {
  if (std::any_of(reference.begin(), reference.end(), IsTabOrLineBreak)) {
    return AppendResolved(WithoutTabsAndLineBreaks(reference), out);
  }
  if (HasScheme(reference)) {
    out += reference;
    return true;
  }
  if (!base_->WebAddress()) return false;
  if (base_->Join(reference, out)) return true;
  return AppendResolvedByUriparser(*base_, reference, out);
}

std::optional<Text> ResolveLink(const Text& pageAddress, const Text& reference) {
  return LinkResolver(pageAddress).Resolve(reference);
}

std::optional<Text> ResolveLinkWithoutShortcuts(const Text& pageAddress, const Text& reference) {
  const Text link = WithoutTabsAndLineBreaks(reference);
  Text out;
  if (HasScheme(link)) return link;
  const LinkResolver::Base base(pageAddress);
  if (!base.WebAddress() || !AppendResolvedByUriparser(base, link, out)) return std::nullopt;
  return out;
}

}  // namespace kestrin
