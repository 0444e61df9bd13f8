#include "runtime/allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "runtime/process.h"
#include "runtime/runtime_error.h"

namespace kestrin {
namespace {

constexpr std::size_t kPlain = alignof(std::max_align_t);

std::atomic<bool> g_failEveryAllocation{false};

// The handler installed with the report. Allocate reports with the failed size itself; the
// handler only serves code that calls it directly, which knows no size.
void OutOfMemoryHandler() { ReportOutOfMemory(0); }

// Allocation with the standard retry loop, except that the report's own handler is called with
// the size that failed (passed as an argument, not through thread-local storage, which may
// itself need memory).
void* Allocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  for (;;) {
    void* block = nullptr;
    if (!g_failEveryAllocation.load(std::memory_order_relaxed)) {
      block = alignment <= kPlain ? std::malloc(size) : AllocateAlignedBlock(size, alignment);
    }
    if (block != nullptr) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    if (handler == &OutOfMemoryHandler) ReportOutOfMemory(size);
    handler();
  }
}

void* AllocateNoThrow(std::size_t size, std::size_t alignment) noexcept {
  try {
    return Allocate(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void InstallOutOfMemoryReport() {
  KeepOutOfMemoryReserve();
  std::set_new_handler(&OutOfMemoryHandler);
}

void FailEveryAllocationForTesting() { g_failEveryAllocation.store(true); }

}  // namespace kestrin

// The global allocation functions are replaced so that a failed request's size is known to the
// report. Plain blocks come from malloc and go back to free, aligned ones have their own pair;
// the sanitizers still see every block through those.
namespace {
inline std::size_t Align(std::align_val_t alignment) { return static_cast<std::size_t>(alignment); }
}  // namespace

void* operator new(std::size_t size) { return kestrin::Allocate(size, kestrin::kPlain); }
void* operator new[](std::size_t size) { return kestrin::Allocate(size, kestrin::kPlain); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, kestrin::kPlain);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, kestrin::kPlain);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return kestrin::Allocate(size, Align(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return kestrin::Allocate(size, Align(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, Align(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, Align(alignment));
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { kestrin::ReleaseAlignedBlock(block); }
void operator delete[](void* block, std::align_val_t) noexcept { kestrin::ReleaseAlignedBlock(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { kestrin::ReleaseAlignedBlock(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { kestrin::ReleaseAlignedBlock(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  kestrin::ReleaseAlignedBlock(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  kestrin::ReleaseAlignedBlock(block);
}
