// Worker threads started from the window's handlers.
#pragma once

#include <functional>
#include <thread>

namespace kestrin {

// Starts `routine` on a new thread that runs on by itself; true when it started.
bool StartThread(std::function<void()> routine);
// Starts `routine(parameter)` on a new thread that runs on by itself.
bool StartThread(void (*routine)(int), int parameter);
// Starts `routine(parameter)` and keeps the thread in `handle` (joinable) for the caller.
bool StartThread(void (*routine)(int), int parameter, std::thread& handle);

}  // namespace kestrin
