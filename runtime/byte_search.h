// Finding a run of bytes in a longer one, as fast as the platform offers (glibc's memmem here;
// the standard library's search where there is none). Backends: linux/ and windows/byte_search.cpp.
#pragma once

#include <cstddef>

namespace kestrin {

// The first occurrence of the `soughtSize` bytes at `sought` in the `size` bytes at `text`, or
// null. `soughtSize` is at least 1.
[[nodiscard]] const char* FindBytes(const char* text, std::size_t size, const char* sought, std::size_t soughtSize);

}  // namespace kestrin
