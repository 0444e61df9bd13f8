#include "tests/support/socket_wait.h"

#include <poll.h>

#include <cerrno>

namespace kestrin::testsupport {

bool WaitForSocket(int fd, short events, int timeoutMs, const std::atomic<bool>& stopping) {
  for (int waited = 0; waited < timeoutMs && !stopping; waited += 50) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, 50);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
  return false;
}

}  // namespace kestrin::testsupport
