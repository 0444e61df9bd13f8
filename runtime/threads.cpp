#include "runtime/threads.h"

#include <system_error>
#include <utility>

#include "runtime/detached_thread.h"

namespace kestrin {

bool StartThread(std::function<void()> routine) {
  // An empty routine would end the process from inside the new thread.
  if (!routine) return false;
  return StartDetachedThread(std::move(routine));
}

bool StartThread(void (*routine)(int), int parameter) {
  if (routine == nullptr) return false;
  return StartDetachedThread([routine, parameter] { routine(parameter); });
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
