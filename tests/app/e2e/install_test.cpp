// The Debian package as a user installs it: unpacked into a scratch root, checked for what the
// desktop needs, and started from there on a virtual screen with a home and XDG folders of its
// own. The packages come from a build configured with this test's notice port
// (scripts/test.sh): KESTRIN_PACKAGES names their folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <regex>
#include <thread>

#include "tests/app/e2e/desktop.h"
#include "tests/app/e2e/notice_server.h"
#include "tests/support/list_site.h"

namespace kestrin::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kNoticePort = KESTRIN_E2E_NOTICE_PORT;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The one package in `folder` whose name starts with `name` and a '_'.
std::optional<fs::path> PackageIn(const fs::path& folder, const std::string& name) {
  std::optional<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().string();
    if (file.rfind(name + "_", 0) == 0 && entry.path().extension() == ".deb") found = entry.path();
  }
  return found;
}

class InstallTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* packages = std::getenv("KESTRIN_PACKAGES");
    ASSERT_NE(packages, nullptr) << "KESTRIN_PACKAGES names no folder of packages";
    packages_ = packages;
    std::random_device random;
    scratch_ = fs::temp_directory_path() / ("kestrin-install-" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directories(scratch_ / "root"));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
  }

  // The package's control field `field`.
  std::string Field(const fs::path& package, const std::string& field) {
    return RunCommand({"dpkg-deb", "--field", package.string(), field}).value_or("");
  }

  fs::path packages_;
  fs::path scratch_;
};

// What the package holds and declares, before anything is started.
TEST_F(InstallTest, PackageHoldsWhatTheDesktopNeeds) {
  const auto window = PackageIn(packages_, "kestrin");
  const auto cli = PackageIn(packages_, "kestrin-cli");
  ASSERT_TRUE(window && cli) << "no kestrin_*.deb and kestrin-cli_*.deb in " << packages_;
  ASSERT_TRUE(RunCommand({"dpkg-deb", "-x", window->string(), (scratch_ / "root").string()}));

  const fs::path usr = scratch_ / "root" / "usr";
  const std::vector<fs::path> files = {
      usr / "bin/kestrin",
      usr / "libexec/kestrin/kestrin-notice",
      usr / "share/applications/org.kestrin.Kestrin.desktop",
      usr / "share/metainfo/org.kestrin.Kestrin.metainfo.xml",
      usr / "share/icons/hicolor/16x16/apps/kestrin.png",
      usr / "share/icons/hicolor/48x48/apps/kestrin.png",
      usr / "share/icons/hicolor/128x128/apps/kestrin.png",
  };
  for (const fs::path& file : files) EXPECT_TRUE(fs::is_regular_file(file)) << file;
  EXPECT_FALSE(fs::exists(usr / "bin/kestrin-notice")) << "the helper is not a command of its own";
  EXPECT_TRUE(RunCommand({"desktop-file-validate", (usr / "share/applications/org.kestrin.Kestrin.desktop").string()}));
  EXPECT_TRUE(RunCommand({"appstreamcli", "validate", "--no-net",
                          (usr / "share/metainfo/org.kestrin.Kestrin.metainfo.xml").string()}));

  // Linked libraries come from the shared-library scan; what is loaded by name is declared.
  const std::string depends = Field(*window, "Depends");
  for (const char* needed : {"libcurl4", "qt6-qpa-plugins", "xdg-utils", "libqt6widgets6", "libqt6webenginewidgets6"}) {
    EXPECT_NE(depends.find(needed), std::string::npos) << needed << " missing from: " << depends;
  }
  const std::string cliDepends = Field(*cli, "Depends");
  EXPECT_NE(cliDepends.find("libcurl4"), std::string::npos) << cliDepends;
  EXPECT_EQ(cliDepends.find("qt6"), std::string::npos) << "kestrin-cli needs no Qt: " << cliDepends;
}

