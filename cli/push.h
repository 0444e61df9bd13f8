// One push run: every configured site's addresses to each of its engines, with the history
// deciding what is new, the quota deciding how much goes, and the report telling what came of it.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "cli/config.h"
#include "cli/console/report.h"
#include "cli/net/http_client.h"
#include "cli/net/retry.h"
#include "cli/sources/sources.h"

namespace kestrin::cli {

struct PushSettings {
  std::vector<SiteConfig> sites;
  std::string historyPath;
  bool force = false;
  bool dryRun = false;  // contacts no interface and writes nothing: tells what would go and what wait
  SourceOptions sourceOptions;
  RetryPolicy retry;
};

// The network as a run sees it; tests and benchmarks may replace either part.
struct PushNetwork {
  Fetch fetch = FetchSource;  // sources and key files
  std::function<HttpReply(const std::string& address, std::string_view contentType, std::string_view body)> post;
  std::function<void(std::int64_t)> wait = SleepMs;
};

// The tool's own network: requests with a 60 s deadline each.
[[nodiscard]] PushNetwork ToolNetwork();

// Checks the settings, reads the sources, checks every IndexNow key file, then pushes each site's
// addresses to each engine in the order OrderCandidates gives (candidate_order.h). A missing
// setting or a failed key-file check keeps back that engine (for that site or host) alone; a
// source file that cannot be read stops the run before anything is sent. Every address met ends
// in the report in one state, is counted as skipped (accepted before, unless `force`), or is in
// another run's hands; input entries that are no address, or of no configured site, are told
// once as invalid.
void RunPush(const PushSettings& settings, const PushNetwork& network, std::istream& input, Report& report);

}  // namespace kestrin::cli
