// The subcommands of kestrin-cli, each run on settings already parsed from the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/sources/sources.h"

namespace kestrin::cli {

// collect: the window's collector with its defaults; what the options leave unset keeps them.
struct CollectSettings {
  std::string pattern;  // UTF-8, "$" for the page number
  std::optional<int> from, to;
  bool single = false;  // fetch the pattern once, as with 分页 unchecked
  bool reverse = false;
  bool gbk = false;     // the pages are GBK already
  std::optional<std::string> listStart, listEnd, linkStart, linkEnd;  // UTF-8
};
// Prints the addresses found, one per line, each once, and on standard error each page that
// could not be read (address and cause) and how many addresses came from how many pages. 0; 1
// when a page failed or nothing was found, so that a cron job hears of changed markers.
int RunCollect(const CollectSettings& settings);

// sitemap: the addresses of the sources, one per line; 1 when a source could not be read whole.
int RunSitemap(const std::vector<std::string>& sources, const SourceOptions& options);

struct HistorySettings {
  std::string path;
  std::optional<int> sinceDay;  // a day number; entries from that local midnight on
  bool failed = false;
  bool queued = false;
  bool refused = false;
  std::string engine;  // empty: every engine
  std::string site;    // empty: every site
  bool json = false;
  bool clear = false;  // forget the entries instead of listing them
};
// history: lists the entries the settings select, oldest first, or with `clear` forgets them and
// tells how many on standard error. 0, or 2 when the history cannot be opened.
int RunHistory(const HistorySettings& settings);

}  // namespace kestrin::cli
