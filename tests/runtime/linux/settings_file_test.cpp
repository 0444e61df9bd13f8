// The Linux side of the settings file: permissions kept, and a write cut short.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/settings.h"
#include "tests/runtime/settings_folder.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

using SettingsFileTest = SettingsFolderTest;

TEST_F(SettingsFileTest, KeepsTheFilesPermissions) {
  Put("[a]\r\nk=1\r\n");
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteSetting(file_, "a", "k", "2"));
  EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsFileTest, ReadOnlyFolderMakesTheWriteFail) {
  const std::string old = "[a]\r\nk=1\r\n";
  Put(old);
  fs::permissions(directory_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(directory_.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
  EXPECT_FALSE(WriteSetting(file_, "a", "k", "2"));
  EXPECT_EQ(Contents(), old);
}

// A disk that fills up part-way through the new file: a write-size limit in a child stands in for it.
TEST_F(SettingsFileTest, WriteCutShortLeavesTheOldFileWhole) {
  const std::string old = "[a]\r\nk=1\r\n";
  Put(old);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(WriteSetting(file_, "a", "k", std::string(20000, 'x')) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the cut-short write reported success";
  EXPECT_EQ(Contents(), old);
  EXPECT_TRUE(Strays().empty());
}

}  // namespace
}  // namespace kestrin
