// What the fatal-error report and the allocation functions need from the system. Nothing here
// allocates, so the out-of-memory report can use it after every allocation has failed.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrin {

// Writes all of `bytes` to standard error, unbuffered; gives up quietly when it is closed.
void WriteStandardError(std::string_view bytes) noexcept;

// A block of `size` bytes aligned to `alignment` (a power of two above the plain alignment), or
// null. Released only by ReleaseAlignedBlock.
[[nodiscard]] void* AllocateAlignedBlock(std::size_t size, std::size_t alignment) noexcept;
void ReleaseAlignedBlock(void* block) noexcept;

}  // namespace kestrin
