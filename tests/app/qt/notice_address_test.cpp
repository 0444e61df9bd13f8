#include "app/notice_address.h"

#include <gtest/gtest.h>

#include "app/layouts.h"
#include "runtime/helper_program.h"

namespace kestrin::app {
namespace {

struct HandOverCase {
  const char* name;
  Text address;  // GBK
};

const HandOverCase kHandOverCases[] = {
    {"PlainAddress", "http://www.example.com/pop/17.html"},
    {"ChineseInThePath", "http://www.example.com/公告/3.html"},
    {"SpacesAndQuotes", "http://www.example.com/a b\"c'/30.html"},
    {"Nothing", ""},
};

// The address goes to the notice window's process and arrives byte for byte.
TEST(NoticeAddressTest, ReachesTheHelperByteForByte) {
  for (const HandOverCase& row : kHandOverCases) {
    SetNoticeWindowAddress(row.address);
    const std::vector<std::string> arguments = HelperArguments(kNoticeHelper);
    ASSERT_EQ(arguments.size(), 1u) << row.name;
    SetNoticeWindowAddress("http://stale.example/");
    EXPECT_TRUE(TakeNoticeWindowAddress(arguments[0])) << row.name;
    EXPECT_EQ(NoticeWindowAddress(), row.address) << row.name;
  }
}

struct ArgumentCase {
  const char* name;
  const char* argument;
};

const ArgumentCase kRefusedArguments[] = {
    {"OddDigitCount", "687"},
    {"NotADigit", "68zz"},
    {"PlainAddress", "http://www.example.com/"},
};

TEST(NoticeAddressTest, AnArgumentNotHandedOverLeavesNoAddress) {
  for (const ArgumentCase& row : kRefusedArguments) {
    SetNoticeWindowAddress("");
    EXPECT_FALSE(TakeNoticeWindowAddress(row.argument)) << row.name;
    EXPECT_EQ(NoticeWindowAddress(), "") << row.name;
  }
  EXPECT_TRUE(TakeNoticeWindowAddress("4a4B")) << "digits of either case";
  EXPECT_EQ(NoticeWindowAddress(), "JK");
}

}  // namespace
}  // namespace kestrin::app
