#include "runtime/random.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace kestrin {
namespace {

// The whole 15-bit range maps each draw to itself.
int NextDraw() { return RandomInRange(0, 32767); }

std::vector<int> Draws(int count) {
  std::vector<int> draws;
  for (int i = 0; i < count; ++i) draws.push_back(NextDraw());
  return draws;
}

// The sequence of the C library's rand() on Windows after srand(1).
const std::vector<int> kSeedOneSequence = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

TEST(RandomTest, SeedOneGivesTheWindowsSequence) {
  SeedRandom(1);
  EXPECT_EQ(Draws(10), kSeedOneSequence);
}

struct RangeCase {
  const char* name;
  std::optional<int> low;
  std::optional<int> high;
  int expected;    // after SeedRandom(1), whose first draw is 41
  bool drawsOne;   // whether the call used up a draw
};

const RangeCase kRangeCases[] = {
    {"ordinary range", 3, 30, 3 + 41 % 28, true},
    {"reversed range", 30, 3, 3 + 41 % 28, true},
    {"one value, no draw", 5, 5, 5, false},
    {"negative low raised to 0", -7, 2, 41 % 3, true},
    {"both negative: 0 without a draw", -9, -1, 0, false},
    {"defaults", std::nullopt, std::nullopt, 41, true},
    {"high only", std::nullopt, 10, 41 % 11, true},
    {"low only", 100, std::nullopt, 141, true},
    {"top of the range does not overflow", INT_MAX - 1, INT_MAX, INT_MAX - 1 + 41 % 2, true},
    {"top value alone", INT_MAX, INT_MAX, INT_MAX, false},
    {"wide range", 0, 100000, 41, true},
};

TEST(RandomTest, RangeRules) {
  for (const RangeCase& c : kRangeCases) {
    SeedRandom(1);
    EXPECT_EQ(RandomInRange(c.low, c.high), c.expected) << c.name;
    EXPECT_EQ(NextDraw(), c.drawsOne ? 18467 : 41) << c.name;
  }
}

// Over many draws 3..30 yields every value in it and no other; a wide range stops at 32767.
TEST(RandomTest, ResultsStayInsideTheirRange) {
  std::set<int> small, wide;
  SeedRandom(12345);
  for (int i = 0; i < 100000; ++i) {
    small.insert(RandomInRange(30, 3));
    wide.insert(RandomInRange(0, 100000));
  }
  EXPECT_EQ(small.size(), 28u);
  EXPECT_EQ(*small.begin(), 3);
  EXPECT_EQ(*small.rbegin(), 30);
  EXPECT_EQ(*wide.rbegin(), 32767);
}

TEST(RandomTest, TickCountCountsMilliseconds) {
  const unsigned before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  const unsigned elapsed = TickCount() - before;
  EXPECT_GE(elapsed, 59u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(ConcurrentRandomTest, EachThreadHasItsOwnGenerator) {
  std::vector<int> unseeded;
  std::thread([&] { unseeded = Draws(3); }).join();
  EXPECT_EQ(unseeded, std::vector<int>(kSeedOneSequence.begin(), kSeedOneSequence.begin() + 3));

  constexpr int kCount = 20000;
  std::vector<int> a, b;
  std::set<std::vector<int>> unseeded1, unseeded2;
  // Each thread mixes seedings without a seed (which share the counter) with a fixed sequence.
  auto run = [](std::vector<int>& fixed, std::set<std::vector<int>>& sequences) {
    for (int i = 0; i < 100; ++i) {
      SeedRandom();
      sequences.insert(Draws(3));
    }
    SeedRandom(7);
    fixed = Draws(kCount);
  };
  std::thread ta(run, std::ref(a), std::ref(unseeded1));
  std::thread tb(run, std::ref(b), std::ref(unseeded2));
  ta.join();
  tb.join();
  EXPECT_EQ(a, b);
  unseeded1.insert(unseeded2.begin(), unseeded2.end());
  EXPECT_EQ(unseeded1.size(), 200u);
}

}  // namespace
}  // namespace kestrin
