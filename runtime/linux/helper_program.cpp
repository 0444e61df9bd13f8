#include <unistd.h>

#include "runtime/helper_program.h"

namespace kestrin {

Text HelperProgramPathFrom(const Text& programFolder, std::string_view name) {
  const Text beside = programFolder + "/" + Text(name);
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  // Debian keeps a program's helpers under libexec, beside the bin folder of the program.
  const std::size_t slash = programFolder.rfind('/');
  if (slash == Text::npos || programFolder.compare(slash, Text::npos, "/bin") != 0) return beside;
  const Text installed = programFolder.substr(0, slash) + "/libexec/kestrin/" + Text(name);
  return ::access(installed.c_str(), X_OK) == 0 ? installed : beside;
}

}  // namespace kestrin
