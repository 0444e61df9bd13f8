// Calendar days as the sources write them, the day of the Baidu quota, and the tool's clocks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin::cli {

// Days since 1970-01-01 of a valid proleptic Gregorian date; nullopt for an impossible one.
[[nodiscard]] std::optional<int> DayNumber(int year, int month, int day);
// "YYYY-MM-DD" exactly (the --since form); nullopt otherwise.
[[nodiscard]] std::optional<int> ParseIsoDay(std::string_view text);
// The calendar day an entry gives, as written in its own time zone: a W3C/RFC 3339 date or
// date-time (sitemap lastmod, Atom updated), or an RFC 822 date (RSS pubDate, "Tue, 10 Jun 2003
// 04:00:00 GMT", the weekday optional). Surrounding spaces are ignored; nullopt for anything else.
[[nodiscard]] std::optional<int> EntryDay(std::string_view text);
// "YYYY-MM-DD" of a day number.
[[nodiscard]] std::string DayText(int dayNumber);
// The day in Beijing (UTC+8 all year) at `unixSeconds`: the quota resets at its midnight.
[[nodiscard]] int BeijingDay(std::int64_t unixSeconds);

// Unix time in milliseconds: what the history records and the quota's day.
[[nodiscard]] std::int64_t NowMs();
// Milliseconds on a clock that only goes forward, whatever is done to the wall clock: what
// durations such as the run's --timeout are measured on.
[[nodiscard]] std::int64_t SteadyMs();

}  // namespace kestrin::cli
