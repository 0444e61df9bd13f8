#include "runtime/declared_functions.h"

#include "runtime/library_files.h"
#include "runtime/run_directory.h"
#include "runtime/runtime_error.h"

namespace kestrin {
namespace {

// A library that the system provides is taken from the system alone: a file of that name beside
// the program, as a browser may save one into a downloads folder, is never loaded. Only a
// library the system lacks is looked for in the program's directory, then through the search.
void* BindFromNamedLibrary(const char* library, const char* function) {
  const std::optional<void*> system = FunctionFromSystemLibrary(library, function);
  void* address = system ? *system : nullptr;
  if (!system) address = FunctionFromLibraryFile(RunDirectory() + kPathSeparator + library, function);
  if (!system && address == nullptr) address = FunctionFromLibraryFile(library, function);
  if (address != nullptr) return address;
  ReportRuntimeError(0, Text("无法找到指定DLL库文件“") + library + "”中的输出命令“" + function + "”");
}

void* BindFromSystemLibraries(const char* function) {
  if (void* address = FunctionFromSystemLibraries(function)) return address;
  ReportRuntimeError(0, Text("无法找到指定DLL库文件中的输出命令“") + function + "”");
}

}  // namespace

void* BindDeclaredFunction(DeclaredFunction& entry) {
  if (void* address = entry.address.load(std::memory_order_acquire)) return address;
  std::call_once(entry.bound, [&entry] {
    // The library stays loaded for the life of the process, as the binding does.
    const char* function = entry.function != nullptr ? entry.function : "";
    const bool named = entry.library != nullptr && entry.library[0] != '\0';
    void* address = named ? BindFromNamedLibrary(entry.library, function) : BindFromSystemLibraries(function);
    entry.address.store(address, std::memory_order_release);
  });
  return entry.address.load(std::memory_order_acquire);
}

}  // namespace kestrin
