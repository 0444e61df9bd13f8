// What both backends' tables of loaded windows answer alike: the handler bound to an event, and
// the fatal error for a window or control that is not loaded. Plain C++, no toolkit.
#pragma once

#include <span>
#include <string_view>

#include "runtime/runtime_error.h"
#include "ui/layout.h"

namespace kestrin::ui {

// The first binding of `event` on `control` of `window` (an empty control: the window itself),
// or nullptr; a later binding of the same event is never reached.
[[nodiscard]] inline const Binding* FindBinding(std::span<const Binding> bindings, std::string_view window,
                                                std::string_view control, Event event) {
  for (const Binding& binding : bindings) {
    if (binding.window == window && binding.control == control && binding.event == event) return &binding;
  }
  return nullptr;
}

// Reports "指定窗口或窗口组件不存在或尚未载入" as a runtime error.
[[noreturn]] inline void ReportNotLoaded() { ReportRuntimeError(0, "指定窗口或窗口组件不存在或尚未载入"); }

}  // namespace kestrin::ui
