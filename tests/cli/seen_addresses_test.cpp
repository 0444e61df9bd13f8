#include "cli/sources/seen_addresses.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrin::cli {
namespace {

struct SeenCase {
  const char* name;
  std::uint64_t buckets;  // 0: the real hash; otherwise every address shares one of so many
  int distinct;           // addresses, each met twice
  bool lent = false;      // the caller holds the addresses, as a gathered reading does
};

TEST(SeenAddresses, EachAddressOnceAndNoDistinctOneLostToASharedHash) {
  const SeenCase cases[] = {
      {"real hashes, past the first flush to the file", 0, 40000},
      {"every address in one of three hashes", 3, 3000},
      {"lent by the caller, in one of three hashes", 3, 3000, true},
      {"lent by the caller, real hashes", 0, 40000, true},
  };
  for (const SeenCase& row : cases) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> held;
    SeenAddresses seen(row.lent ? std::function<std::string_view(std::size_t)>(
                                      [&held](std::size_t n) { return std::string_view(held[n]); })
                                : nullptr);
    const auto insert = [&](const std::string& address) {
      const bool added = seen.Insert(address);
      if (added) held.push_back(address);
      return added;
    };
    seen.HashIntoForTesting(row.buckets);
    int added = 0;
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < row.distinct; ++i) {
        // Lengths vary, so that kept records differ in size and padding.
        const std::string address = "https://s.example/" + std::string(static_cast<std::size_t>(i % 13), 'x') +
                                    std::to_string(i);
        if (insert(address)) ++added;
      }
      EXPECT_EQ(added, row.distinct) << "round " << round;
    }
    EXPECT_EQ(seen.Size(), static_cast<std::size_t>(row.distinct));
    EXPECT_TRUE(insert("https://s.example/new")) << "a prefix or extension of one kept is another address";
    EXPECT_TRUE(insert(""));
    EXPECT_FALSE(insert(""));
  }
}

}  // namespace
}  // namespace kestrin::cli
