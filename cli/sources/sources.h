// Where addresses come from: lists, sitemaps (indexes and .xml.gz included), feeds and
// robots.txt, read from files, standard input or the web.
#pragma once

#include <functional>
#include <istream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/net/http_client.h"
#include "cli/net/retry.h"

namespace kestrin::cli {

struct SourceOptions {
  std::optional<int> since;  // keep only entries dated on or after this day number (dates.h)
  int maxDepth = 3;          // sitemap indexes followed this many levels down
  int maxSitemaps = 1000;    // documents fetched through indexes and robots.txt, all told
  // Fetches that may pass another time (5xx, 429, a connection failed or broken) are sent again
  // as pushes are; `wait` sleeps between them.
  RetryPolicy retry = ToolRetryPolicy();
  std::function<void(std::int64_t)> wait = SleepMs;
  // The form an address is compared and handed over in (push's one form): `formed` tells one in
  // it already, `form` makes it. Null: as written.
  bool (*formed)(std::string_view address) = nullptr;
  std::string (*form)(std::string_view address) = nullptr;
};

// How a source given by address is fetched; tests and benchmarks may replace it.
using Fetch = std::function<HttpReply(const std::string& address)>;
// The tool's own fetch: a GET with a 60 s deadline and a body cap just above the per-file limit.
[[nodiscard]] HttpReply FetchSource(const std::string& address);

struct OpenedSource;  // source_fetch.h
// How a source given by address is opened with its body streamed (OpenWebSource, the tool's own).
using OpenSource = std::function<OpenedSource(const std::string& address)>;
// A whole-body fetch as an opening.
[[nodiscard]] OpenSource Opening(const Fetch& fetch);

// An entry of a source that is not an http(s) address, as the source wrote it.
struct InvalidEntry {
  std::string source;
  std::string entry;
};

// The day of an address whose entry gives none (a list's line, a sitemap entry without lastmod).
inline constexpr int kNoDay = std::numeric_limits<int>::min();

struct SourceAddresses {
  std::vector<std::string> addresses;  // one each, in the order first met
  std::vector<int> days;               // the day each one's entry gives (dates.h), or kNoDay
  std::vector<std::string> errors;     // one line per source or entry that could not be read
  std::vector<InvalidEntry> invalid;   // entries skipped as no http(s) address
};

// What a reading hands over as it goes.
struct SourceSink {
  std::function<void(std::string_view address)> address;  // each address the first time it is met
  std::function<void(const std::string& line)> error;     // one line per source or entry not read
  std::function<void(InvalidEntry&& entry)> invalid;       // each entry that is no http(s) address
  // After each document, and every few thousand addresses: documents read, addresses handed over.
  std::function<void(int documents, std::size_t addresses)> progress = nullptr;
  // When set, the n-th address handed over (from 0) can be read back through it for the whole
  // reading, and the reader keeps no copy of its own.
  std::function<std::string_view(std::size_t n)> kept = nullptr;
  // When set, told right after each address the day its entry gives (its first entry's), or kNoDay.
  std::function<void(int day)> day = nullptr;
};

// Reads every source in order: "-" is `input`, an http(s) address is fetched, anything else is
// a file. Each is taken by what it holds: gzip is inflated, XML is a sitemap, index or feed,
// robots.txt gives its sitemaps, other text is a list of addresses. Errors name their source and
// do not stop the others. Entries that are not http(s) addresses are kept apart as invalid.
// Each address goes to the sink as soon as its entry has been read; the addresses met are
// remembered by hash (seen_addresses.h), so a million cost tens of megabytes, not hundreds.
// Complete entries read before a document broke off are kept, and the break is an error.
void ReadSources(const std::vector<std::string>& sources, const SourceOptions& options, const OpenSource& open,
                 std::istream& input, const SourceSink& sink);
// The same, gathered.
[[nodiscard]] SourceAddresses ReadSources(const std::vector<std::string>& sources, const SourceOptions& options,
                                          const Fetch& fetch, std::istream& input);

}  // namespace kestrin::cli
