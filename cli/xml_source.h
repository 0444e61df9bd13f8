// Sitemaps, sitemap indexes, RSS 2.0 and Atom feeds: the addresses they list and their days.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::cli {

// The sitemap protocol's limits for one file.
inline constexpr std::size_t kMaxAddressesPerFile = 50000;
inline constexpr std::size_t kMaxFileBytes = 50 * 1024 * 1024;

enum class XmlKind { kUrlSet, kSitemapIndex, kRss, kAtom, kOther };

// One address a document lists, with the day its lastmod, pubDate or updated gives.
struct ListedAddress {
  std::string address;      // UTF-8, trimmed
  std::optional<int> day;   // day number (dates.h); none when absent or unreadable
};

struct XmlDocument {
  XmlKind kind = XmlKind::kOther;
  // The pages (url set, feeds) or the sitemaps (index) listed, in document order.
  std::vector<ListedAddress> addresses;
  // Empty when the document was read to its end; otherwise why not (malformed XML, more than
  // kMaxAddressesPerFile entries). `addresses` then holds nothing.
  std::string error;
};

// Pulls the next bytes of a document: up to `size` into `buffer`; how many, 0 at its end, -1 when
// they cannot be had.
using XmlInput = std::function<int(char* buffer, int size)>;

// Reads a document with libxml2's streaming reader as its bytes come, in whatever encoding it
// declares (GBK included); no network access, no external entities. The input keeps it within
// kMaxFileBytes. Days are read only when `days` is set.
[[nodiscard]] XmlDocument ReadXmlDocument(const XmlInput& input, bool days = true);
// The same for a document in memory.
[[nodiscard]] XmlDocument ReadXmlDocument(std::string_view document);

}  // namespace kestrin::cli
