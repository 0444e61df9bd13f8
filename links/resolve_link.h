// Turning an address found on a list page into a full address, as a browser reads a link.
#pragma once

#include <memory>
#include <optional>

#include "runtime/text.h"

namespace kestrin {

// Resolves the links of one page by RFC 3986 reference resolution. The page address is parsed
// once, so a page of many links costs one parse of it.
class LinkResolver {
 public:
  explicit LinkResolver(const Text& pageAddress);
  ~LinkResolver();
  LinkResolver(const LinkResolver&) = delete;
  LinkResolver& operator=(const LinkResolver&) = delete;

  // `reference` (an href value as found) resolved against the page. Tabs, CRs and LFs are taken
  // out of it first, as a browser does, so that one link never makes two lines. A reference with
  // a scheme of its own then comes back byte for byte. Empty when the page address is not an absolute http(s)
  // address or the reference cannot be parsed. GBK bytes, spaces and stray '%' in either are
  // kept unchanged.
  [[nodiscard]] std::optional<Text> Resolve(const Text& reference) const;
  // Appends what Resolve gives to `out` and answers true; answers false, leaving `out` as it
  // was, when Resolve gives nothing. A caller that builds a line per link then needs no text
  // of its own for each.
  [[nodiscard]] bool AppendResolved(const Text& reference, Text& out) const;

 private:
  class Base;
  friend std::optional<Text> ResolveLinkWithoutShortcuts(const Text&, const Text&);
  std::unique_ptr<Base> base_;
};

// LinkResolver(pageAddress).Resolve(reference), for a single link.
[[nodiscard]] std::optional<Text> ResolveLink(const Text& pageAddress, const Text& reference);

// The same result by uriparser alone, without the joins that spare it for the usual shapes of
// link; those joins must agree with it, and the fuzzer holds them to that.
[[nodiscard]] std::optional<Text> ResolveLinkWithoutShortcuts(const Text& pageAddress, const Text& reference);

// `link` without its tab, CR and LF bytes.
[[nodiscard]] Text WithoutTabsAndLineBreaks(const Text& link);

}  // namespace kestrin
