// Starting a thread that nobody joins: the one thread operation that differs per platform.
#pragma once

#include <functional>

namespace kestrin {

// Starts `routine` (not empty) on a new thread that runs on by itself; false when the system
// refuses a thread. Never throws.
bool StartDetachedThread(std::function<void()> routine) noexcept;

}  // namespace kestrin
