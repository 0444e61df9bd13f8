#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "cli/commands.h"
#include "cli/config.h"
#include "cli/console/messages.h"
#include "cli/console/report.h"
#include "cli/console/terminal.h"
#include "cli/history/history.h"
#include "cli/push.h"
#include "cli/sources/files.h"

namespace kestrin::cli {
namespace {

// What the push options hold before the configuration file is merged in.
struct PushOptions {
  std::string config;
  SiteConfig site;
  bool daily = false;
  std::string history;
  bool force = false;
  bool dryRun = false;
  bool json = false;
  NetworkFlags network;
  SourceFlags sourceFlags;
};

// Why a history file cannot be at `path`: a folder that is not there is a misspelt path, not a
// place for a new, empty history. Empty when it can.
std::string HistoryFolderProblem(const std::string& path) {
  const std::string folder = FolderOf(path);
  if (IsFolder(folder)) return {};
  return Tr("--history {}: the folder {} does not exist", "--history {}：文件夹 {} 不存在", {path, folder});
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
    if (options.network.proxy.empty()) options.network.proxy = loaded.config.proxy;
    if (!options.network.timeoutSeconds) options.network.timeoutSeconds = loaded.config.timeoutSeconds;
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
    if (IsTerminal(StandardStream::kInput)) {
      report.Problem(kExitUsage, Tr("no source: name files or addresses, or pipe the addresses in",
                                    "没有来源：请给出文件或地址，或经管道输入地址"));
      return false;
    }
    for (SiteConfig& site : sites) site.sources = {"-"};
  }
  return true;
}

int RunPushCommand(PushOptions& push, CLI::App& command) {
  Report report(std::cout, std::cerr, push.json, IsTerminal(StandardStream::kError));
  PushSettings settings;
  settings.force = push.force;
  settings.dryRun = push.dryRun;
  if (push.dryRun) report.Planning();
  settings.retry = ToolRetryPolicy();
  if (!ReadSourceFlags(push.sourceFlags, settings.sourceOptions)) return kExitUsage;
  if (PushSites(push, command, settings.sites, settings.historyPath, report)) {
    UseNetworkSettings(push.network);
    RunPush(settings, ToolNetwork(), std::cin, report);
  }
  report.Finish();
  return report.Exit();
}

}  // namespace

Command AddPush(CLI::App& app) {
  auto push = std::make_shared<PushOptions>();
  CLI::App* command = app.add_subcommand(
      "push", Tr("submit new addresses to Baidu and IndexNow", "向百度和 IndexNow 推送新地址"));
  command->add_option("SOURCES", push->site.sources,
                      Tr("file, - for standard input, or http(s) address of a sitemap, feed or robots.txt; "
                         "none: standard input, when it is not a terminal",
                         "文件、- 表示标准输入，或站点地图、订阅源、robots.txt 的 http(s) 地址；"
                         "未给出时读取标准输入（须不是终端）"));
  command->add_option("--config", push->config, Tr("TOML file of [[site]] tables", "含 [[site]] 表的 TOML 配置文件"));
  command->add_option("--site", push->site.site, Tr("site as registered with Baidu", "在百度站长平台登记的站点"));
  command->add_option("--token", push->site.token, Tr("Baidu push token", "百度推送令牌"));
  command->add_option("--engine", push->site.engines, Tr("baidu (default) or indexnow; may be repeated",
                                                          "baidu（默认）或 indexnow，可重复"))
      ->allow_extra_args(false);
  command->add_flag("--daily", push->daily, Tr("use the quick-submission (daily) quota", "使用快速收录配额"));
  command->add_option("--interface", push->site.interface,
                      Tr("submission interface, without query (http://data.zz.baidu.com/urls)",
                         "推送接口地址，不含查询部分（默认 http://data.zz.baidu.com/urls）"));
  command->add_option("--key", push->site.indexnowKey, Tr("IndexNow key", "IndexNow 密钥"));
  command->add_option("--key-location", push->site.keyLocation,
                      Tr("address of the key file (https://HOST/KEY.txt)", "密钥文件地址（默认 https://HOST/KEY.txt）"));
  command->add_option("--indexnow-endpoint", push->site.indexnowEndpoint,
                      Tr("IndexNow endpoint (https://api.indexnow.org/indexnow)", "IndexNow 接口地址"));
  command->add_option("--history", push->history, Tr("history database file", "历史记录数据库文件"));
  command->add_flag("--force", push->force, Tr("send addresses accepted before again", "重新推送已接受的地址"));
  command->add_flag("--dry-run", push->dryRun,
                    Tr("contact no interface and write nothing: print what a run now would send, within the "
                       "quota left today as last known, then what would wait",
                       "不连接推送接口、不写入任何内容：先列出现在运行将发送的地址（以今日最近得知的剩余配额为限），"
                       "再列出将等待的地址"));
  command->add_flag("--json", push->json, Tr("one JSON object per address on standard output",
                                              "在标准输出上为每个地址输出一个 JSON 对象"));
  command->footer(Tr("Order, within each site and engine: addresses the history has not met before today go "
                     "before those waiting from earlier days; within each, the newest first by the date the "
                     "source gives (sitemap lastmod, RSS pubDate, Atom updated or published; undated last), then "
                     "by the day the history first met them, then in source order. What waits fills the quota the "
                     "new ones leave.",
                     "推送顺序（每个站点、每个引擎各自排序）：今日之前历史记录中没有的地址，排在以前各日等待的地址之前；"
                     "每组内按来源给出的日期从新到旧（站点地图 lastmod、RSS pubDate、Atom updated 或 published；"
                     "无日期的在后），再按历史记录首次见到的日期从新到旧，再按来源中的顺序。"
                     "新地址用剩的配额留给等待的地址。"));
  AddNetworkFlags(*command, push->network);
  AddSourceFlags(*command, push->sourceFlags);
  return {command, [push, command] { return RunPushCommand(*push, *command); }};
}

}  // namespace kestrin::cli
