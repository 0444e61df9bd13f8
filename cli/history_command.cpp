#include <ctime>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/console/messages.h"
#include "cli/console/report.h"
#include "cli/console/stamped_lines.h"
#include "cli/history/history.h"
#include "cli/sources/dates.h"

namespace kestrin::cli {
namespace {

// Local midnight of a day number, in Unix milliseconds.
std::int64_t LocalMidnightMs(int dayNumber) {
  const std::string text = DayText(dayNumber);
  std::tm day{};
  day.tm_year = std::stoi(text.substr(0, 4)) - 1900;
  day.tm_mon = std::stoi(text.substr(5, 2)) - 1;
  day.tm_mday = std::stoi(text.substr(8, 2));
  day.tm_isdst = -1;
  return std::int64_t{std::mktime(&day)} * 1000;
}

// The local time of an entry, as a log line gives it.
std::string LocalTime(std::int64_t ms) { return LocalStamp(static_cast<std::time_t>(ms / 1000)); }

}  // namespace

int RunHistory(const HistorySettings& settings) {
  HistoryFilter filter;
  if (settings.sinceDay) filter.sinceMs = LocalMidnightMs(*settings.sinceDay);
  filter.failed = settings.failed;
  filter.queued = settings.queued;
  filter.refused = settings.refused;
  filter.engine = settings.engine;
  filter.site = settings.site;
  std::vector<HistoryEntry> entries;
  try {
    History history(settings.path);
    if (settings.clear) {
      const std::int64_t cleared = history.Clear(filter);
      std::cerr << Tr("kestrin-cli: " + std::to_string(cleared) + " entries cleared",
                      "kestrin-cli：已清除 " + std::to_string(cleared) + " 条记录")
                << '\n';
      return kExitOk;
    }
    entries = history.List(filter);
  } catch (const HistoryError& error) {
    std::cerr << "kestrin-cli: " << error.what() << '\n';
    return kExitUsage;
  }
  for (const HistoryEntry& entry : entries) {
    if (settings.json) {
      std::cout << nlohmann::ordered_json{{"url", entry.url},      {"engine", entry.engine}, {"site", entry.site},
                                  {"state", entry.state},  {"reason", entry.reason},
                                  {"time", LocalTime(entry.timeMs)}}
                       .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                << '\n';
    } else {
      std::cout << LocalTime(entry.timeMs) << '\t' << entry.engine << '\t' << entry.state << '\t' << entry.url;
      if (!entry.reason.empty()) std::cout << '\t' << entry.reason;
      std::cout << '\n';
    }
  }
  std::cout.flush();
  return std::cout.good() ? kExitOk : kExitProblems;
}

}  // namespace kestrin::cli
