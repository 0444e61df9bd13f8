#include "cli/console/messages.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/console/stamped_lines.h"

namespace kestrin::cli {
namespace {

TEST(GbkCodeset, TheTerminalsCharacterSet) {
  const struct {
    const char* name;
    bool gbk;
  } cases[] = {{"GBK", true},         {"zh_CN.GBK", true},   {"zh_CN.gb18030", true}, {"zh_CN.GB2312", true},
               {"zh_CN.euc-cn", true}, {"zh_CN.UTF-8", false}, {"UTF-8", false},       {"ANSI_X3.4-1968", false},
               {"zh_CN.gbk@euro", true}};
  for (const auto& row : cases) EXPECT_EQ(GbkCodeset(row.name), row.gbk) << row.name;
}

TEST(StampedLines, EveryLineBeginsWithTheTime) {
  std::ostringstream log;
  StampedLines stamped(log.rdbuf(), [] { return std::time_t{0}; });
  std::ostream err(&stamped);
  err << "first\nsecond" << " line\n\n" << std::flush;
  const std::string stamp = LocalStamp(0) + ' ';
  EXPECT_EQ(log.str(), stamp + "first\n" + stamp + "second line\n" + stamp + "\n");
}

}  // namespace
}  // namespace kestrin::cli
