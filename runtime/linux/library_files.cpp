#include <dlfcn.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "runtime/library_files.h"

namespace kestrin {
namespace {

// Where an entry without a library is looked for once the loaded libraries lack it: the
// system libraries that stand where the Windows program had its kernel, graphics and shell DLLs.
constexpr const char* kSystemLibraries[] = {
    "libc.so.6", "libm.so.6", "libdl.so.2", "libpthread.so.0", "libstdc++.so.6",
};

// The symbol from an open library; a library without it is released again.
void* TakeSymbol(void* library, const char* function) {
  if (library == nullptr) return nullptr;
  dlerror();
  void* address = dlsym(library, function);
  if (address == nullptr) dlclose(library);
  return address;
}

// Whether dlopen's last failure, for `name`, was that the loader found no such file: its report
// names the library itself (not one it needs) and ends in the system's words for ENOENT, in
// whatever language the process speaks.
bool NoSuchFile(const Text& name) {
  const char* report = dlerror();
  if (report == nullptr) return false;
  const std::string_view text(report);
  const std::string_view missing(std::strerror(ENOENT));
  return text.starts_with(name + ":") && text.ends_with(missing);
}

}  // namespace

// dlopen searches only the loader's own places for a name without a slash: never the program's
// folder, nor the current one unless the user's LD_LIBRARY_PATH names it.
std::optional<void*> FunctionFromSystemLibrary(const Text& name, const char* function) {
  if (name.empty() || name.find('/') != Text::npos) return std::nullopt;
  dlerror();
  void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  // A library the system has but cannot load is a failure, not a reason to take another copy.
  if (library == nullptr && NoSuchFile(name)) return std::nullopt;
  return TakeSymbol(library, function);
}

void* FunctionFromLibraryFile(const Text& file, const char* function) {
  return TakeSymbol(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL), function);
}

void* FunctionFromSystemLibraries(const char* function) {
  if (void* address = TakeSymbol(dlopen(nullptr, RTLD_NOW), function)) return address;
  for (const char* library : kSystemLibraries) {
    if (void* address = TakeSymbol(dlopen(library, RTLD_NOW | RTLD_LOCAL), function)) return address;
  }
  return nullptr;
}

}  // namespace kestrin
