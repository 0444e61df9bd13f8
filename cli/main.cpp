// kestrin-cli: the collector and the submission of addresses for cron jobs and deploy hooks.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <iostream>

#include "cli/commands.h"
#include "cli/config.h"
#include "cli/console/messages.h"
#include "cli/console/report.h"
#include "cli/console/stamped_lines.h"
#include "cli/history/history.h"
#include "cli/push.h"
#include "cli/sources/dates.h"

#ifndef KESTRIN_VERSION
#define KESTRIN_VERSION "1.0"
#endif

namespace kestrin::cli {
namespace {

// What the push options hold before the configuration file is merged in.
struct PushOptions {
  std::string config;
  SiteConfig site;
  bool daily = false;
  std::string history;
  bool force = false;
  bool json = false;
  std::string proxy;
  std::optional<int> timeoutSeconds;
};

// The flags of every command that fetches: how and for how long.
void AddNetworkFlags(CLI::App& command, std::string& proxy, std::optional<int>& timeoutSeconds) {
  command.add_option("--proxy", proxy,
                     Tr("proxy for every request (http://HOST:PORT); otherwise http_proxy, https_proxy, "
                        "all_proxy and no_proxy are read as curl reads them",
                        "所有请求经由的代理（http://主机:端口）；未给出时按 curl 的方式读取 http_proxy、"
                        "https_proxy、all_proxy 和 no_proxy"));
  command.add_option("--timeout", timeoutSeconds,
                     Tr("seconds the run may spend on the network in all", "本次运行联网的总秒数上限"))
      ->check(CLI::Range(1, 86400));
}

// Every later request goes through `proxy` (or the environment's) and ends by the run's deadline.
void UseNetworkSettings(const std::string& proxy, std::optional<int> timeoutSeconds) {
  std::int64_t deadlineMs = 0;
  if (timeoutSeconds) {
    deadlineMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count() +
                 std::int64_t{*timeoutSeconds} * 1000;
  }
  SetNetworkSettings(proxy, deadlineMs);
}

struct SourceFlags {
  std::string since;
  SourceOptions options;
};

void Localise(CLI::App& app) {
  if (!ChineseLocale()) return;
  auto formatter = app.get_formatter();
  for (const auto& [key, chinese] : {std::pair{"Usage", "用法"}, {"OPTIONS", "选项"}, {"SUBCOMMAND", "子命令"},
                                      {"SUBCOMMANDS", "子命令"}, {"Positionals", "位置参数"}, {"REQUIRED", "必填"},
                                      {"TEXT", "文本"}, {"INT", "整数"}, {"Needs", "需要"}, {"Excludes", "排除"}}) {
    formatter->label(key, Tr(key, chinese));
  }
  app.option_defaults()->group(Tr("Options", "选项"));
  app.get_help_ptr()->group(Tr("Options", "选项"))->description(Tr("Print this help message and exit", "显示本帮助并退出"));
}

void AddSourceFlags(CLI::App& command, SourceFlags& flags) {
  command.add_option("--since", flags.since,
                     Tr("keep entries whose lastmod, pubDate or updated is on or after this day (YYYY-MM-DD)",
                        "只保留 lastmod、pubDate 或 updated 在该日（YYYY-MM-DD）或之后的条目"));
  command.add_option("--max-depth", flags.options.maxDepth,
                     Tr("follow sitemap indexes this many levels down", "站点地图索引最多跟随的层数"))
      ->capture_default_str();
  command.add_option("--max-sitemaps", flags.options.maxSitemaps,
                     Tr("fetch at most this many sitemaps through indexes and robots.txt",
                        "经索引和 robots.txt 最多读取的站点地图数"))
      ->capture_default_str();
}

// The day of --since, or an exit code for a malformed one.
bool ReadSince(const SourceFlags& flags, SourceOptions& options) {
  options = flags.options;
  if (flags.since.empty()) return true;
  options.since = ParseIsoDay(flags.since);
  if (!options.since) {
    std::cerr << "kestrin-cli: --since " << flags.since << Tr(": not a day written YYYY-MM-DD", "：日期须写作 YYYY-MM-DD")
              << '\n';
  }
  return options.since.has_value();
}

// Why a history file cannot be made at `path`: a folder that is not there is a misspelt path,
// not a place for a new, empty history. Empty when it can.
std::string HistoryFolderProblem(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat status {};
  if (stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return {};
  return Tr("--history " + path + ": the folder " + folder + " does not exist",
            "--history " + path + "：文件夹 " + folder + " 不存在");
}

// The sites of a push: the configuration file's, with the command line's settings over them.
bool PushSites(PushOptions& options, CLI::App& push, std::vector<SiteConfig>& sites, std::string& history,
               Report& report) {
  history = options.history;
  const SiteConfig& given = options.site;
  if (!options.config.empty()) {
    const LoadedConfig loaded = LoadConfig(options.config);
    if (!loaded.error.empty()) {
      report.Problem(kExitUsage, loaded.error);
      return false;
    }
    if (history.empty()) history = loaded.config.history;
    if (options.proxy.empty()) options.proxy = loaded.config.proxy;
    if (!options.timeoutSeconds) options.timeoutSeconds = loaded.config.timeoutSeconds;
    for (const SiteConfig& site : loaded.config.sites) {
      if (given.site.empty() || site.site == given.site) sites.push_back(site);
    }
  }
  if (sites.empty() && (options.config.empty() || !given.site.empty())) {
    SiteConfig site;
    site.site = given.site;
    sites.push_back(std::move(site));
  }
  for (SiteConfig& site : sites) {
    if (!given.token.empty()) site.token = given.token;
    if (!given.engines.empty()) site.engines = given.engines;
    if (!given.indexnowKey.empty()) site.indexnowKey = given.indexnowKey;
    if (!given.keyLocation.empty()) site.keyLocation = given.keyLocation;
    if (!given.sources.empty()) site.sources = given.sources;
    if (push.count("--daily") > 0) site.daily = options.daily;
    if (!given.interface.empty()) site.interface = given.interface;
    if (!given.indexnowEndpoint.empty()) site.indexnowEndpoint = given.indexnowEndpoint;
  }
  if (history.empty()) {
    history = DefaultHistoryPath();
  } else if (const std::string problem = HistoryFolderProblem(history); !problem.empty()) {
    report.Problem(kExitUsage, problem);
    return false;
  }
  // With no source anywhere, the addresses come down a pipe; typed at a terminal they would wait
  // for an end nobody types, so there it is a mistake.
  const bool noSource = std::all_of(sites.begin(), sites.end(), [](const SiteConfig& site) { return site.sources.empty(); });
  if (noSource) {
    if (isatty(STDIN_FILENO) == 1) {
      report.Problem(kExitUsage, Tr("no source: name files or addresses, or pipe the addresses in",
                                    "没有来源：请给出文件或地址，或经管道输入地址"));
      return false;
    }
    for (SiteConfig& site : sites) site.sources = {"-"};
  }
  return true;
}

// A parse error in the reader's language; what the user typed is kept as CLI11 quotes it.
std::string UsageError(const CLI::ParseError& error) {
  const std::string text = error.what();
  const auto colon = text.find(": ");
  std::string detail = colon == std::string::npos ? "" : text.substr(colon + 2);
  if (constexpr std::string_view kRequired = " is required"; detail.empty() && text.ends_with(kRequired)) {
    detail = text.substr(0, text.size() - kRequired.size());
  }
  if (!ChineseLocale() || detail.empty()) return text;
  if (detail == "A subcommand") return Tr("", "需要一个子命令：collect、sitemap、push、history 或 help");
  // The error's name is that of the subcommand it came from: its type tells what it is.
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) return Tr("", "多余的参数：") + detail;
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) return Tr("", "缺少必需的选项或参数：") + detail;
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr ||
      dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
    return Tr("", "取值无效：") + detail;
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) return Tr("", "参数个数不对：") + detail;
  return Tr("", "用法错误：") + text;
}

