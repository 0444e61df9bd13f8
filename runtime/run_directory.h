// The directory that holds the program file. Backends: linux/ and windows/run_directory.cpp.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// The separator that joins the directory and a file name: "/" on Linux, "\" on Windows.
extern const char kPathSeparator;

// Computes the program's directory once and makes it the current directory. Call at start.
void InitRunDirectory();

// The program's directory, never ending in the separator, so that joining the separator and a
// name names the file beside the program. A program at the root gives the empty text on Linux
// and the drive ("C:") on Windows. On Linux the bytes are the file system's, unconverted; on
// Windows the path in code page 936 (a character GBK lacks becomes '?'). Empty when unknown.
[[nodiscard]] Text RunDirectory();

}  // namespace kestrin
