#include "cli/config.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <toml++/toml.h>

#include "cli/console/messages.h"

namespace kestrin::cli {
namespace {

const std::vector<std::string_view> kTopKeys = {"history", "proxy", "timeout", "site"};
const std::vector<std::string_view> kSiteKeys = {"site",    "token",  "engines",   "indexnow_key",     "key_location",
                                                 "sources", "daily",  "interface", "indexnow_endpoint"};

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

// "FILE:LINE: " for a node, or "FILE: " when it has no position.
class Reader {
 public:
  explicit Reader(const std::string& path) : path_(path) {}

  [[nodiscard]] std::string At(const toml::node& node) const {
    const auto line = node.source().begin.line;
    return line > 0 ? path_ + ":" + std::to_string(line) + ": " : path_ + ": ";
  }

  // Every key of `table` must be one of `known`.
  bool OnlyKnown(const toml::table& table, const std::vector<std::string_view>& known, std::string& error) const {
    for (const auto& [key, node] : table) {
      const std::string_view name = key.str();
      if (std::find(known.begin(), known.end(), name) != known.end()) continue;
      const toml::source_region& where = key.source();
      error = (where.begin.line > 0 ? path_ + ":" + std::to_string(where.begin.line) + ": " : At(node)) +
              Tr("unknown key {}", "未知的键 {}", {name});
      if (const std::string nearest = NearestKey(name, known); !nearest.empty()) {
        error += Tr(" (did you mean {}?)", "（是否想写 {}？）", {nearest});
      }
      return false;
    }
    return true;
  }

  // Reads a member that must be a string when present.
  bool String(const toml::table& table, const char* key, std::string& out, std::string& error) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) return true;
    if (const auto* text = node->as_string()) {
      out = text->get();
      return true;
    }
    error = At(*node) + key + Tr(": must be a string", "：必须是字符串");
    return false;
  }

  bool Strings(const toml::table& table, const char* key, std::vector<std::string>& out, std::string& error) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) return true;
    const auto* array = node->as_array();
    const auto fail = [&] {
      error = At(*node) + key + Tr(": must be an array of strings", "：必须是字符串数组");
      return false;
    };
    if (array == nullptr) return fail();
    for (const toml::node& item : *array) {
      const auto* text = item.as_string();
      if (text == nullptr) return fail();
      out.push_back(text->get());
    }
    return true;
  }

  bool Site(const toml::table& table, SiteConfig& site, std::string& error) const {
    if (!OnlyKnown(table, kSiteKeys, error) || !String(table, "site", site.site, error) ||
        !String(table, "token", site.token, error) || !Strings(table, "engines", site.engines, error) ||
        !String(table, "indexnow_key", site.indexnowKey, error) ||
        !String(table, "key_location", site.keyLocation, error) || !Strings(table, "sources", site.sources, error) ||
        !String(table, "interface", site.interface, error) ||
        !String(table, "indexnow_endpoint", site.indexnowEndpoint, error)) {
      return false;
    }
    if (const toml::node* daily = table.get("daily")) {
      const auto* flag = daily->as_boolean();
      if (flag == nullptr) {
        error = At(*daily) + Tr("daily: must be true or false", "daily：必须是 true 或 false");
        return false;
      }
      site.daily = flag->get();
    }
    if (site.site.empty()) {
      error = At(table) + Tr("every [[site]] needs site = \"...\"", "每个 [[site]] 都需要 site = \"...\"");
      return false;
    }
    site.file = path_;
    return true;
  }

 private:
  const std::string& path_;
};

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string NearestKey(std::string_view key, const std::vector<std::string_view>& known) {
  std::string written(key);
  std::replace(written.begin(), written.end(), '-', '_');
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(2, written.size() / 3) + 1;
  for (const std::string_view candidate : known) {
    const std::size_t distance = EditDistance(written, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

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
  const Reader reader(path);
  std::string error;
  if (!reader.OnlyKnown(root, kTopKeys, error) || !reader.String(root, "history", loaded.config.history, error) ||
      !reader.String(root, "proxy", loaded.config.proxy, error)) {
    loaded.error = error;
    return loaded;
  }
  if (const toml::node* timeout = root.get("timeout")) {
    const auto* seconds = timeout->as_integer();
    if (seconds == nullptr || seconds->get() <= 0 || seconds->get() > 86400) {
      loaded.error = reader.At(*timeout) + Tr("timeout: must be a whole number of seconds, 1 to 86400",
                                              "timeout：必须是 1 到 86400 之间的整秒数");
      return loaded;
    }
    loaded.config.timeoutSeconds = static_cast<int>(seconds->get());
  }
  if (const toml::node* sites = root.get("site")) {
    const auto* array = sites->as_array();
    if (array == nullptr || !array->is_array_of_tables()) {
      loaded.error = reader.At(*sites) + Tr("site must be written as [[site]] tables", "site 必须写成 [[site]] 表");
      return loaded;
    }
    for (const toml::node& node : *array) {
      SiteConfig site;
      if (!reader.Site(*node.as_table(), site, error)) {
        loaded.error = error;
        return loaded;
      }
      loaded.config.sites.push_back(std::move(site));
    }
  }
  return loaded;
}

}  // namespace kestrin::cli
