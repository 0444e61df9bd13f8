#include "cli/sources/source_queue.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrin::cli {
namespace {

// Whatever the room and however much is asked for at a time, everything read is handed over in
// order: addresses, entries that are none, and errors.
TEST(SourceQueue, ConcurrentReaderHandsOverEverythingReadInOrder) {
  std::string list;
  std::vector<std::string> addresses;
  for (int i = 0; i < 1000; ++i) {
    addresses.push_back("http://s.example/" + std::to_string(i));
    list += addresses.back() + "\n";
    if (i % 100 == 0) list += "bad" + std::to_string(i) + "\n";
  }
  const struct {
    const char* name;
    std::size_t capacity;
    std::size_t wanted;
  } cases[] = {
      {"room for all", 16384, 2000},
      {"less room than the reader hands over at once", 10, 2000},
      {"one at a time", 1, 1},
  };
  for (const auto& row : cases) {
    std::istringstream input(list);
    SourceQueue queue({"-", "/nonexistent/list.txt"}, SourceOptions{}, [](const std::string&) { return HttpReply{}; },
                      input, row.capacity);
    SourceAddresses read;
    while (queue.Take(row.wanted, read)) {
    }
    EXPECT_EQ(read.addresses, addresses) << row.name;
    EXPECT_EQ(read.invalid.size(), 10u) << row.name;
    EXPECT_EQ(read.errors.size(), 1u) << row.name;
  }

  // A queue left before its end lets the reader finish instead of waiting for room for ever.
  std::istringstream input(list);
  SourceQueue abandoned({"-"}, SourceOptions{}, [](const std::string&) { return HttpReply{}; }, input, 1);
  SourceAddresses first;
  EXPECT_TRUE(abandoned.Take(1, first));
}

}  // namespace
}  // namespace kestrin::cli
