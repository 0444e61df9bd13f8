// Waiting on a test server's socket without missing a stop.
#pragma once

#include <atomic>

namespace kestrin::testsupport {

// Waits up to `timeoutMs` for `events` (poll flags) on `fd`, in short slices so that a stopping
// server is noticed quickly; false on silence, error or stop.
bool WaitForSocket(int fd, short events, int timeoutMs, const std::atomic<bool>& stopping);

}  // namespace kestrin::testsupport
