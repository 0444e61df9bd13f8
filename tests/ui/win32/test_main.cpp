// The main of the Win32 window tests: GoogleTest with the main thread as the window thread.
// Under Wine they need the virtual screen of scripts/wine.sh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/win32/win32_access.h"

int main(int argc, char** argv) {
  testing::InitGoogleMock(&argc, argv);
  // Death tests start the program afresh, as they can only on Windows.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  kestrin::ui::BecomeWindowThread();
  return RUN_ALL_TESTS();
}
