// The order a run sends one site's addresses to one engine in: today's pages first, so that a
// small daily quota goes to what is new, and what waits from earlier days fills what it leaves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/history/history.h"

namespace kestrin::cli {

// Addresses as the sources listed them, each once.
struct Listed {
  std::vector<std::string> urls;
  std::vector<int> days;  // the day each entry gives (dates.h), or kNoDay; empty: none gives one
};

struct Candidates {
  std::vector<std::string> urls;          // in sending order
  std::vector<std::int64_t> firstSeenMs;  // when the history first met each; 0: never
};

// The listed addresses and those the history still has queued, each once, in sending order:
//   1. those the history never met, or first met on Beijing day `today`, before the rest;
//   2. within each, the newest first by the day the source gives (those without one after),
//      then by the day the history first met them, then in the order listed (the history's
//      order of first meeting for queued ones no longer listed).
// A queued address the sources no longer list has no day; a failed or refused one that they no
// longer list is left out, as before.
[[nodiscard]] Candidates OrderCandidates(Listed listed, std::vector<WaitingAddress> waiting, int today);

}  // namespace kestrin::cli
