// The table of declared library functions: each entry names a library and a function and is
// bound on its first call, for the life of the process.
#pragma once

#include <atomic>
#include <mutex>

namespace kestrin {

struct DeclaredFunction {
  const char* library;   // file name, or nullptr/"" to search the fixed list of system libraries
  const char* function;  // exported symbol name
  std::atomic<void*> address{nullptr};
  std::once_flag bound{};
};

// The entry's address, binding it on first use: a named library that the system provides comes
// from the system alone (runtime/library_files.h), never from the program's directory, even when
// the system's copy fails to load; one the system lacks is looked for in the program's directory
// first, then through the system's search; an unnamed entry in the system's fixed list of
// libraries. A function that cannot be found is a fatal runtime error.
// Safe when two threads make the first call together.
void* BindDeclaredFunction(DeclaredFunction& entry);

// Typed call through an entry.
template <typename Fn>
Fn DeclaredAs(DeclaredFunction& entry) {
  return reinterpret_cast<Fn>(BindDeclaredFunction(entry));
}

}  // namespace kestrin
