#include "runtime/detached_thread.h"

#include <system_error>
#include <thread>
#include <utility>

namespace kestrin {

bool StartDetachedThread(std::function<void()> routine) noexcept {
  try {
    std::thread(std::move(routine)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace kestrin
