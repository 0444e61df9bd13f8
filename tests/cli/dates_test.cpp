#include "cli/sources/dates.h"

#include <gtest/gtest.h>

namespace kestrin::cli {
namespace {

struct DayCase {
  const char* text;
  const char* day;  // nullptr: not a day
};

const DayCase kEntryDays[] = {
    {"2024-03-01", "2024-03-01"},
    {"2024-03", "2024-03-01"},
    {"2024", "2024-01-01"},
    {" 2024-03-01T23:59:59-05:00 ", "2024-03-01"},  // the day as written, whatever the zone
    {"2024-02-29T00:00Z", "2024-02-29"},
    {"2023-02-29", nullptr},
    {"2024-13-01", nullptr},
    {"2024-3-1", nullptr},
    {"2024-03-01x", nullptr},
    {"Tue, 10 Jun 2003 04:00:00 GMT", "2003-06-10"},
    {"10 jun 2003 04:00 +0800", "2003-06-10"},
    {"Sat, 1 Jan 00 00:00:00 GMT", "2000-01-01"},
    {"Mon, 31 Feb 2003 00:00:00 GMT", nullptr},
    {"yesterday", nullptr},
    {"", nullptr},
};

TEST(EntryDay, ReadsW3cAndRfc822Days) {
  for (const DayCase& row : kEntryDays) {
    const auto day = EntryDay(row.text);
    if (row.day == nullptr) {
      EXPECT_FALSE(day.has_value()) << row.text;
    } else {
      ASSERT_TRUE(day.has_value()) << row.text;
      EXPECT_EQ(DayText(*day), row.day) << row.text;
    }
  }
}

TEST(ParseIsoDay, OnlyTheFullForm) {
  EXPECT_EQ(ParseIsoDay("1970-01-01"), 0);
  EXPECT_EQ(ParseIsoDay("2000-03-01"), 11017);
  EXPECT_FALSE(ParseIsoDay("2024-03"));
  EXPECT_FALSE(ParseIsoDay("2024-03-01T00:00"));
  // Years 1 to 9999, 0001-01-01 being day -719162.
  for (int day = -719162; day <= 2932896; day += 997) EXPECT_EQ(ParseIsoDay(DayText(day)), day) << day;
  EXPECT_FALSE(ParseIsoDay("0000-12-31"));
}

TEST(BeijingDay, TurnsAtMidnightInBeijing) {
  const std::int64_t midnightBeijing = 1704038400;  // 2024-01-01 00:00 +08:00
  EXPECT_EQ(DayText(BeijingDay(midnightBeijing - 1)), "2023-12-31");
  EXPECT_EQ(DayText(BeijingDay(midnightBeijing)), "2024-01-01");
  EXPECT_EQ(DayText(BeijingDay(0)), "1970-01-01");
  EXPECT_EQ(DayText(BeijingDay(-8 * 3600 - 1)), "1969-12-31");
}

}  // namespace
}  // namespace kestrin::cli
