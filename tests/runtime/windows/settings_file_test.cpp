// The Windows side of the settings file: file attributes, a Chinese folder name, and a settings
// file that another program holds open. Wine replaces a read-only file where Windows refuses to:
// the settings code refuses by itself, as WritePrivateProfileString does.
#include "runtime/windows/windows_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/settings.h"
#include "tests/runtime/settings_folder.h"

namespace kestrin {
namespace {

using SettingsFileTest = SettingsFolderTest;

TEST_F(SettingsFileTest, AHiddenFileStaysHiddenAndAReadOnlyOneRefusesTheWrite) {
  Put("[a]\r\nk=1\r\n");
  ASSERT_TRUE(::SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(WriteSetting(file_, "a", "k", "2"));
  EXPECT_EQ(ReadSetting(file_, "a", "k"), "2");
  EXPECT_TRUE(::GetFileAttributesA(file_.c_str()) & FILE_ATTRIBUTE_HIDDEN);

  ASSERT_TRUE(::SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WriteSetting(file_, "a", "k", "3"));
  EXPECT_EQ(Contents(), "[a]\r\nk=2\r\n");
  EXPECT_TRUE(Strays().empty());
  ::SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The program's paths are GBK texts: a folder named in Chinese holds its settings like any other.
TEST_F(SettingsFileTest, AFolderNamedInChineseHoldsTheFile) {
  // Joined as bytes: the library's narrow paths are not the ANSI code page's.
  const std::string folder = directory_.string() + "\\设置";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string file = folder + "\\bb.ini";
  ASSERT_TRUE(WriteSetting(file, "版", "本", "v2.0"));
  EXPECT_EQ(ReadSetting(file, "版", "本"), "v2.0");
  const std::wstring wide = (directory_ / L"\u8BBE\u7F6E" / L"bb.ini").wstring();
  EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsFileTest, AFileHeldOpenForReadingIsStillRead) {
  Put("[a]\r\nk=1\r\n");
  const HANDLE held = ::CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadSetting(file_, "a", "k"), "1");
  ::CloseHandle(held);
}

}  // namespace
}  // namespace kestrin
