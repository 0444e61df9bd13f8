// Which handler each control event reaches, and the program as the window framework runs it.
#pragma once

#include <span>

#include "ui/layout.h"

namespace kestrin::app {

// The complete binding table; events without an entry are ignored.
[[nodiscard]] std::span<const ui::Binding> Bindings();

// Both windows, the bindings, the main window as the start window and ExitCleanup as the exit
// routine.
[[nodiscard]] ui::Program KestrinProgram();

}  // namespace kestrin::app
