#include "cli/console/report.h"

#include <gtest/gtest.h>

namespace kestrin::cli {
namespace {

// A long list of bad lines names ten of each source and reason, then counts the rest, so that a
// log is not flooded; control bytes never reach the terminal.
TEST(InvalidLog, TenOfEachSourceAndReasonByNameThenHowManyMore) {
  InvalidLog log;
  std::vector<std::string> told;
  for (int i = 0; i < 12; ++i) told.push_back(log.Tell("a.txt", "bad" + std::to_string(i), "not an http(s) address"));
  told.push_back(log.Tell("b.txt", "ftp://x\x1b[2J", "not an http(s) address"));
  told.push_back(log.Tell("", "http://other.example/", "belongs to no configured site"));
  const struct {
    std::size_t index;
    const char* line;
  } cases[] = {
      {0, "kestrin-cli: a.txt: not an http(s) address: bad0"},
      {9, "kestrin-cli: a.txt: not an http(s) address: bad9"},
      {10, ""},
      {11, ""},
      {12, "kestrin-cli: b.txt: not an http(s) address: ftp://x\\x1B[2J"},
      {13, "kestrin-cli: belongs to no configured site: http://other.example/"},
  };
  for (const auto& row : cases) EXPECT_EQ(told[row.index], row.line) << row.index;
  EXPECT_EQ(log.Rest(), std::vector<std::string>{"kestrin-cli: a.txt: 2 more: not an http(s) address"});
}

}  // namespace
}  // namespace kestrin::cli
