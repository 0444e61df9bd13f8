// Program start: process set-up, then the window framework runs the program until the main
// window closes.
#include <unistd.h>

#include <cstdlib>

#include "app/bindings.h"
#include "runtime/run_directory.h"
#include "runtime/runtime_error.h"
#include "ui/window_framework.h"

int main() {
  // QtWebEngine refuses to start as root unless its sandbox is off; only then is it turned off.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  kestrin::InitRunDirectory();
  kestrin::InstallOutOfMemoryReport();
  kestrin::ui::RunProgram(kestrin::app::KestrinProgram());
}
