// The notice window's own program, started by the main program from beside it or from its helper
// folder: the window with its browser in a process that ends with the window, so that the web
// engine never loads into the main program. Its arguments: the owner's window id, then the
// address the main program drew at start.
#include "app/bindings.h"
#include "app/layouts.h"
#include "app/notice_address.h"
#include "runtime/run_directory.h"
#include "runtime/runtime_error.h"
#include "ui/qt/engine/browser_engine.h"
#include "ui/window_framework.h"

int main(int argc, char** argv) {
  kestrin::InitRunDirectory();
  kestrin::InstallOutOfMemoryReport();
  if (argc > 2) kestrin::app::TakeNoticeWindowAddress(argv[2]);
  kestrin::ui::UseWebEngineBrowsers();
  kestrin::ui::RunHelperWindow(kestrin::app::KestrinProgram(), kestrin::app::kNoticeWindow, argc, argv);
}
