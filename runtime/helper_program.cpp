#include "runtime/helper_program.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "runtime/run_directory.h"

namespace kestrin {
namespace {

std::mutex g_argumentsMutex;
std::map<std::string, std::vector<std::string>, std::less<>> g_arguments;

bool IsPrintableAscii(const std::string& argument) {
  return std::all_of(argument.begin(), argument.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

Text HelperProgramPath(std::string_view name) { return HelperProgramPathFrom(RunDirectory(), name); }

bool SetHelperArguments(std::string_view name, std::vector<std::string> arguments) {
  if (!std::all_of(arguments.begin(), arguments.end(), IsPrintableAscii)) return false;
  const std::lock_guard lock(g_argumentsMutex);
  g_arguments.insert_or_assign(std::string(name), std::move(arguments));
  return true;
}

std::vector<std::string> HelperArguments(std::string_view name) {
  const std::lock_guard lock(g_argumentsMutex);
  const auto found = g_arguments.find(name);
  return found == g_arguments.end() ? std::vector<std::string>() : found->second;
}

}  // namespace kestrin
