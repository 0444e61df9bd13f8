// Reading one web page as text.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// GETs `address` with nothing else and returns the body up to its first NUL; empty on failure.
[[nodiscard]] Text FetchPageText(const Text& address);

}  // namespace kestrin
