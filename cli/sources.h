// Where addresses come from: lists, sitemaps (indexes and .xml.gz included), feeds and
// robots.txt, read from files, standard input or the web.
#pragma once

#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/http_client.h"

namespace kestrin::cli {

struct SourceOptions {
  std::optional<int> since;  // keep only entries dated on or after this day number (dates.h)
  int maxDepth = 3;          // sitemap indexes followed this many levels down
  int maxSitemaps = 1000;    // documents fetched through indexes and robots.txt, all told
};

// How a source given by address is fetched; tests and benchmarks may replace it.
using Fetch = std::function<HttpReply(const std::string& address)>;
// The tool's own fetch: a GET with a 60 s deadline and a body cap just above the per-file limit.
[[nodiscard]] HttpReply FetchSource(const std::string& address);

// An entry of a source that is not an http(s) address, as the source wrote it.
struct InvalidEntry {
  std::string source;
  std::string entry;
};

struct SourceAddresses {
  std::vector<std::string> addresses;  // one each, in the order first met
  std::vector<std::string> errors;     // one line per source or entry that could not be read
  std::vector<InvalidEntry> invalid;   // entries skipped as no http(s) address
};

// Reads every source in order: "-" is `input`, an http(s) address is fetched, anything else is
// a file. Each is taken by what it holds: gzip is inflated, XML is a sitemap, index or feed,
// robots.txt gives its sitemaps, other text is a list of addresses. Errors name their source and
// do not stop the others. Entries that are not http(s) addresses are kept apart in `invalid`.
[[nodiscard]] SourceAddresses ReadSources(const std::vector<std::string>& sources, const SourceOptions& options,
                                          const Fetch& fetch, std::istream& input);

}  // namespace kestrin::cli
