#include "runtime/helper_program.h"

namespace kestrin {

// A Windows install is one folder: whatever the program starts lies beside it.
Text HelperProgramPathFrom(const Text& programFolder, std::string_view name) {
  return programFolder + "\\" + Text(name);
}

}  // namespace kestrin
