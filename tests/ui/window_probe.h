// What the shared table of window behaviour asks of a backend's widgets: typing into them,
// reading what they show, clicking them. Each backend's tests define these (qt/window_probe.cpp,
// win32/window_probe.cpp); the table never looks at a toolkit itself. Window thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace kestrin::ui::probe {

// A rectangle in the client area of the window the control lies on.
struct Box {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Box&) const = default;
};

// Readies the backend for a test: browser controls as plain areas, no screen override.
void Prepare();
// Handles the window thread's pending events, deferred deletions included.
void Pump();
// Pumps until `done` holds or ten seconds have passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done);
// Runs `work` on a thread of its own while this thread keeps handling events.
void RunWorker(const std::function<void()>& work);

// Whether the window's widget exists, loaded or not.
[[nodiscard]] bool Exists(std::string_view window);
// Destroys the window at once, as the toolkit would, its owned windows with it.
void Destroy(std::string_view window);
// Closes the window as the user does, from its title bar.
void CloseByUser(std::string_view window);

// Gives the control the keyboard and types `keys` at its caret; '\r' is the Enter key.
void Type(std::string_view window, std::string_view control, std::u16string_view keys);
// What the control holds, as GBK: an edit box's text with the line breaks a Windows edit control
// holds (CR LF, a lone CR kept), a label's or button's caption.
[[nodiscard]] Text Shown(std::string_view window, std::string_view control);
// A left click in the middle of the control.
void Click(std::string_view window, std::string_view control);
// A left click at `x`, `y` of the window's client area, on whatever lies there.
void ClickWindowAt(std::string_view window, int x, int y);
// A click with a button that is not the left one.
void OtherClick(std::string_view window, std::string_view control);

// The edit box's caret is at the end of its text, nothing selected.
[[nodiscard]] bool CaretAtEnd(std::string_view window, std::string_view control);
// The edit box has something to undo.
[[nodiscard]] bool CanUndo(std::string_view window, std::string_view control);
// The first line in view of a multi-line box, 0 for the first line of its text.
[[nodiscard]] int FirstVisibleLine(std::string_view window, std::string_view control);

[[nodiscard]] bool Visible(std::string_view window, std::string_view control);
[[nodiscard]] bool Focused(std::string_view window, std::string_view control);
void Focus(std::string_view window, std::string_view control);
// Where the control lies in its window's client area.
[[nodiscard]] Box Place(std::string_view window, std::string_view control);
// A label breaks its text into lines.
[[nodiscard]] bool Wraps(std::string_view window, std::string_view control);

// Status bar parts: their number, a part's text and the first part's width.
[[nodiscard]] int StatusPartCount(std::string_view window, std::string_view bar);
[[nodiscard]] Text StatusPart(std::string_view window, std::string_view bar, int part);
[[nodiscard]] int FirstStatusPartWidth(std::string_view window, std::string_view bar);

// How a tool-bar button looks and where it lies in the bar; a hidden button's place is empty.
struct ToolLook {
  bool sunk = false;     // the checked or pressed look
  bool usable = false;   // takes clicks: neither disabled, indeterminate nor hidden
  bool shown = false;
  bool operator==(const ToolLook&) const = default;
};
[[nodiscard]] ToolLook ToolButton(std::string_view window, std::string_view bar, int index);
[[nodiscard]] Box ToolButtonPlace(std::string_view window, std::string_view bar, int index);
void ClickToolButton(std::string_view window, std::string_view bar, int index);

// The window's frame on the screen, its size outer.
[[nodiscard]] Box OuterBox(std::string_view window);
[[nodiscard]] int ClientWidth(std::string_view window);
[[nodiscard]] bool Resizable(std::string_view window);
[[nodiscard]] bool WindowShown(std::string_view window);
[[nodiscard]] Text Caption(std::string_view window);
// `window` is owned by `owner` and lets it take input while it shows.
[[nodiscard]] bool OwnedModeless(std::string_view window, std::string_view owner);

// Sets the screen size ScreenWidth and ScreenHeight report; 0 x 0 restores the screen's own.
void OverrideScreen(int width, int height);

// What a message box showed when it was answered.
struct SeenBox {
  bool shown = false;
  Text title;
  Text text;
  bool icon = false;
  bool holdsWatched = false;    // the watched window took no input while the box showed
  bool onWindowThread = false;  // the box belonged to the window thread
  std::vector<int> results;     // what its buttons give (0 OK, 1 Cancel, 2 Abort, 3 Retry, 4 Ignore,
                                // 5 Yes, 6 No), sorted
};
// Answers the next message box, from whichever thread it comes, with the button that gives
// `result` (closes it when it has none), noting in `seen`, which must outlive the answer, what it
// showed and whether `watched` (a loaded window; none when empty) took input meanwhile. `then`
// runs once the box was seen, before the answer. Call on the window thread.
void AnswerNextBox(int result, SeenBox* seen, std::string_view watched = {}, std::function<void()> then = {});

// Makes OpenAddress hand what it lets through to `opened` instead of the desktop; nullptr
// restores the desktop.
void CatchOpenedAddresses(std::vector<Text>* opened);
// Posts a click of the button to the window thread's queue: handled when its events are.
void PostClick(std::string_view window, std::string_view button);

}  // namespace kestrin::ui::probe
