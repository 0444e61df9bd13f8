#include "cli/sources/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/config.h"
#include "runtime/settings_path.h"

namespace kestrin::cli {

int OpenToRead(const std::string& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

void MakePrivateFile(const std::string& path) {
  if (const auto slash = path.rfind('/'); slash != std::string::npos && slash > 0) {
    if (!MakePrivateFolder(path.substr(0, slash))) return;
  }
  const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (file >= 0) close(file);
}

std::optional<std::string> SecretFileProblem(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return PermissionProblem(status.st_mode);
}

}  // namespace kestrin::cli
