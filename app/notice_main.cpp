// The notice window's own program, started by the main program beside it: the window with its
// browser in a process that ends with the window, so that the web engine never loads into the
// main program.
#include "app/bindings.h"
#include "app/layouts.h"
#include "runtime/run_directory.h"
#include "runtime/runtime_error.h"
#include "ui/qt/engine/browser_engine.h"
#include "ui/window_framework.h"

int main(int argc, char** argv) {
  kestrin::InitRunDirectory();
  kestrin::InstallOutOfMemoryReport();
  kestrin::ui::UseWebEngineBrowsers();
  kestrin::ui::RunHelperWindow(kestrin::app::KestrinProgram(), kestrin::app::kNoticeWindow, argc, argv);
}
