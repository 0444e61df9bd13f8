// The subcommands of kestrin-cli: each adds its options to the command line and runs on what the
// user gave them.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "cli/sources/sources.h"

namespace CLI {
class App;
}

namespace kestrin::cli {

// A subcommand on the command line, and what runs when the user chose it: the exit code.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// collect: article addresses from paginated list pages, as the window collects them.
Command AddCollect(CLI::App& app);
// sitemap: the addresses of sitemaps, feeds, robots.txt or lists, one per line.
Command AddSitemap(CLI::App& app);
// push: new addresses to Baidu and IndexNow.
Command AddPush(CLI::App& app);
// history: lists the history, or clears part of it.
Command AddHistory(CLI::App& app);

// The flags of every command that fetches: how and for how long.
struct NetworkFlags {
  std::string proxy;
  std::optional<int> timeoutSeconds;
};
void AddNetworkFlags(CLI::App& command, NetworkFlags& flags);
// Every later request goes through the proxy (or the environment's) and ends by the run's deadline.
void UseNetworkSettings(const NetworkFlags& flags);

// The flags of every command that reads sources.
struct SourceFlags {
  std::string since;
  SourceOptions options;
};
void AddSourceFlags(CLI::App& command, SourceFlags& flags);
// `options` from the flags; false, with the reason on standard error, for a malformed --since.
bool ReadSourceFlags(const SourceFlags& flags, SourceOptions& options);
// The day of a --since given as YYYY-MM-DD; nullopt, with the reason on standard error, otherwise.
std::optional<int> ReadSinceDay(const std::string& since);

}  // namespace kestrin::cli
