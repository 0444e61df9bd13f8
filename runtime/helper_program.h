// The programs that show one of the program's windows in a process of their own, and what the
// starting program hands them. Backends: linux/ and windows/helper_program.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace kestrin {

// The helper program `name`, found from the program's own folder: beside the program (a build
// folder, and every Windows install), else in the helper folder of a program installed as
// <prefix>/bin/<program>, that is <prefix>/libexec/kestrin/<name>. The path beside the program
// when neither holds it, so that a failed start names the first place looked at.
[[nodiscard]] Text HelperProgramPath(std::string_view name);
// The same, for a program whose folder is `programFolder`.
[[nodiscard]] Text HelperProgramPathFrom(const Text& programFolder, std::string_view name);

// Arguments for the next start of helper `name`, after its owner's window id: what the starting
// program has worked out and the helper must not work out again. Printable ASCII only, so that no
// conversion on the way can alter them; anything else is refused (false). Any thread.
[[nodiscard]] bool SetHelperArguments(std::string_view name, std::vector<std::string> arguments);
// The arguments set for helper `name`, none when none were set.
[[nodiscard]] std::vector<std::string> HelperArguments(std::string_view name);

}  // namespace kestrin
