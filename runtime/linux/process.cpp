#include "runtime/process.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kestrin {

void WriteStandardError(std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void* AllocateAlignedBlock(std::size_t size, std::size_t alignment) noexcept {
  void* block = nullptr;
  return ::posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
}

// posix_memalign's blocks are released by free, like any other.
void ReleaseAlignedBlock(void* block) noexcept { std::free(block); }

}  // namespace kestrin
