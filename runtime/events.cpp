#include "runtime/events.h"

#include <atomic>

namespace kestrin {
namespace {
std::atomic<void (*)()> g_hook{nullptr};
}  // namespace

void ProcessPendingEvents() {
  if (auto hook = g_hook.load()) hook();
}

void SetProcessPendingEventsHook(void (*hook)()) { g_hook.store(hook); }

}  // namespace kestrin
