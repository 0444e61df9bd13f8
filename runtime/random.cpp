#include "runtime/random.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>

namespace kestrin {
namespace {

thread_local std::uint32_t t_state = 1;
std::atomic<std::uint32_t> g_seedingCounter{0};

int Draw() {
  t_state = t_state * 214013u + 2531011u;
  return static_cast<int>((t_state >> 16) & 0x7FFF);
}

}  // namespace

void SeedRandom(std::optional<int> seed) {
  if (seed) {
    t_state = static_cast<std::uint32_t>(*seed);
    return;
  }
  // Each seeding claims its own counter value, so two threads seeding in the same millisecond
  // still get different seeds.
  const std::uint32_t tick = TickCount();
  std::uint32_t counter = g_seedingCounter.load();
  std::uint32_t chosen = 0;
  do {
    chosen = tick + counter;
  } while (!g_seedingCounter.compare_exchange_weak(counter, counter + (chosen & 0xFF) + 100));
  t_state = chosen;
}

int RandomInRange(std::optional<int> low, std::optional<int> high) {
  std::int64_t from = low ? std::max(*low, 0) : 0;
  std::int64_t to = high ? std::max(*high, 0) : std::numeric_limits<int>::max();
  if (from > to) std::swap(from, to);
  if (from == to) return static_cast<int>(from);
  std::int64_t span = to - from;
  if (span == std::numeric_limits<int>::max()) span = std::numeric_limits<int>::max() - 1;
  return static_cast<int>(from + Draw() % (span + 1));
}

unsigned TickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<unsigned>(static_cast<std::uint64_t>(ms.count()));
}

}  // namespace kestrin
