// Sitemaps, sitemap indexes, RSS and Atom feeds: the addresses they list and their days.
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

// How the reading of one document ended.
struct XmlOutcome {
  XmlKind kind = XmlKind::kOther;
  std::size_t entries = 0;  // entries handed over
  // Empty when the document was read to its end; otherwise why not (malformed XML, cut short,
  // more than kMaxAddressesPerFile entries, an entry that used an external entity). The entries
  // handed over before stay good: each was complete.
  std::string error;
  bool cutShort = false;  // the bytes ended before the document did
};

struct XmlDocument {
  XmlKind kind = XmlKind::kOther;
  // The pages (url set, feeds) or the sitemaps (index) listed, in document order; with an error,
  // the complete entries read before it.
  std::vector<ListedAddress> addresses;
  std::string error;  // as XmlOutcome's
  bool cutShort = false;
};

// Pulls the next bytes of a document: up to `size` into `buffer`; how many, 0 at its end, -1 when
// they cannot be had.
using XmlInput = std::function<int(char* buffer, int size)>;
// Takes each complete entry as soon as its end tag has been read, with the document's kind.
using XmlEntrySink = std::function<void(XmlKind kind, ListedAddress&& entry)>;

// Reads a document with libxml2's push parser as its bytes come, in whatever encoding it
// declares or its byte-order mark shows (GBK and UTF-16 included), building no tree. No network
// access; internal entities are expanded within libxml2's limits, external ones never read. The
// input keeps it within kMaxFileBytes. Days are read only when `days` is set. A document whose
// root is none of the kinds is left at its root, with kind kOther and no error.
XmlOutcome ReadXml(const XmlInput& input, const XmlEntrySink& sink, bool days = true);

// ReadXml with the entries gathered.
[[nodiscard]] XmlDocument ReadXmlDocument(const XmlInput& input, bool days = true);
// The same for a document in memory.
[[nodiscard]] XmlDocument ReadXmlDocument(std::string_view document);

}  // namespace kestrin::cli
