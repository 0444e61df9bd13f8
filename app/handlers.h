// The handlers of the program's control events. All run on the window thread.
#pragma once

#include <cstdint>

namespace kestrin::app {

// Ticks of the notice window's timer since the program started; never reset (window thread).
extern std::int32_t CountdownTicks;

// Start-up: presses tool-bar button 0, runs the update check, draws the notice window's address
// from the page it read, then opens the notice window.
void MainWindowCreated();
// Moves the pressed look to button `index`; 0 and 1 also switch 选择夹1 to that page.
void PageButtonClicked(int index);
// Start a collection, or a submission of 编辑框8 or of 编辑框11, on a new worker thread.
void CollectButtonClicked();
void SubmitCollectedClicked();
void SubmitPastedClicked();
// Empties the interface box, whatever it holds.
void InterfaceBoxReleased();
// Opens the pop-up address of a new reading of the notice page in the browser, when it is a web
// address.
void SiteLabelReleased();
// Places the notice window near the screen's bottom-right corner and loads the address drawn at
// start (NoticeWindowAddress), when it is a web address.
void NoticeWindowCreated();
// Counts down in the notice window's caption and destroys the window at the 25th tick.
void NoticeTimerTick();

struct WindowPlace {
  int left;
  int top;
};
// Where the notice window's outer top-left corner goes on a screen of this size.
[[nodiscard]] WindowPlace NoticeWindowPlace(int screenWidth, int screenHeight);

}  // namespace kestrin::app
