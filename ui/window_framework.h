// The window framework as the program's logic sees it: windows built from layout descriptions,
// named controls, events handed to bound handlers, and the window services. No Qt types here.
//
// Every operation may be called from any thread: it is carried out on the window thread and the
// caller waits until it is done (on the window thread itself it runs directly). Windows and
// controls are named by their layout names (GBK).
#pragma once

#include <string_view>

#include "runtime/controls.h"
#include "runtime/text.h"
#include "ui/layout.h"

namespace kestrin::ui {

// Starts the program: the application object, the error box and the event-loop hook, the start
// window created and shown, its created event handed to its handler once it has been painted, and
// the event loop. When the start window closes the exit routine runs and the process ends at once
// with code 0, whatever workers are still doing. "载入启动窗口失败" is reported as a runtime error
// when the start window cannot be created.
[[noreturn]] void RunProgram(const Program& program);

// Runs `window` of `program` as the whole program of a helper process, which a program's
// RunProgram starts for the windows whose layout names it. `argc` and `argv` are the helper's:
// the owner's window id (0 when it has none), then the program's HelperArguments for it
// (runtime/helper_program.h), which the helper's main reads. The helper ends, after the exit routine, when its
// window goes and when the process that started it ends.
[[noreturn]] void RunHelperWindow(const Program& program, std::string_view window, int argc, char** argv);

// Makes `program`'s layouts and bindings the ones windows are built and dispatched from; the
// tables must outlive the windows. Does not create a window.
void InstallProgram(const Program& program);

// Routes runtime-error reports to a message box captioned "错误" and ProcessPendingEvents to
// the window thread's event queue. RunProgram does this itself.
void InstallWindowServices();

// Creates `window` from its layout, owned by `owner` when one is named, hands its created event
// to the bound handler and shows it. Modal: returns once the window is gone. False when the
// layout is unknown, the owner is not loaded or creation failed; a window already loaded is only
// brought to the front. Under RunProgram a window whose layout names a helper is shown by that
// helper: true once it has started, and loaded until it ends.
bool LoadWindow(std::string_view window, std::string_view owner = {}, bool modal = false);
// Requests the window's destruction; it goes when the window thread next handles events, so the
// calling handler runs to its end. A window that is not loaded is a fatal runtime error.
void UnloadWindow(std::string_view window);
// True from LoadWindow until the window has been destroyed.
[[nodiscard]] bool IsWindowLoaded(std::string_view window);

// The controls of `window` for the program's logic; valid for the whole process. An operation
// on a window or control that is not loaded is a fatal runtime error.
[[nodiscard]] Controls& FormControls(std::string_view window);

// Tool-bar button states. Bits: 1 checked, 2 pressed, 4 disabled, 8 hidden, 16 indeterminate.
// Add sets checked, pressed, hidden and indeterminate and clears enabled; Remove does the reverse.
// Returns the button's index, or -1 when the index is outside the tool bar's buttons.
int AddToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits = 0);
int RemoveToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits = 0);
// The button's state in the Windows encoding (1 checked, 2 pressed, 4 enabled, 8 hidden,
// 16 indeterminate), or -1 outside the buttons.
[[nodiscard]] int ToolButtonState(std::string_view window, std::string_view toolBar, int index);

// The page container's current page; a page outside its pages changes nothing.
void SetCurrentPage(std::string_view window, std::string_view container, int page);
// The page container's current page, 0 for the first.
[[nodiscard]] int CurrentPage(std::string_view window, std::string_view container);

// The window's outer left and top edges in screen coordinates, in layout pixels (the screen's
// own pixels at 100 % scale, scaled with it otherwise).
void SetWindowPosition(std::string_view window, int left, int top);
// The text of the window's title bar.
void SetWindowCaption(std::string_view window, const Text& caption);
// Makes a web-browser control load `address`.
void SetBrowserAddress(std::string_view window, std::string_view browser, const Text& address);

// The primary screen's size in layout pixels, as SetWindowPosition takes them.
[[nodiscard]] int ScreenWidth();
[[nodiscard]] int ScreenHeight();

// A message box without owner, modal for the application; a system-modal one (0x1000) stays on
// top and holds no window, as it has no owner. Flags as Windows numbers them (button
// set in the low four bits, icon 0x10..0x40, default button 0x100..0x300). Returns the button
// chosen: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6, any other 0.
int MessageBox(const Text& message, int flags = kMessageBoxOk, const Text& caption = "信息：");

// Hands an http:// or https:// address to the desktop's default handler; anything else is
// ignored. The outcome is not reported.
void OpenAddress(const Text& address);

}  // namespace kestrin::ui
