// Letting the window's queued events through during a long loop.
#pragma once

namespace kestrin {

// Handles the calling thread's pending window events; does nothing on a thread without a window
// or before the window framework has installed itself.
void ProcessPendingEvents();
void SetProcessPendingEventsHook(void (*hook)());

}  // namespace kestrin
