// The configuration file: the sites a cron run pushes, in TOML.
#pragma once

#include <optional>
#include <string>
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
};

struct ToolConfig {
  std::string history;  // empty: the default file
  std::vector<SiteConfig> sites;
};

struct LoadedConfig {
  ToolConfig config;
  std::string error;  // empty when loaded; otherwise a message naming the file
};

// Reads a configuration file. A file that others than its owner may read or write is refused,
// as ssh refuses such a private key: it holds tokens.
[[nodiscard]] LoadedConfig LoadConfig(const std::string& path);

// Why a file with mode `mode` is too open to hold secrets, or empty when it is private.
[[nodiscard]] std::string PermissionProblem(unsigned mode);

}  // namespace kestrin::cli
