#include "runtime/settings_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/support/linux/scoped_variable.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

using testsupport::ScopedVariable;

struct PathCase {
  const char* name;
  const char* configHome;  // nullptr: unset
  const char* home;
  const char* path;
};

const PathCase kPathCases[] = {
    {"ConfigHomeGiven", "/x/config", "/home/u", "/x/config/kestrin/bb.ini"},
    {"ConfigHomeUnset", nullptr, "/home/u", "/home/u/.config/kestrin/bb.ini"},
    {"ConfigHomeEmpty", "", "/home/u", "/home/u/.config/kestrin/bb.ini"},
    {"ConfigHomeRelativeIsIgnored", "config", "/home/u", "/home/u/.config/kestrin/bb.ini"},
    {"ConfigHomeWithoutHome", "/x/config", nullptr, "/x/config/kestrin/bb.ini"},
    {"NeitherSet", nullptr, nullptr, ""},
    {"HomeRelative", nullptr, "home/u", ""},
};

TEST(SettingsPathTest, FollowsTheDesktopsConfigurationFolder) {
  for (const PathCase& row : kPathCases) {
    ScopedVariable config("XDG_CONFIG_HOME", row.configHome);
    ScopedVariable home("HOME", row.home);
    EXPECT_EQ(SettingsFilePath(), row.path) << row.name;
  }
}

TEST(SettingsPathTest, FolderIsMadeWithItsParentsForTheUserAlone) {
  std::random_device random;
  const fs::path scratch = fs::temp_directory_path() / ("kestrin-config-" + std::to_string(random()));
  ASSERT_TRUE(fs::create_directory(scratch));
  std::ofstream(scratch / "file") << "in the way";

  {
    ScopedVariable config("XDG_CONFIG_HOME", (scratch / "a" / "b").c_str());
    ASSERT_TRUE(MakeSettingsFolder());
    EXPECT_TRUE(fs::is_directory(scratch / "a" / "b" / "kestrin"));
    struct stat status {};
    ASSERT_EQ(::stat((scratch / "a" / "b" / "kestrin").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakeSettingsFolder()) << "a folder that is there is as good";
  }
  {
    ScopedVariable config("XDG_CONFIG_HOME", (scratch / "file").c_str());
    EXPECT_FALSE(MakeSettingsFolder()) << "a file where a folder belongs";
  }
  {
    ScopedVariable config("XDG_CONFIG_HOME", nullptr);
    ScopedVariable home("HOME", nullptr);
    EXPECT_FALSE(MakeSettingsFolder());
  }
  fs::remove_all(scratch);
}

}  // namespace
}  // namespace kestrin
