#include "runtime/windows/windows_api.h"

#include <malloc.h>

#include <algorithm>

#include "runtime/process.h"

namespace kestrin {

void WriteStandardError(std::string_view bytes) noexcept {
  const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return;
    bytes.remove_prefix(written);
  }
}

// The C runtime here has no aligned malloc that free accepts: aligned blocks keep their own pair.
void* AllocateAlignedBlock(std::size_t size, std::size_t alignment) noexcept {
  return ::_aligned_malloc(size, alignment);
}

void ReleaseAlignedBlock(void* block) noexcept { ::_aligned_free(block); }

}  // namespace kestrin
