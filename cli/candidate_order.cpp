#include "cli/candidate_order.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "cli/sources/dates.h"
#include "cli/sources/sources.h"

namespace kestrin::cli {

Candidates OrderCandidates(Listed listed, std::vector<WaitingAddress> waiting, int today) {
  const std::size_t count = listed.urls.size();
  std::vector<std::int64_t> firstSeen(count, 0);
  std::vector<int> days = std::move(listed.days);
  days.resize(count, kNoDay);
  if (!waiting.empty()) {
    std::unordered_map<std::string_view, std::size_t> index;
    index.reserve(waiting.size());
    for (std::size_t i = 0; i < waiting.size(); ++i) index.emplace(waiting[i].url, i);
    std::vector<bool> listedToo(waiting.size(), false);
    for (std::size_t i = 0; i < count; ++i) {
      if (const auto at = index.find(listed.urls[i]); at != index.end()) {
        firstSeen[i] = waiting[at->second].firstSeenMs;
        listedToo[at->second] = true;
      }
    }
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      if (listedToo[i] || !waiting[i].queued) continue;
      listed.urls.push_back(std::move(waiting[i].url));
      firstSeen.push_back(waiting[i].firstSeenMs);
      days.push_back(kNoDay);
    }
  }
  // What each address is sent by, least first; its place in the list settles the rest.
  // The history's meeting counts by day as the sources' dates do: the addresses one run meets are
  // met together, whichever request of the run recorded them first.
  using Key = std::tuple<bool, std::int64_t, std::int64_t>;
  std::vector<Key> keys(listed.urls.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const int met = firstSeen[i] == 0 ? today : BeijingDay(firstSeen[i] / 1000);
    keys[i] = {met < today, -static_cast<std::int64_t>(days[i]), -static_cast<std::int64_t>(met)};
  }
  std::vector<std::uint32_t> order(keys.size());
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  const auto before = [&](std::uint32_t a, std::uint32_t b) { return std::tie(keys[a], a) < std::tie(keys[b], b); };
  Candidates out;
  if (std::is_sorted(order.begin(), order.end(), before)) {
    out.urls = std::move(listed.urls);
    out.firstSeenMs = std::move(firstSeen);
    return out;
  }
  std::sort(order.begin(), order.end(), before);
  out.urls.reserve(order.size());
  out.firstSeenMs.reserve(order.size());
  for (const std::uint32_t i : order) {
    out.urls.push_back(std::move(listed.urls[i]));
    out.firstSeenMs.push_back(firstSeen[i]);
  }
  return out;
}

}  // namespace kestrin::cli
