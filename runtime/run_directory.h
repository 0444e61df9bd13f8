// The directory that holds the program file.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// Computes the program's directory once and makes it the current directory. Call at start.
void InitRunDirectory();

// The program's directory, never ending in the separator ("/" here).
[[nodiscard]] Text RunDirectory();

}  // namespace kestrin
