#include "ui/window_services.h"

#include <cstdio>
#include <cstdlib>

#include "ui/window_framework.h"
#include "ui/window_table.h"
#include "ui/window_thread.h"
#include "web/address.h"

namespace kestrin::ui {
namespace {

// Window-thread state; never freed, so nothing is torn down while workers still run at exit.
struct Services {
  std::optional<ScreenSize> screen;
  AddressOpener opener;
};

Services& State() {
  static auto* services = new Services;
  return *services;
}

ScreenSize Screen() {
  ScreenSize screen;
  RunOnWindowThread([&] { screen = State().screen.value_or(PrimaryScreenSize()); });
  return screen;
}

}  // namespace

void SetScreenSizeOverride(int width, int height) {
  RunOnWindowThread([&] {
    State().screen = width > 0 && height > 0 ? std::optional(ScreenSize{width, height}) : std::nullopt;
  });
}

std::optional<ScreenSize> ScreenSizeOverride() {
  std::optional<ScreenSize> screen;
  RunOnWindowThread([&] { screen = State().screen; });
  return screen;
}

int ScreenWidth() { return Screen().width; }

int ScreenHeight() { return Screen().height; }

int MessageBox(const Text& message, int flags, const Text& caption) {
  int result = 0;
  // On the window thread, so that a task-modal box holds the windows of the task.
  RunOnWindowThread([&] { result = ShowMessageBox(message, flags, caption); });
  return result;
}

void SetAddressOpener(AddressOpener opener) {
  RunOnWindowThread([&] { State().opener = std::move(opener); });
}

void OpenAddress(const Text& address) {
  // The addresses come from a remote page: only web addresses may reach the desktop's handlers.
  if (!IsOpenableAddress(address)) return;
  RunOnWindowThread([&] {
    if (State().opener) {
      State().opener(address);
    } else {
      OpenWithDesktop(address);
    }
  });
}

std::function<void()> EndOfProgram(void (*exitRoutine)()) {
  return [exitRoutine] {
    if (exitRoutine != nullptr) exitRoutine();
    std::fflush(nullptr);
    std::_Exit(0);
  };
}

}  // namespace kestrin::ui
