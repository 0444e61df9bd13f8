// Finding an exported function in a library file, for the table of declared functions.
// Backends: linux/library_files.cpp (dlopen) and windows/library_files.cpp (LoadLibrary).
#pragma once

#include <optional>

#include "runtime/text.h"

namespace kestrin {

// `function` from the library `file`: a path, or a plain name for the system's own search. The
// library stays loaded while it serves the function and is released again when it lacks it.
// Null when the file cannot be loaded or does not export the function.
[[nodiscard]] void* FunctionFromLibraryFile(const Text& file, const char* function);

// `function` from the library `name` as the system itself provides it, never from the program's
// folder: on Windows from the system folder only, on Linux through the loader's own search.
// Nothing only when the system has no library of that name (the loader found no such file);
// otherwise the function's address, null when the library lacks it (the library is then released
// again) or the system's copy cannot be loaded.
[[nodiscard]] std::optional<void*> FunctionFromSystemLibrary(const Text& name, const char* function);

// Makes the libraries that the system loads for the program (for its controls and the web
// control) come from the system folder only, never from the program's folder or the current
// one. Windows only; call once at start, before any window is made.
void KeepLibrarySearchToSystemFolder();

// `function` from the first of the system's fixed list of libraries that exports it, which stay
// loaded (on Windows "Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll", "Mpr.dll",
// "Shell32.dll"; on Linux the program with what it has loaded, then the C, maths and C++
// libraries); null when none does.
[[nodiscard]] void* FunctionFromSystemLibraries(const char* function);

}  // namespace kestrin
