#include "links/resolve_link.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace kestrin {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Length of a scheme at the start (ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) followed by ":"),
// or kNone.
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return kNone;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i;
    if (!IsAsciiLetter(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return kNone;
  }
  return kNone;
}

// The part after the scheme, split into RFC 3986's components. Only the delimiters count:
// every other byte, GBK or not, is part of the component it stands in.
struct Components {
  bool hasAuthority = false;
  std::string_view authority;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;  // everything after the first '#'
};

Components Split(std::string_view text) {
  Components parts;
  if (text.starts_with("//")) {
    const std::size_t end = std::min(text.find_first_of("/?#", 2), text.size());
    parts.hasAuthority = true;
    parts.authority = text.substr(2, end - 2);
    text.remove_prefix(end);
  }
  const std::size_t hash = text.find('#');
  if (hash != kNone) {
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  const std::size_t question = text.find('?');
  if (question != kNone) {
    parts.query = text.substr(question + 1);
    text = text.substr(0, question);
  }
  parts.path = text;
  return parts;
}

// An IPv6 address or an IPvFuture literal, between the brackets. Loose on IPv6 (the digits and
// colons, two colons at least, one "::" at most): enough to tell a host from a stray bracket.
bool IsIpLiteral(std::string_view inside) {
  if (!inside.empty() && (inside[0] == 'v' || inside[0] == 'V')) {
    const std::size_t dot = inside.find('.');
    if (dot == kNone || dot == 1 || dot + 1 == inside.size()) return false;
    return std::all_of(inside.begin() + 1, inside.begin() + static_cast<std::ptrdiff_t>(dot), IsHexDigit);
  }
  if (std::count(inside.begin(), inside.end(), ':') < 2) return false;
  if (inside.find(":::") != kNone) return false;
  const std::size_t pair = inside.find("::");
  if (pair != kNone && inside.find("::", pair + 1) != kNone) return false;
  return std::all_of(inside.begin(), inside.end(), [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
}

// Checks an authority ([userinfo "@"] host [":" port]) and gives its host, or nullopt. The port
// may be empty; the user info and a host name may hold any byte but the delimiters.
std::optional<std::string_view> HostOf(std::string_view authority) {
  const std::size_t at = authority.find('@');
  if (at != kNone) {
    if (authority.find('@', at + 1) != kNone) return std::nullopt;
    authority.remove_prefix(at + 1);
  }
  std::size_t hostEnd = 0;
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == kNone || !IsIpLiteral(authority.substr(1, close - 1))) return std::nullopt;
    hostEnd = close + 1;
  } else {
    hostEnd = std::min(authority.find(':'), authority.size());
  }
  const std::string_view port = authority.substr(hostEnd);
  if (!port.empty() && (port[0] != ':' || !std::all_of(port.begin() + 1, port.end(), IsDigit))) return std::nullopt;
  return authority.substr(0, hostEnd);
}

// Whether a path holds a "." or ".." segment.
bool HasDotSegment(std::string_view path) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    if (end == path.size()) return false;
    start = end + 1;
  }
}

// Appends `path`, which is empty or begins with "/", without its dot segments (RFC 3986
// remove_dot_segments). A ".." never climbs above the path's root.
void AppendWithoutDotSegments(std::string_view path, Text& out) {
  const std::size_t root = out.size();
  std::size_t i = 0;
  while (i < path.size()) {
    const std::size_t end = std::min(path.find('/', i + 1), path.size());
    const std::string_view segment = path.substr(i + 1, end - i - 1);
    if (segment == "..") {
      if (out.size() > root) out.resize(out.rfind('/'));
    } else if (segment != ".") {
      out.append(path.substr(i, end - i));
    }
    // A path that ends in a dot segment ends in a folder.
    if (end == path.size() && (segment == "." || segment == "..")) out += '/';
    i = end;
  }
}

