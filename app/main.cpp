// Program start: process set-up, then the window framework runs the program until the main
// window closes.
#include "app/bindings.h"
#include "runtime/run_directory.h"
#include "runtime/runtime_error.h"
#include "ui/window_framework.h"

int main() {
  kestrin::InitRunDirectory();
  kestrin::InstallOutOfMemoryReport();
  kestrin::ui::RunProgram(kestrin::app::KestrinProgram());
}
