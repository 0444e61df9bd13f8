#include "runtime/settings_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace kestrin {
namespace {

// An environment folder that counts: set, not empty and absolute (a relative one is to be ignored).
const char* AbsoluteFolder(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] == '/' ? value : nullptr;
}

Text SettingsFolder() {
  if (const char* config = AbsoluteFolder("XDG_CONFIG_HOME")) return Text(config) + "/kestrin";
  if (const char* home = AbsoluteFolder("HOME")) return Text(home) + "/.config/kestrin";
  return {};
}

bool IsFolder(const Text& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

Text SettingsFilePath() {
  const Text folder = SettingsFolder();
  return folder.empty() ? Text() : folder + "/bb.ini";
}

bool MakeSettingsFolder() {
  const Text folder = SettingsFolder();
  return !folder.empty() && MakePrivateFolder(folder);
}

bool MakePrivateFolder(const Text& folder) {
  // Each missing level from the top down.
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const Text level = folder.substr(0, slash);
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST && !IsFolder(level)) return false;
    if (slash == Text::npos) break;
  }
  return IsFolder(folder);
}

}  // namespace kestrin
