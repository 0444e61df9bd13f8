#include "runtime/detached_thread.h"

#include "runtime/windows/windows_api.h"

#include <process.h>

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace kestrin {
namespace {

unsigned __stdcall RunRoutine(void* parameter) {
  const std::unique_ptr<std::function<void()>> routine(static_cast<std::function<void()>*>(parameter));
  (*routine)();
  return 0;
}

}  // namespace

// Straight on the CRT rather than std::thread: mingw-w64's winpthreads, under many threads
// created and detached at once, now and then hands a new thread a null start record (it then
// crashes, or its routine never runs).
bool StartDetachedThread(std::function<void()> routine) noexcept {
  auto* owned = new (std::nothrow) std::function<void()>(std::move(routine));
  if (owned == nullptr) return false;
  const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, RunRoutine, owned, 0, nullptr);
  if (thread == 0) {
    delete owned;
    return false;
  }
  ::CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

}  // namespace kestrin
