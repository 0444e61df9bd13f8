#include "runtime/threads.h"

#include <system_error>
#include <utility>

namespace kestrin {

bool StartThread(std::function<void()> routine) {
  // An empty routine would end the process from inside the new thread.
  if (!routine) return false;
  try {
    std::thread(std::move(routine)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool StartThread(void (*routine)(int), int parameter) {
  if (routine == nullptr) return false;
  try {
    std::thread(routine, parameter).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool StartThread(void (*routine)(int), int parameter, std::thread& handle) {
  if (routine == nullptr) return false;
  try {
    std::thread started(routine, parameter);
    // Overwriting a thread that is still held would end the process; the earlier thread is
    // let go to run on by itself, as an overwritten handle variable would.
    if (handle.joinable()) handle.detach();
    handle = std::move(started);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace kestrin