// Started from the unpacked root with a newer version announced: the main window, then the
// message (closed here), the desktop's browser with the pop-up address, the notice window, and
// bb.ini in the configuration folder. The notice page is read once.
TEST_F(InstallTest, StartsFromTheInstalledFoldersAndKeepsSettingsInTheConfigFolder) {
  const auto window = PackageIn(packages_, "kestrin");
  ASSERT_TRUE(window) << "no kestrin_*.deb in " << packages_;
  ASSERT_TRUE(RunCommand({"dpkg-deb", "-x", window->string(), (scratch_ / "root").string()}));

  ASSERT_TRUE(PortIsFree(kNoticePort)) << "port " << kNoticePort << " is taken";
  testsupport::ListSite site;
  NoticeServer notice(kNoticePort, site.PopupPrefix(), "v1.1");
  ASSERT_TRUE(notice.Listening());

  // The desktop's opener, standing in for xdg-open: it notes the address it is given.
  const fs::path bin = scratch_ / "bin";
  fs::create_directories(bin);
  std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (scratch_ / "opened").string() << "'\n";
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  for (const char* folder : {"home", "config", "cache", "data", "state", "runtime"}) {
    fs::create_directories(scratch_ / folder);
  }
  fs::permissions(scratch_ / "runtime", fs::perms::owner_all);

  VirtualScreen screen;
  ASSERT_TRUE(screen.Ready()) << "Xvfb did not start";
  std::vector<std::string> environment = screen.Environment();
  const char* path = std::getenv("PATH");
  environment.insert(environment.end(), {
      "HOME=" + (scratch_ / "home").string(), "XDG_CONFIG_HOME=" + (scratch_ / "config").string(),
      "XDG_CACHE_HOME=" + (scratch_ / "cache").string(), "XDG_DATA_HOME=" + (scratch_ / "data").string(),
      "XDG_STATE_HOME=" + (scratch_ / "state").string(), "XDG_RUNTIME_DIR=" + (scratch_ / "runtime").string(),
      "PATH=" + bin.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin"),
      // The sanitizers of the driver's build are no business of the installed program.
      "LD_PRELOAD=", "ASAN_OPTIONS=", "LSAN_OPTIONS="});
  const fs::path program = scratch_ / "root/usr/bin/kestrin";
  Process kestrin({program.string()}, environment);
  ASSERT_GT(kestrin.Pid(), 0);

  const std::string caption = Utf8(u8"Kestrin百度推送v1.1");
  const auto main = screen.WaitForWindow([&](const ScreenWindow& w) { return w.name == caption; }, 60s);
  ASSERT_TRUE(main.has_value()) << "no window captioned " << caption;
  const auto box = screen.WaitForWindow([](const ScreenWindow& w) { return w.name == Utf8(u8"信息："); }, 30s);
  ASSERT_TRUE(box.has_value()) << "no message of the newer version";
  ASSERT_TRUE(screen.Close(box->id));

  const std::regex countdown(Utf8(u8"^([0-9]|1[0-9]|2[0-4])秒后关闭$"));
  const auto shown = screen.WaitForWindow([&](const ScreenWindow& w) { return std::regex_match(w.name, countdown); }, 60s);
  EXPECT_TRUE(shown.has_value()) << "no notice window: the helper was not found where the package put it";

  const std::regex popup("^" + site.PopupPrefix() + R"(([3-9]|[12][0-9]|30)\.html\n$)");
  EXPECT_TRUE(std::regex_match(ReadFile(scratch_ / "opened"), popup)) << ReadFile(scratch_ / "opened");
  const fs::path settings = scratch_ / "config/kestrin/bb.ini";
  EXPECT_EQ(ReadFile(settings), "[版]\r\n本=v1.1\r\n");
  EXPECT_FALSE(fs::exists(scratch_ / "root/usr/bin/bb.ini"));
  EXPECT_EQ(notice.Requests(), 1);
  kestrin.Stop();
}

}  // namespace
}  // namespace kestrin::e2e
