#include "runtime/declared_functions.h"

#include <dlfcn.h>

#include "runtime/run_directory.h"
#include "runtime/runtime_error.h"

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

void* BindFromNamedLibrary(const char* library, const char* function) {
  const Text besideProgram = RunDirectory() + "/" + library;
  if (void* address = TakeSymbol(dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL), function)) {
    return address;
  }
  if (void* address = TakeSymbol(dlopen(library, RTLD_NOW | RTLD_LOCAL), function)) return address;
  ReportRuntimeError(0, Text("无法找到指定DLL库文件“") + library + "”中的输出命令“" + function + "”");
}

void* BindFromSystemLibraries(const char* function) {
  if (void* address = TakeSymbol(dlopen(nullptr, RTLD_NOW), function)) return address;
  for (const char* library : kSystemLibraries) {
    if (void* address = TakeSymbol(dlopen(library, RTLD_NOW | RTLD_LOCAL), function)) return address;
  }
  ReportRuntimeError(0, Text("无法找到指定DLL库文件中的输出命令“") + function + "”");
}

}  // namespace

void* BindDeclaredFunction(DeclaredFunction& entry) {
  if (void* address = entry.address.load(std::memory_order_acquire)) return address;
  std::call_once(entry.bound, [&entry] {
    // The library handle stays open for the life of the process, as the binding does.
    const char* function = entry.function != nullptr ? entry.function : "";
    const bool named = entry.library != nullptr && entry.library[0] != '\0';
    void* address = named ? BindFromNamedLibrary(entry.library, function) : BindFromSystemLibraries(function);
    entry.address.store(address, std::memory_order_release);
  });
  return entry.address.load(std::memory_order_acquire);
}

}  // namespace kestrin
