// One push run: every configured site's addresses to each of its engines, with the history
// deciding what is new, the quota deciding how much goes, and the report telling what came of it.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "cli/config.h"
#include "cli/http_client.h"
#include "cli/report.h"
#include "cli/retry.h"
#include "cli/sources.h"

namespace kestrin::cli {

struct PushSettings {
  std::vector<SiteConfig> sites;
  std::string historyPath;
  bool force = false;
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

// Checks the settings, reads the sources, checks every IndexNow key file, then pushes. Nothing is
// posted when a setting is missing or a key file check fails. Every address met ends in the
// report in one state, except those accepted before (skipped unless `force`) and those another
// run has in hand.
void RunPush(const PushSettings& settings, const PushNetwork& network, std::istream& input, Report& report);

}  // namespace kestrin::cli