int Main(int argc, char** argv) {
  // A log file gets the time of every line; a terminal shows it already.
  StampedLines stamped(std::cerr.rdbuf());
  if (isatty(STDERR_FILENO) != 1) std::cerr.rdbuf(&stamped);
  struct Restore {
    std::streambuf* buffer;
    ~Restore() { std::cerr.rdbuf(buffer); }
  } restore{stamped.Target()};

  CLI::App app(Tr("Collects page addresses and submits them to Baidu and IndexNow.",
                  "采集网页地址并推送到百度和 IndexNow。"),
               "kestrin-cli");
  Localise(app);
  app.require_subcommand(1);
  app.set_version_flag("--version", "kestrin-cli " KESTRIN_VERSION, Tr("print the version and exit", "显示版本并退出"));
  app.get_version_ptr()->group(Tr("Options", "选项"));
  app.set_help_all_flag("--help-all", Tr("print the help of every subcommand and exit", "显示所有子命令的帮助并退出"))
      ->group(Tr("Options", "选项"));

  CollectSettings collect;
  CLI::App* collectCommand = app.add_subcommand(
      "collect", Tr("collect article addresses from paginated list pages, as the window does",
                    "从分页列表页采集文章地址，与窗口版相同"));
  collectCommand->add_option("PATTERN", collect.pattern,
                             Tr("list-page address, with $ for the page number", "列表分页地址，分页数字用$代替"))
      ->required();
  collectCommand->add_option("--from", collect.from, Tr("first page (2)", "起始页（默认 2）"));
  collectCommand->add_option("--to", collect.to, Tr("last page (10)", "结束页（默认 10）"));
  collectCommand->add_flag("--reverse", collect.reverse, Tr("from the last page down", "倒序采集"));
  collectCommand->add_flag("--gbk", collect.gbk, Tr("the pages are GBK (gb2312) rather than UTF-8", "页面为 gb2312 编码"));
  collectCommand->add_flag("--single", collect.single, Tr("fetch the pattern once, without pages", "不分页，只采集该地址"));
  // The defaults are the window's boxes as it opens; the list start ends in a line break.
  collectCommand->add_option("--list-start", collect.listStart, Tr("where the article list starts", "文章列表开始代码"))
      ->default_str("<div class=\"cca\">\\r");
  collectCommand->add_option("--list-end", collect.listEnd, Tr("where the article list ends", "文章列表结束代码"))
      ->default_str("</ul>");
  collectCommand->add_option("--link-start", collect.linkStart, Tr("where an article address starts", "文章地址开始代码"))
      ->default_str("<li><a href=\"");
  collectCommand->add_option("--link-end", collect.linkEnd, Tr("where an article address ends", "文章地址结束代码"))
      ->default_str("\"");

  std::vector<std::string> sitemapSources;
  SourceFlags sitemapFlags;
  CLI::App* sitemapCommand = app.add_subcommand(
      "sitemap", Tr("print the addresses of sitemaps, feeds, robots.txt or lists", "输出站点地图、订阅源、robots.txt 或列表中的地址"));
  sitemapCommand->add_option("SOURCES", sitemapSources, Tr("file, - for standard input, or http(s) address",
                                                           "文件、- 表示标准输入，或 http(s) 地址"))
      ->required();
  AddSourceFlags(*sitemapCommand, sitemapFlags);
  std::string sitemapProxy;
  std::optional<int> sitemapTimeout;
  AddNetworkFlags(*sitemapCommand, sitemapProxy, sitemapTimeout);

  PushOptions push;
  SourceFlags pushFlags;
  CLI::App* pushCommand = app.add_subcommand(
      "push", Tr("submit new addresses to Baidu and IndexNow", "向百度和 IndexNow 推送新地址"));
  pushCommand->add_option("SOURCES", push.site.sources,
                          Tr("file, - for standard input, or http(s) address of a sitemap, feed or robots.txt; "
                             "none: standard input, when it is not a terminal",
                             "文件、- 表示标准输入，或站点地图、订阅源、robots.txt 的 http(s) 地址；"
                             "未给出时读取标准输入（须不是终端）"));
  pushCommand->add_option("--config", push.config, Tr("TOML file of [[site]] tables", "含 [[site]] 表的 TOML 配置文件"));
  pushCommand->add_option("--site", push.site.site, Tr("site as registered with Baidu", "在百度站长平台登记的站点"));
  pushCommand->add_option("--token", push.site.token, Tr("Baidu push token", "百度推送令牌"));
  pushCommand->add_option("--engine", push.site.engines, Tr("baidu (default) or indexnow; may be repeated",
                                                             "baidu（默认）或 indexnow，可重复"))
      ->allow_extra_args(false);
  pushCommand->add_flag("--daily", push.daily, Tr("use the quick-submission (daily) quota", "使用快速收录配额"));
  pushCommand->add_option("--interface", push.site.interface,
                          Tr("submission interface, without query (http://data.zz.baidu.com/urls)",
                             "推送接口地址，不含查询部分（默认 http://data.zz.baidu.com/urls）"));
  pushCommand->add_option("--key", push.site.indexnowKey, Tr("IndexNow key", "IndexNow 密钥"));
  pushCommand->add_option("--key-location", push.site.keyLocation,
                          Tr("address of the key file (https://HOST/KEY.txt)", "密钥文件地址（默认 https://HOST/KEY.txt）"));
  pushCommand->add_option("--indexnow-endpoint", push.site.indexnowEndpoint,
                          Tr("IndexNow endpoint (https://api.indexnow.org/indexnow)", "IndexNow 接口地址"));
  pushCommand->add_option("--history", push.history, Tr("history database file", "历史记录数据库文件"));
  pushCommand->add_flag("--force", push.force, Tr("send addresses accepted before again", "重新推送已接受的地址"));
  pushCommand->add_flag("--json", push.json, Tr("one JSON object per address on standard output",
                                                "在标准输出上为每个地址输出一个 JSON 对象"));
  AddNetworkFlags(*pushCommand, push.proxy, push.timeoutSeconds);
  AddSourceFlags(*pushCommand, pushFlags);

  HistorySettings history;
  std::string historySince;
  CLI::App* historyCommand = app.add_subcommand("history", Tr("list the history, or clear it", "列出或清除推送历史"));
  historyCommand->add_option("--history", history.path, Tr("history database file", "历史记录数据库文件"));
  historyCommand->add_option("--since", historySince, Tr("entries from this day on (YYYY-MM-DD)", "该日（YYYY-MM-DD）起的记录"));
  historyCommand->add_flag("--failed", history.failed, Tr("failed entries only", "只列出失败的记录"));
  historyCommand->add_flag("--queued", history.queued, Tr("queued entries only", "只列出排队的记录"));
  historyCommand->add_option("--engine", history.engine, Tr("entries of this engine only", "只列出该引擎的记录"));
  historyCommand->add_option("--site", history.site,
                             Tr("entries of this site (an IndexNow host) only", "只列出该站点（IndexNow 为主机名）的记录"));
  historyCommand->add_flag("--refused", history.refused,
                           Tr("refused entries only (not_valid, not_same_site)", "只列出被拒绝的记录（not_valid、not_same_site）"));
  historyCommand->add_flag("--clear", history.clear,
                           Tr("forget the entries selected instead of listing them, so that they are sent again",
                              "清除所选记录而不列出，之后这些地址会再次推送"));
  bool clearAll = false;
  historyCommand->add_flag("--all", clearAll, Tr("with --clear and no filter: forget the whole history",
                                                  "与 --clear 同用且不加筛选时：清除全部历史记录"));
  historyCommand->add_flag("--json", history.json, Tr("one JSON object per entry", "每条记录输出一个 JSON 对象"));

  std::vector<std::string> helpTopic;
  CLI::App* helpCommand = app.add_subcommand("help", Tr("show the help of kestrin-cli or of a subcommand",
                                                         "显示 kestrin-cli 或某个子命令的帮助"));
  helpCommand->add_option("SUBCOMMAND", helpTopic, Tr("collect, sitemap, push or history", "collect、sitemap、push 或 history"));

  for (CLI::App* command : app.get_subcommands({})) {
    command->group(Tr("Subcommands", "子命令"));
    command->get_help_ptr()->group(Tr("Options", "选项"))->description(Tr("Print this help message and exit", "显示本帮助并退出"));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    std::cerr << "kestrin-cli: " << UsageError(error) << '\n'
              << Tr("Run with --help for more information.", "用 --help 查看用法。") << '\n';
    return kExitUsage;
  }

  if (*helpCommand) {
    // help() of a parsed app shows the subcommand chosen, which is this one.
    if (helpTopic.empty()) {
      std::cout << app.get_formatter()->make_help(&app, "kestrin-cli", CLI::AppFormatMode::Normal);
      return kExitOk;
    }
    try {
      CLI::App* topic = app.get_subcommand(helpTopic.front());
      std::cout << topic->get_formatter()->make_help(topic, helpTopic.front(), CLI::AppFormatMode::Normal);
    } catch (const CLI::OptionNotFound&) {
      std::cerr << "kestrin-cli: " << Tr("no subcommand " + helpTopic.front(), "没有子命令 " + helpTopic.front())
                << '\n';
      return kExitUsage;
    }
    return kExitOk;
  }

  if (*collectCommand) return RunCollect(collect);
  if (*sitemapCommand) {
    SourceOptions options;
    if (!ReadSince(sitemapFlags, options)) return kExitUsage;
    UseNetworkSettings(sitemapProxy, sitemapTimeout);
    return RunSitemap(sitemapSources, options);
  }
  if (*historyCommand) {
    if (!historySince.empty()) {
      history.sinceDay = ParseIsoDay(historySince);
      if (!history.sinceDay) {
        std::cerr << "kestrin-cli: --since " << historySince
                  << Tr(": not a day written YYYY-MM-DD", "：日期须写作 YYYY-MM-DD") << '\n';
        return kExitUsage;
      }
    }
    const bool filtered = history.sinceDay || history.failed || history.queued || history.refused ||
                          !history.engine.empty() || !history.site.empty();
    if (history.clear && !filtered && !clearAll) {
      std::cerr << "kestrin-cli: "
                << Tr("history --clear without --engine, --site, --since, --failed, --queued or --refused "
                      "forgets everything: add --all to mean it",
                      "history --clear 未加 --engine、--site、--since、--failed、--queued 或 --refused 时会清除全部"
                      "记录：确要如此请加 --all")
                << '\n';
      return kExitUsage;
    }
    if (history.path.empty()) {
      history.path = DefaultHistoryPath();
    } else if (const std::string problem = HistoryFolderProblem(history.path); !problem.empty()) {
      std::cerr << "kestrin-cli: " << problem << '\n';
      return kExitUsage;
    }
    return RunHistory(history);
  }

  Report report(std::cout, std::cerr, push.json, isatty(STDERR_FILENO) == 1);
  PushSettings settings;
  settings.force = push.force;
  settings.retry = ToolRetryPolicy();
  if (!ReadSince(pushFlags, settings.sourceOptions)) return kExitUsage;
  if (PushSites(push, *pushCommand, settings.sites, settings.historyPath, report)) {
    UseNetworkSettings(push.proxy, push.timeoutSeconds);
    RunPush(settings, ToolNetwork(), std::cin, report);
  }
  report.Finish();
  return report.Exit();
}

}  // namespace
}  // namespace kestrin::cli

int main(int argc, char** argv) { return kestrin::cli::Main(argc, argv); }
