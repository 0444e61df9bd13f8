// The window thread as the backend-independent parts of the framework see it. Each backend
// defines these; both may be called from any thread.
#pragma once

#include <functional>

namespace kestrin::ui {

// True on the window thread, and anywhere before there is one.
[[nodiscard]] bool OnWindowThread();
// Runs `work` on the window thread, the caller waiting until it is done; runs it directly when
// called there or before there is a window thread.
void RunOnWindowThread(const std::function<void()>& work);

}  // namespace kestrin::ui
