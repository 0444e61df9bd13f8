// The options several subcommands share.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"
#include "cli/console/messages.h"
#include "cli/net/http_client.h"
#include "cli/sources/dates.h"

namespace kestrin::cli {

void AddNetworkFlags(CLI::App& command, NetworkFlags& flags) {
  command.add_option("--proxy", flags.proxy,
                     Tr("proxy for every request (http://HOST:PORT); otherwise http_proxy, https_proxy, "
                        "all_proxy and no_proxy are read as curl reads them",
                        "所有请求经由的代理（http://主机:端口）；未给出时按 curl 的方式读取 http_proxy、"
                        "https_proxy、all_proxy 和 no_proxy"));
  command.add_option("--timeout", flags.timeoutSeconds,
                     Tr("seconds the run may spend on the network in all", "本次运行联网的总秒数上限"))
      ->check(CLI::Range(1, 86400));
}

void UseNetworkSettings(const NetworkFlags& flags) {
  SetNetworkSettings(flags.proxy, flags.timeoutSeconds ? SteadyMs() + std::int64_t{*flags.timeoutSeconds} * 1000 : 0);
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

std::optional<int> ReadSinceDay(const std::string& since) {
  std::optional<int> day = ParseIsoDay(since);
  if (!day) {
    std::cerr << "kestrin-cli: --since " << since << Tr(": not a day written YYYY-MM-DD", "：日期须写作 YYYY-MM-DD")
              << '\n';
  }
  return day;
}

bool ReadSourceFlags(const SourceFlags& flags, SourceOptions& options) {
  options = flags.options;
  if (flags.since.empty()) return true;
  options.since = ReadSinceDay(flags.since);
  return options.since.has_value();
}

}  // namespace kestrin::cli
