#include "runtime/run_directory.h"

#include "runtime/windows/windows_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kestrin {
namespace {

namespace fs = std::filesystem;

fs::path ProgramFile() {
  wchar_t path[32768];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, 32768);
  return fs::path(std::wstring(path, length));
}

TEST(RunDirectoryTest, IsTheFolderOfTheProgramFileInCodePage936) {
  const Text directory = RunDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '\\');
  // path's narrow form is the ANSI code page's, 936 here.
  ASSERT_EQ(::GetACP(), 936u);
  EXPECT_EQ(directory, ProgramFile().parent_path().string());
  // Joined with "\" and a name, it reaches the program's neighbours.
  EXPECT_NE(::GetFileAttributesA((directory + "\\" + ProgramFile().filename().string()).c_str()),
            INVALID_FILE_ATTRIBUTES);
}

// A directory as the system spells it, without the separator that may end it.
std::wstring Spelled(const fs::path& directory) {
  std::wstring spelled = directory.lexically_normal().wstring();
  while (spelled.size() > 3 && spelled.back() == L'\\') spelled.pop_back();
  return spelled;
}

TEST(RunDirectoryTest, InitMakesItTheCurrentDirectoryOnce) {
  const fs::path elsewhere = fs::temp_directory_path();
  fs::current_path(elsewhere);
  InitRunDirectory();
  EXPECT_EQ(Spelled(fs::current_path()), Spelled(ProgramFile().parent_path()));
  // Later calls leave a directory chosen since then alone.
  fs::current_path(elsewhere);
  InitRunDirectory();
  EXPECT_EQ(Spelled(fs::current_path()), Spelled(elsewhere));
  fs::current_path(ProgramFile().parent_path());
}

}  // namespace
}  // namespace kestrin
