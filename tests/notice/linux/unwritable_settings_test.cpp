// A settings file that cannot be written is said on standard error, and the check goes on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "notice/update_check.h"
#include "tests/support/linux/scoped_variable.h"
#include "tests/support/list_site.h"
#include "tests/support/memory_form.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

struct UnwritableCase {
  const char* name;
  const char* inTheWay;  // under the configuration folder: a file ("f") or folder ("d") there
  bool noFolder;         // neither XDG_CONFIG_HOME nor HOME set
  const char* said;      // what standard error holds
};

const UnwritableCase kUnwritableCases[] = {
    {"FileWhereTheFolderGoes", "f:kestrin", false, "kestrin: could not write the settings file "},
    {"FolderWhereTheFileGoes", "d:kestrin/bb.ini", false, "kestrin: could not write the settings file "},
    {"NoFolderNamed", "", true, "kestrin: no folder for the settings file"},
};

TEST(UnwritableSettingsTest, IsSaidOnStandardErrorAndTheCheckGoesOn) {
  std::random_device random;
  for (const UnwritableCase& row : kUnwritableCases) {
    SCOPED_TRACE(row.name);
    const fs::path config = fs::temp_directory_path() / ("kestrin-unwritable-" + std::to_string(random()));
    fs::create_directories(config);
    const std::string way = row.inTheWay;
    if (way.rfind("f:", 0) == 0) std::ofstream(config / way.substr(2)) << "in the way";
    if (way.rfind("d:", 0) == 0) fs::create_directories(config / way.substr(2));
    testsupport::ScopedVariable configHome("XDG_CONFIG_HOME", row.noFolder ? nullptr : config.c_str());
    testsupport::ScopedVariable home("HOME", row.noFolder ? nullptr : std::getenv("HOME"));
    testsupport::ListSite site;
    site.SetNotice("v1.1");
    SetNoticePageAddressForTesting(site.NoticeAddress());
    testsupport::MemoryForm form;

    testing::internal::CaptureStderr();
    static_cast<void>(CheckForUpdate(form));
    const std::string said = testing::internal::GetCapturedStderr();

    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    if (!row.noFolder) {
      EXPECT_NE(said.find((config / "kestrin" / "bb.ini").string()), std::string::npos) << said;
    }
    EXPECT_EQ(form.Messages().size(), 1u);
    EXPECT_EQ(form.OpenedAddresses().size(), 1u);
    SetNoticePageAddressForTesting("");
    fs::remove_all(config);
  }
}

}  // namespace
}  // namespace kestrin
