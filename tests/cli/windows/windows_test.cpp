// What only the Windows build does: the profile's folders, the code page of a log, the access list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"

namespace kestrin {
namespace {

// Wine hands its zh_CN locale (code page 936) down as LC_ALL: this process reads messages in English.
const bool kEnglish = [] {
  for (const char* name : {"LC_ALL=", "LC_MESSAGES=", "LANGUAGE="}) _putenv(name);
  return _putenv("LANG=C") == 0;
}();

TEST(CliOnWindows, ProfileFoldersCodePagesAndAccessList) {
  ASSERT_TRUE(kEnglish);
  testsupport::TempFolder folder;
  const std::string profile = folder.Path();
  testsupport::MockBaidu baidu("http://127.0.0.1", "tokenABCDEFGH12345", 1000, 10);
  const std::string list = folder.Write("list.txt", "http://127.0.0.1/a.html\nftp://127.0.0.1/\xED\x95\x9C\n");
  const std::string toml = "[[site]]\nsite = \"http://127.0.0.1\"\ntoken = \"tokenABCDEFGH12345\"\ninterface = \"" +
                           baidu.Interface() + "\"\nsources = [\"" + list + "\"]\n";
  std::filesystem::create_directories(profile + "\\kestrin");
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int exitCode;
    std::string err;   // in standard error, as its bytes
    std::string made;  // a file the run leaves in the profile
  } cases[] = {
      {"the history in %LOCALAPPDATA%\\kestrin", {"push", "--site", "http://127.0.0.1", "--token", "tokenABCDEFGH12345",
        "--interface", baidu.Interface(), list}, {{"LOCALAPPDATA", profile}}, 0, "sent 1", "kestrin\\history.sqlite"},
      // Redirected, standard error is in the ANSI code page (936 in the test prefix); a character
      // GBK lacks goes out %-escaped.
      {"GBK in a log, an address never garbled", {"sitemap", list}, {{"LANG", "zh_CN.UTF-8"}}, 1,
       "ftp://127.0.0.1/%ED%95%9C", ""},
      {"the system's language without LANG", {"push", "--no-such-option"}, {{"LANG", ""}}, 2, "用 --help 查看用法", ""},
      {"one the machine's users may read is refused, and says whom",
       {"push", "--config", folder.Write("kestrin\\open.toml", toml, 0644), "--history", profile + "\\h.sqlite"}, {},
       2, "too open: readable by ", ""},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const testsupport::CliRun run = testsupport::RunCli({.args = row.args, .env = row.env});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    EXPECT_TRUE(row.made.empty() || std::filesystem::exists(profile + "\\" + row.made)) << row.made;
  }
}

}  // namespace
}  // namespace kestrin
