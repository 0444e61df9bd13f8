#include "runtime/helper_program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace kestrin {
namespace {

namespace fs = std::filesystem;

struct HelperCase {
  const char* name;
  const char* program;              // the program's folder, under the scratch folder
  std::vector<const char*> files;   // executable helpers, under the scratch folder
  const char* notExecutable;        // a helper without execute bits, or nullptr
  const char* found;                // the path expected
};

const HelperCase kHelperCases[] = {
    {"BuildFolder", "build/app", {"build/app/kestrin-notice"}, nullptr, "build/app/kestrin-notice"},
    {"Installed", "usr/bin", {"usr/libexec/kestrin/kestrin-notice"}, nullptr, "usr/libexec/kestrin/kestrin-notice"},
    {"BesideComesFirst", "usr/bin", {"usr/bin/kestrin-notice", "usr/libexec/kestrin/kestrin-notice"}, nullptr,
     "usr/bin/kestrin-notice"},
    {"NowhereNamesBeside", "usr/bin", {}, nullptr, "usr/bin/kestrin-notice"},
    {"InstalledButNotExecutable", "usr/bin", {}, "usr/libexec/kestrin/kestrin-notice", "usr/bin/kestrin-notice"},
    {"NoBinFolder", "opt/kestrin", {"opt/libexec/kestrin/kestrin-notice"}, nullptr, "opt/kestrin/kestrin-notice"},
};

void PutFile(const fs::path& path, fs::perms permissions) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "#!/bin/sh\n";
  fs::permissions(path, permissions);
}

TEST(HelperProgramTest, FoundBesideTheProgramOrInItsHelperFolder) {
  std::random_device random;
  for (const HelperCase& row : kHelperCases) {
    const fs::path scratch = fs::temp_directory_path() / ("kestrin-helper-" + std::to_string(random()));
    fs::create_directories(scratch / row.program);
    for (const char* file : row.files) PutFile(scratch / file, fs::perms::owner_all);
    if (row.notExecutable != nullptr) PutFile(scratch / row.notExecutable, fs::perms::owner_read);
    EXPECT_EQ(HelperProgramPathFrom((scratch / row.program).string(), "kestrin-notice"),
              (scratch / row.found).string())
        << row.name;
    fs::remove_all(scratch);
  }
}

}  // namespace
}  // namespace kestrin
