// The window services that are not about one window, as both backends share them: the screen's
// size, message boxes and opening addresses go through here to the toolkit's own calls, which each
// backend supplies. Tests steer the screen and the opener here.
#pragma once

#include <functional>
#include <optional>

#include "runtime/text.h"

namespace kestrin::ui {

struct ScreenSize {
  int width = 0;
  int height = 0;
};

// The screen size that ScreenWidth and ScreenHeight report, in layout pixels; 0 x 0 restores the
// primary screen's. Nothing while none is set.
void SetScreenSizeOverride(int width, int height);
[[nodiscard]] std::optional<ScreenSize> ScreenSizeOverride();

// Where OpenAddress hands the addresses it lets through; an empty function restores the
// desktop's own handler.
using AddressOpener = std::function<void(const Text& address)>;
void SetAddressOpener(AddressOpener opener);

// --- each backend's, on the window thread
// The primary screen's size in layout pixels.
[[nodiscard]] ScreenSize PrimaryScreenSize();
// Shows a message box as MessageBox (ui/window_framework.h) describes it; the button chosen.
[[nodiscard]] int ShowMessageBox(const Text& message, int flags, const Text& caption);
// Hands a web address to the desktop's default handler.
void OpenWithDesktop(const Text& address);

}  // namespace kestrin::ui
