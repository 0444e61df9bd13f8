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
  // Without the sandbox its zygote processes guard nothing, and they would outlive the notice
  // window for the whole run: the page's process is then started directly and ends with it.
  if (geteuid() == 0) {
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-zygote", 0);
  }
  kestrin::InitRunDirectory();
  kestrin::InstallOutOfMemoryReport();
  kestrin::ui::RunProgram(kestrin::app::KestrinProgram());
}
