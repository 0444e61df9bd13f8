#include "runtime/run_directory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace kestrin {
namespace {

namespace fs = std::filesystem;

TEST(RunDirectoryTest, IsTheFolderOfTheProgramFile) {
  const Text directory = RunDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '/');
  EXPECT_EQ(fs::path(directory), fs::read_symlink("/proc/self/exe").parent_path());
  // Joined with "/" and a name, it reaches the program's neighbours.
  EXPECT_TRUE(fs::exists(directory + "/" + fs::read_symlink("/proc/self/exe").filename().string()));
}

TEST(RunDirectoryTest, InitMakesItTheCurrentDirectoryOnce) {
  ASSERT_EQ(::chdir("/"), 0);
  InitRunDirectory();
  EXPECT_EQ(fs::current_path(), fs::path(RunDirectory()));
  // Later calls leave a directory chosen since then alone.
  ASSERT_EQ(::chdir("/"), 0);
  InitRunDirectory();
  EXPECT_EQ(fs::current_path(), fs::path("/"));
  ASSERT_EQ(::chdir(RunDirectory().c_str()), 0);
}

}  // namespace
}  // namespace kestrin
