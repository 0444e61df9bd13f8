// The configuration file: the sites a cron run pushes, in TOML.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::cli {

// One [[site]] table, or the same settings from the command line.
struct SiteConfig {
  std::string site;                  // as the interface's site parameter takes it
  std::string token;
  std::vector<std::string> engines;  // "baidu", "indexnow"; empty: baidu
  std::string indexnowKey;
  std::string keyLocation;           // empty: https://HOST/KEY.txt
  std::vector<std::string> sources;
  std::optional<bool> daily;
  std::string interface;             // empty: the real interface
  std::string indexnowEndpoint;      // empty: the real endpoint
  std::string file;                  // the configuration file the table is in; empty: command line
};

struct ToolConfig {
  std::string history;  // empty: the default file
  std::string proxy;    // empty: the environment's
  std::optional<int> timeoutSeconds;
  std::vector<SiteConfig> sites;
};

struct LoadedConfig {
  ToolConfig config;
  std::string error;  // empty when loaded; otherwise a message naming the file, line and key
};

// Reads a configuration file. A file that others than its owner may read or write is refused,
// as ssh refuses such a private key: it holds tokens. A key the tool does not know is an error
// that suggests the nearest known one, so that a typo never passes as a missing setting.
[[nodiscard]] LoadedConfig LoadConfig(const std::string& path);

// Why a file with mode `mode` is too open to hold secrets, or empty when it is private.
[[nodiscard]] std::string PermissionProblem(unsigned mode);

// The known key nearest to `key` by edit distance ('-' read as '_'), or empty when none is
// close enough to be the one meant.
[[nodiscard]] std::string NearestKey(std::string_view key, const std::vector<std::string_view>& known);

}  // namespace kestrin::cli
