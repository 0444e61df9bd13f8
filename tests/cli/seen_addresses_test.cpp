#include "cli/sources/seen_addresses.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace kestrin::cli {
namespace {

struct SeenCase {
  const char* name;
  SeenAddresses::Hash hash;  // nullptr: the real hash
  int distinct;              // addresses, each met twice
  bool lent = false;         // the caller holds the addresses, as a gathered reading does
  rlim_t fileLimit = RLIM_INFINITY;  // the largest file the process may write
};

std::uint64_t OneOfThree(std::string_view address) { return std::hash<std::string_view>{}(address) % 3; }

TEST(SeenAddresses, EachAddressOnceAndNoDistinctOneLostToASharedHash) {
  const SeenCase cases[] = {
      {"real hashes, past the first block", nullptr, 40000},
      {"every address in one of three hashes", OneOfThree, 3000},
      {"lent by the caller, in one of three hashes", OneOfThree, 3000, true},
      {"lent by the caller, real hashes", nullptr, 40000, true},
      {"no file may grow past 512 KB", nullptr, 60000, false, 512 * 1024},
  };
  for (const SeenCase& row : cases) {
    SCOPED_TRACE(row.name);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = row.fileLimit;
    setrlimit(RLIMIT_FSIZE, &limited);
    std::vector<std::string> held;
    SeenAddresses seen(row.lent ? std::function<std::string_view(std::size_t)>(
                                      [&held](std::size_t n) { return std::string_view(held[n]); })
                                : nullptr,
                       row.hash);
    const auto insert = [&](const std::string& address) {
      const bool added = seen.Insert(address);
      if (added) held.push_back(address);
      return added;
    };
    int added = 0;
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < row.distinct; ++i) {
        // Lengths vary, so that kept records differ in size.
        const std::string address = "https://s.example/" + std::string(static_cast<std::size_t>(i % 13), 'x') +
                                    std::to_string(i);
        if (insert(address)) ++added;
      }
      EXPECT_EQ(added, row.distinct) << "round " << round;
    }
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(seen.Size(), static_cast<std::size_t>(row.distinct));
    EXPECT_TRUE(insert("https://s.example/new")) << "a prefix or extension of one kept is another address";
    EXPECT_TRUE(insert(""));
    EXPECT_FALSE(insert(""));
    EXPECT_TRUE(insert(std::string(3 << 20, 'a'))) << "longer than a block";
    EXPECT_FALSE(insert(std::string(3 << 20, 'a')));
  }
}

}  // namespace
}  // namespace kestrin::cli