void AppendPath(std::string_view path, bool dotSegments, Text& out) {
  if (dotSegments) {
    AppendWithoutDotSegments(path, out);
  } else {
    out.append(path);
  }
}

void AppendQueryAndFragment(std::optional<std::string_view> query, std::optional<std::string_view> fragment,
                            Text& out) {
  if (query) out.append("?").append(*query);
  if (fragment) out.append("#").append(*fragment);
}

bool IsTabOrLineBreak(char c) { return c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

LinkResolver::LinkResolver(const Text& pageAddress) {
  const std::string_view page = pageAddress;
  const std::size_t schemeLength = SchemeLength(page);
  if (schemeLength == kNone) return;
  const std::string_view scheme = page.substr(0, schemeLength);
  Text lowerScheme(scheme);
  std::transform(lowerScheme.begin(), lowerScheme.end(), lowerScheme.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; });
  if (lowerScheme != "http" && lowerScheme != "https") return;

  const Components parts = Split(page.substr(schemeLength + 1));
  if (!parts.hasAuthority) return;
  const std::optional<std::string_view> host = HostOf(parts.authority);
  if (!host || host->empty()) return;

  webAddress_ = true;
  scheme_ = Text(scheme);
  origin_ = Text(page.substr(0, schemeLength + 3 + parts.authority.size()));
  path_ = Text(parts.path);
  if (parts.query) query_ = Text(*parts.query);
  folder_ = path_.empty() ? Text("/") : path_.substr(0, path_.rfind('/') + 1);
  folderHasDotSegments_ = HasDotSegment(folder_);
}

bool LinkResolver::AppendResolved(const Text& reference, Text& out) const {
  if (std::any_of(reference.begin(), reference.end(), IsTabOrLineBreak)) {
    return AppendResolved(WithoutTabsAndLineBreaks(reference), out);
  }
  if (SchemeLength(reference) != kNone) {
    out += reference;
    return true;
  }
  if (!webAddress_) return false;

  const Components ref = Split(reference);
  if (ref.hasAuthority) {
    if (!HostOf(ref.authority)) return false;
    out.append(scheme_).append("://").append(ref.authority);
    AppendPath(ref.path, HasDotSegment(ref.path), out);
    AppendQueryAndFragment(ref.query, ref.fragment, out);
    return true;
  }
  // Without a scheme, a colon in the first segment makes the reference unreadable.
  if (ref.path.substr(0, ref.path.find('/')).find(':') != kNone) return false;

  out.append(origin_);
  if (ref.path.empty()) {
    // The page itself, with the reference's query (or the page's) and fragment.
    out.append(path_);
    if (!ref.query && query_) out.append("?").append(*query_);
    AppendQueryAndFragment(ref.query, ref.fragment, out);
    return true;
  }
  if (ref.path.front() == '/') {
    AppendPath(ref.path, HasDotSegment(ref.path), out);
  } else if (folderHasDotSegments_ || HasDotSegment(ref.path)) {
    Text merged;
    merged.reserve(folder_.size() + ref.path.size());
    merged.append(folder_).append(ref.path);
    AppendWithoutDotSegments(merged, out);
  } else {
    out.append(folder_).append(ref.path);
  }
  AppendQueryAndFragment(ref.query, ref.fragment, out);
  return true;
}

std::optional<Text> LinkResolver::Resolve(const Text& reference) const {
  Text out;
  if (!AppendResolved(reference, out)) return std::nullopt;
  return out;
}

std::optional<Text> ResolveLink(const Text& pageAddress, const Text& reference) {
  return LinkResolver(pageAddress).Resolve(reference);
}

Text WithoutTabsAndLineBreaks(const Text& link) {
  Text out;
  out.reserve(link.size());
  // None of the three bytes can be the second byte of a GBK character.
  std::copy_if(link.begin(), link.end(), std::back_inserter(out), [](char c) { return !IsTabOrLineBreak(c); });
  return out;
}

}  // namespace kestrin
