#include "cli/sources/dates.h"

#include <array>
#include <chrono>
#include <cctype>
#include <cstdio>

#include "cli/sources/text_source.h"

namespace kestrin::cli {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Reads exactly `width` digits at `at`, moving past them.
std::optional<int> Digits(std::string_view text, std::size_t& at, std::size_t width) {
  if (at + width > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const char c = text[at + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  at += width;
  return value;
}

// YYYY[-MM[-DD]] followed by nothing or by a 'T' and a time that is not examined further: the
// day is what it says, whatever the time or zone after it.
std::optional<int> W3cDay(std::string_view text) {
  std::size_t at = 0;
  const auto year = Digits(text, at, 4);
  if (!year) return std::nullopt;
  int month = 1;
  int day = 1;
  if (at < text.size()) {
    if (text[at++] != '-') return std::nullopt;
    const auto m = Digits(text, at, 2);
    if (!m) return std::nullopt;
    month = *m;
    if (at < text.size()) {
      if (text[at++] != '-') return std::nullopt;
      const auto d = Digits(text, at, 2);
      if (!d) return std::nullopt;
      day = *d;
      if (at < text.size() && text[at] != 'T' && text[at] != 't' && text[at] != ' ') return std::nullopt;
    }
  }
  return DayNumber(*year, month, day);
}

std::optional<int> MonthOf(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (name.size() < 3) return std::nullopt;
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < 3; ++k) {
      same = same && std::tolower(static_cast<unsigned char>(name[k])) == kMonths[i][k];
    }
    if (same) return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

// [Weekday,] D[D] Mon YYYY ...
std::optional<int> Rfc822Day(std::string_view text) {
  if (const auto comma = text.find(','); comma != std::string_view::npos) text = Trimmed(text.substr(comma + 1));
  std::size_t at = 0;
  std::size_t width = 0;
  while (at + width < text.size() && std::isdigit(static_cast<unsigned char>(text[at + width]))) ++width;
  if (width < 1 || width > 2) return std::nullopt;
  const auto day = Digits(text, at, width);
  if (at >= text.size() || text[at] != ' ') return std::nullopt;
  const std::string_view rest = Trimmed(text.substr(at));
  const auto month = MonthOf(rest);
  const auto space = rest.find(' ');
  if (!month || space == std::string_view::npos) return std::nullopt;
  const std::string_view yearText = Trimmed(rest.substr(space));
  std::size_t yearAt = 0;
  auto year = Digits(yearText, yearAt, 4);
  if (!year) {
    yearAt = 0;
    year = Digits(yearText, yearAt, 2);  // RFC 822's two-digit years
    if (!year) return std::nullopt;
    *year += *year < 70 ? 2000 : 1900;
  }
  if (yearAt < yearText.size() && yearText[yearAt] != ' ') return std::nullopt;
  return DayNumber(*year, *month, *day);
}

}  // namespace

std::optional<int> DayNumber(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  // Days from civil, counting years from March so that the leap day ends a year.
  const int y = month <= 2 ? year - 1 : year;
  const int era = y / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::optional<int> ParseIsoDay(std::string_view text) {
  if (text.size() != 10) return std::nullopt;
  return W3cDay(text);
}

std::optional<int> EntryDay(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return std::nullopt;
  if (std::isdigit(static_cast<unsigned char>(text.front())) && text.size() >= 4 &&
      std::isdigit(static_cast<unsigned char>(text[3]))) {
    return W3cDay(text);
  }
  return Rfc822Day(text);
}

std::string DayText(int dayNumber) {
  const int z = dayNumber + 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int dayOfEra = z - era * 146097;
  const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int mp = (5 * dayOfYear + 2) / 153;
  const int day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int month = mp < 10 ? mp + 3 : mp - 9;
  const int year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d", year, month, day);
  return out;
}

int BeijingDay(std::int64_t unixSeconds) {
  const std::int64_t shifted = unixSeconds + 8 * 3600;
  const std::int64_t day = shifted >= 0 ? shifted / 86400 : (shifted - 86399) / 86400;
  return static_cast<int>(day);
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace kestrin::cli
