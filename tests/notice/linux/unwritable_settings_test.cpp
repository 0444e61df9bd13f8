// A settings file that cannot be written is said on standard error, and the check goes on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "notice/update_check.h"
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

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

TEST(UnwritableSettingsTest, IsSaidOnStandardErrorAndTheCheckGoesOn) {
  const std::optional<std::string> oldConfig = Variable("XDG_CONFIG_HOME");
  const std::optional<std::string> oldHome = Variable("HOME");
  std::random_device random;
  for (const UnwritableCase& row : kUnwritableCases) {
    SCOPED_TRACE(row.name);
    const fs::path config = fs::temp_directory_path() / ("kestrin-unwritable-" + std::to_string(random()));
    fs::create_directories(config);
    const std::string way = row.inTheWay;
    if (way.rfind("f:", 0) == 0) std::ofstream(config / way.substr(2)) << "in the way";
    if (way.rfind("d:", 0) == 0) fs::create_directories(config / way.substr(2));
    if (row.noFolder) {
      ::unsetenv("XDG_CONFIG_HOME");
      ::unsetenv("HOME");
    } else {
      ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
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
    Restore("XDG_CONFIG_HOME", oldConfig);
    Restore("HOME", oldHome);
    fs::remove_all(config);
  }
}

}  // namespace
}  // namespace kestrin
