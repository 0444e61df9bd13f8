// Turning an address found on a list page into a full address, as a browser reads a link.
#pragma once

#include <optional>

#include "runtime/text.h"

namespace kestrin {

// Resolves the links of one page by RFC 3986 reference resolution, the same on every platform.
// The page address is split once, so a page of many links costs one split of it.
class LinkResolver {
 public:
  explicit LinkResolver(const Text& pageAddress);

  // `reference` (an href value as found) resolved against the page. Tabs, CRs and LFs are taken
  // out of it first, as a browser does, so that one link never makes two lines. A reference with
  // a scheme of its own then comes back byte for byte. Empty when the page address is not an
  // absolute http(s) address with a host, or the reference cannot be read: a colon in its first
  // segment without a scheme before it, an authority with two "@", a port that is not digits, a
  // bracketed host that is no IP literal. Every other byte (GBK, spaces, a stray '%', a second
  // '#') is kept unchanged; scheme and host keep their case; a host is written as it was given.
  [[nodiscard]] std::optional<Text> Resolve(const Text& reference) const;
  // Appends what Resolve gives to `out` and answers true; answers false, leaving `out` as it
  // was, when Resolve gives nothing. A caller that builds a line per link then needs no text
  // of its own for each.
  [[nodiscard]] bool AppendResolved(const Text& reference, Text& out) const;

 private:
  bool webAddress_ = false;
  Text scheme_;           // as the page writes it
  Text origin_;           // scheme "://" authority
  Text path_;             // the page's path
  std::optional<Text> query_;
  Text folder_;           // the page's path up to its last '/': where a relative path is joined
  bool folderHasDotSegments_ = false;
};

// LinkResolver(pageAddress).Resolve(reference), for a single link.
[[nodiscard]] std::optional<Text> ResolveLink(const Text& pageAddress, const Text& reference);

// `link` without its tab, CR and LF bytes.
[[nodiscard]] Text WithoutTabsAndLineBreaks(const Text& link);

}  // namespace kestrin
