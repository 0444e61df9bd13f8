#include <CLI/CLI.hpp>
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

struct HistorySettings {
  std::string path;
  std::optional<int> sinceDay;  // a day number; entries from that local midnight on
  bool failed = false;
  bool queued = false;
  bool refused = false;
  std::string engine;  // empty: every engine
  std::string site;    // empty: every site
  bool json = false;
  bool clear = false;  // forget the entries instead of listing them
};

// Lists the entries the settings select, oldest first, or with `clear` forgets them and tells
// how many on standard error. 0, or 2 when the history cannot be opened.
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
    // A listing makes nothing: a history that is not there is a mistaken path, told as such.
    History history(settings.path, History::Opening::kExisting);
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
      // The addresses and reasons came from sources and answers off the network.
      std::cout << LocalTime(entry.timeMs) << '\t' << Printable(entry.engine) << '\t' << Printable(entry.state) << '\t'
                << Printable(entry.url);
      if (!entry.reason.empty()) std::cout << '\t' << Printable(entry.reason);
      std::cout << '\n';
    }
  }
  std::cout.flush();
  return std::cout.good() ? kExitOk : kExitProblems;
}

}  // namespace

Command AddHistory(CLI::App& app) {
  struct Options {
    HistorySettings history;
    std::string since;
    bool clearAll = false;
  };
  auto given = std::make_shared<Options>();
  HistorySettings& history = given->history;
  CLI::App* command = app.add_subcommand("history", Tr("list the history, or clear it", "列出或清除推送历史"));
  command->add_option("--history", history.path, Tr("history database file", "历史记录数据库文件"));
  command->add_option("--since", given->since, Tr("entries from this day on (YYYY-MM-DD)", "该日（YYYY-MM-DD）起的记录"));
  command->add_flag("--failed", history.failed, Tr("failed entries only", "只列出失败的记录"));
  command->add_flag("--queued", history.queued, Tr("queued entries only", "只列出排队的记录"));
  command->add_option("--engine", history.engine, Tr("entries of this engine only", "只列出该引擎的记录"));
  command->add_option("--site", history.site,
                      Tr("entries of this site (an IndexNow host) only", "只列出该站点（IndexNow 为主机名）的记录"));
  command->add_flag("--refused", history.refused,
                    Tr("refused entries only (not_valid, not_same_site)", "只列出被拒绝的记录（not_valid、not_same_site）"));
  command->add_flag("--clear", history.clear,
                    Tr("forget the entries selected instead of listing them, so that they are sent again",
                       "清除所选记录而不列出，之后这些地址会再次推送"));
  command->add_flag("--all", given->clearAll, Tr("with --clear and no filter: forget the whole history",
                                                  "与 --clear 同用且不加筛选时：清除全部历史记录"));
  command->add_flag("--json", history.json, Tr("one JSON object per entry", "每条记录输出一个 JSON 对象"));
  return {command, [given] {
            HistorySettings& history = given->history;
            if (!given->since.empty()) {
              history.sinceDay = ReadSinceDay(given->since);
              if (!history.sinceDay) return int{kExitUsage};
            }
            const bool filtered = history.sinceDay || history.failed || history.queued || history.refused ||
                                  !history.engine.empty() || !history.site.empty();
            if (history.clear && !filtered && !given->clearAll) {
              std::cerr << "kestrin-cli: "
                        << Tr("history --clear without --engine, --site, --since, --failed, --queued or --refused "
                              "forgets everything: add --all to mean it",
                              "history --clear 未加 --engine、--site、--since、--failed、--queued 或 --refused "
                              "时会清除全部记录：确要如此请加 --all")
                        << '\n';
              return int{kExitUsage};
            }
            if (history.path.empty()) history.path = DefaultHistoryPath();
            return RunHistory(history);
          }};
}

}  // namespace kestrin::cli
