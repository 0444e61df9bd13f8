#include "cli/config.h"

#include <gtest/gtest.h>

#include "cli/engines/token.h"
#include "tests/cli/cli_process.h"

namespace kestrin::cli {
namespace {

TEST(PermissionProblem, OnlyTheOwnerMayReadOrWrite) {
  const struct {
    unsigned mode;
    bool refused;
  } cases[] = {{0600, false}, {0400, false}, {0700, false}, {0640, true}, {0604, true}, {0620, true}, {0666, true}};
  for (const auto& row : cases) EXPECT_EQ(!PermissionProblem(row.mode).empty(), row.refused) << std::oct << row.mode;
}

TEST(LoadConfig, ReadsSitesAndNamesTheFaultOfABadFile) {
  if (const std::string why = testsupport::NoPrivateFiles(); !why.empty()) GTEST_SKIP() << why;
  testsupport::TempFolder folder;
  const std::string good = folder.Write("good.toml", R"(history = "/var/lib/k.sqlite"
[[site]]
site = "https://www.example.com"
token = "secret-token-123"
engines = ["baidu", "indexnow"]
indexnow_key = "abcdef123456"
sources = ["https://www.example.com/sitemap.xml", "/srv/list.txt"]
daily = true
[[site]]
site = "https://blog.example.com"
)");
  const LoadedConfig loaded = LoadConfig(good);
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.config.history, "/var/lib/k.sqlite");
  ASSERT_EQ(loaded.config.sites.size(), 2u);
  EXPECT_EQ(loaded.config.sites[0].engines, (std::vector<std::string>{"baidu", "indexnow"}));
  EXPECT_EQ(loaded.config.sites[0].sources.size(), 2u);
  EXPECT_EQ(loaded.config.sites[0].daily, true);
  EXPECT_FALSE(loaded.config.sites[1].daily.has_value());

  const struct {
    const char* text;
    const char* part;
  } bad[] = {
      {"[[site]]\nsite = \"a\"\ntoken = 5\n", "token"},
      {"[[site]]\ntoken = \"x\"\n", "site"},
      {"[[site]]\nsite = \"a\"\nengines = \"baidu\"\n", "engines"},
      {"site = \"a\"\n", "[[site]]"},
      {"[[site]\n", ":1:"},
      {"[[site]]\nsite = \"a\"\ntokn = \"x\"\n", ":3: unknown key tokn (did you mean token?)"},
      {"[[site]]\nsite = \"a\"\nindexnow-endpoint = \"x\"\n", "(did you mean indexnow_endpoint?)"},
      {"histroy = \"/h\"\n", ":1: unknown key histroy (did you mean history?)"},
      {"[[site]]\nsite = \"a\"\ncolour = \"x\"\n", "unknown key colour"},
      {"timeout = 0\n", "timeout"},
      {"[[site]]\nsite = \"a\"\ndaily = \"yes\"\n", ":3: daily"},
  };
  for (const auto& row : bad) {
    const LoadedConfig broken = LoadConfig(folder.Write("bad.toml", row.text));
    EXPECT_NE(broken.error.find(row.part), std::string::npos) << row.text << " -> " << broken.error;
  }
  EXPECT_NE(LoadConfig(folder.Write("open.toml", "", 0644)).error.find("too open"), std::string::npos);
}

TEST(NearestKey, SuggestsOnlyAKeyCloseEnoughToBeMeant) {
  const std::vector<std::string_view> known = {"site", "token", "indexnow_key", "key_location", "interface"};
  const struct {
    const char* written;
    const char* nearest;
  } cases[] = {{"tokn", "token"},       {"Token", "token"},           {"key-location", "key_location"},
               {"indexnowkey", "indexnow_key"}, {"sites", "site"}, {"colour", ""}, {"x", ""}};
  for (const auto& row : cases) EXPECT_EQ(NearestKey(row.written, known), row.nearest) << row.written;
}

TEST(MaskToken, NeverTheWholeToken) {
  EXPECT_EQ(MaskToken("abcdefghijklmnop"), "abc...op");
  EXPECT_EQ(MaskToken("short"), "***");
  EXPECT_EQ(MaskTokenIn("x?token=abcdefghijklmnop&y", "abcdefghijklmnop"), "x?token=abc...op&y");
}

}  // namespace
}  // namespace kestrin::cli
