// The directory that holds the program file.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// Computes the program's directory once and makes it the current directory. Call at start.
void InitRunDirectory();

// The program's directory, never ending in the separator ("/" here): a program at the root gives
// the empty text, so that joining "/" and a name still names the file beside it. The bytes are the
// file system's, unconverted.
[[nodiscard]] Text RunDirectory();

}  // namespace kestrin
