// The web engine behind the web-browser control, in a library of its own: only the program that
// shows pages links it, since a linked web engine loads with the process whether used or not.
#pragma once

namespace kestrin::ui {

// Makes every browser control a QtWebEngine view. Call before the window framework starts: the
// engine needs the application object made with shared OpenGL contexts. As root, where the
// engine's sandbox cannot run, the sandbox is turned off, and its zygote with it. No shader is
// kept on disk.
void UseWebEngineBrowsers();

}  // namespace kestrin::ui
