// Finding an exported function in a library file, for the table of declared functions.
// Backends: linux/library_files.cpp (dlopen) and windows/library_files.cpp (LoadLibrary).
#pragma once

#include "runtime/text.h"

namespace kestrin {

// `function` from the library `file`: a path, or a plain name for the system's own search. The
// library stays loaded while it serves the function and is released again when it lacks it.
// Null when the file cannot be loaded or does not export the function.
[[nodiscard]] void* FunctionFromLibraryFile(const Text& file, const char* function);

// `function` from the first of the system's fixed list of libraries that exports it, which stay
// loaded (on Windows "Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll", "Mpr.dll",
// "Shell32.dll"; on Linux the program with what it has loaded, then the C, maths and C++
// libraries); null when none does.
[[nodiscard]] void* FunctionFromSystemLibraries(const char* function);

}  // namespace kestrin
