#include "cli/seen_addresses.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrin::cli {
namespace {

struct SeenCase {
  const char* name;
  std::uint64_t buckets;  // 0: the real hash; otherwise every address shares one of so many
  int distinct;           // addresses, each met twice
};

TEST(SeenAddresses, EachAddressOnceAndNoDistinctOneLostToASharedHash) {
  const SeenCase cases[] = {
      {"real hashes, past the first flush to the file", 0, 40000},
      {"every address in one of three hashes", 3, 3000},
  };
  for (const SeenCase& row : cases) {
    SCOPED_TRACE(row.name);
    SeenAddresses seen;
    seen.HashIntoForTesting(row.buckets);
    int added = 0;
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < row.distinct; ++i) {
        // Lengths vary, so that kept records differ in size and padding.
        const std::string address = "https://s.example/" + std::string(static_cast<std::size_t>(i % 13), 'x') +
                                    std::to_string(i);
        if (seen.Insert(address)) ++added;
      }
      EXPECT_EQ(added, row.distinct) << "round " << round;
    }
    EXPECT_EQ(seen.Size(), static_cast<std::size_t>(row.distinct));
    EXPECT_TRUE(seen.Insert("https://s.example/new")) << "a prefix or extension of one kept is another address";
    EXPECT_TRUE(seen.Insert(""));
    EXPECT_FALSE(seen.Insert(""));
  }
}

}  // namespace
}  // namespace kestrin::cli
