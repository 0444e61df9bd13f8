#include "cli/config.h"

#include <sys/stat.h>

#include <cstdio>
#include <toml++/toml.h>

#include "cli/messages.h"

namespace kestrin::cli {
namespace {

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

// Reads a member that must be a string when present.
bool ReadString(const toml::table& table, const char* key, std::string& out, std::string& error) {
  const toml::node* node = table.get(key);
  if (node == nullptr) return true;
  if (const auto* text = node->as_string()) {
    out = text->get();
    return true;
  }
  error = std::string(key) + Tr(": must be a string", "：必须是字符串");
  return false;
}

bool ReadStrings(const toml::table& table, const char* key, std::vector<std::string>& out, std::string& error) {
  const toml::node* node = table.get(key);
  if (node == nullptr) return true;
  const auto* array = node->as_array();
  if (array == nullptr) {
    error = std::string(key) + Tr(": must be an array of strings", "：必须是字符串数组");
    return false;
  }
  for (const toml::node& item : *array) {
    const auto* text = item.as_string();
    if (text == nullptr) {
      error = std::string(key) + Tr(": must be an array of strings", "：必须是字符串数组");
      return false;
    }
    out.push_back(text->get());
  }
  return true;
}

bool ReadSite(const toml::table& table, SiteConfig& site, std::string& error) {
  if (!ReadString(table, "site", site.site, error) || !ReadString(table, "token", site.token, error) ||
      !ReadStrings(table, "engines", site.engines, error) ||
      !ReadString(table, "indexnow_key", site.indexnowKey, error) ||
      !ReadString(table, "key_location", site.keyLocation, error) ||
      !ReadStrings(table, "sources", site.sources, error) ||
      !ReadString(table, "interface", site.interface, error) ||
      !ReadString(table, "indexnow_endpoint", site.indexnowEndpoint, error)) {
    return false;
  }
  if (const toml::node* daily = table.get("daily")) {
    const auto* flag = daily->as_boolean();
    if (flag == nullptr) {
      error = Tr("daily: must be true or false", "daily：必须是 true 或 false");
      return false;
    }
    site.daily = flag->get();
  }
  if (site.site.empty()) {
    error = Tr("every [[site]] needs site = \"...\"", "每个 [[site]] 都需要 site = \"...\"");
    return false;
  }
  return true;
}

}  // namespace

std::string PermissionProblem(unsigned mode) {
  if ((mode & 077) == 0) return {};
  return Tr("permissions " + Octal(mode) + " are too open: it holds tokens, so only its owner may read it "
            "(chmod 600)",
            "权限 " + Octal(mode) + " 过于开放：文件中有令牌，只能由其所有者读取（chmod 600）");
}

LoadedConfig LoadConfig(const std::string& path) {
  LoadedConfig loaded;
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    loaded.error = path + Tr(": cannot be opened", "：无法打开");
    return loaded;
  }
  if (const std::string problem = PermissionProblem(status.st_mode); !problem.empty()) {
    loaded.error = path + ": " + problem;
    return loaded;
  }
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& error) {
    loaded.error = path + ":" + std::to_string(error.source().begin.line) + ": " + std::string(error.description());
    return loaded;
  }
  std::string error;
  if (!ReadString(root, "history", loaded.config.history, error)) {
    loaded.error = path + ": " + error;
    return loaded;
  }
  if (const toml::node* sites = root.get("site")) {
    const auto* array = sites->as_array();
    if (array == nullptr || !array->is_array_of_tables()) {
      loaded.error = path + Tr(": site must be written as [[site]] tables", "：site 必须写成 [[site]] 表");
      return loaded;
    }
    for (const toml::node& node : *array) {
      SiteConfig site;
      if (!ReadSite(*node.as_table(), site, error)) {
        loaded.error = path + ": " + error;
        return loaded;
      }
      loaded.config.sites.push_back(std::move(site));
    }
  }
  return loaded;
}

}  // namespace kestrin::cli
