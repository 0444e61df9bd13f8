#include "runtime/run_directory.h"

#include <unistd.h>

#include <mutex>
#include <optional>
#include <string>

namespace kestrin {

const char kPathSeparator = '/';

namespace {

// The full path of the program file, or nothing when the system will not say.
std::optional<std::string> ProgramPath() {
  std::string path(256, '\0');
  for (;;) {
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

struct Directory {
  bool known = false;
  Text path;  // the bytes the file system holds, so that joined names open the same files
};

const Directory& ProgramDirectory() {
  static const Directory directory = [] {
    Directory result;
    std::optional<std::string> program = ProgramPath();
    if (!program) return result;
    std::size_t slash = program->rfind('/');
    if (slash == std::string::npos) return result;
    result.known = true;
    // A program at the root gives the empty text, so that joining "/bb.ini" names the root's file.
    result.path = Text(program->data(), slash);
    return result;
  }();
  return directory;
}

}  // namespace

void InitRunDirectory() {
  static std::once_flag once;
  std::call_once(once, [] {
    const Directory& directory = ProgramDirectory();
    if (!directory.known) return;
    const Text target = directory.path.empty() ? Text("/") : directory.path;
    // Nothing to fall back on: the program then runs where it was started.
    [[maybe_unused]] int ignored = ::chdir(target.c_str());
  });
}

Text RunDirectory() { return ProgramDirectory().path; }

}  // namespace kestrin
