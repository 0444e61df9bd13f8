#include "runtime/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/runtime/settings_cases.h"
#include "tests/runtime/settings_folder.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

using SettingsTest = SettingsFolderTest;

TEST_F(SettingsTest, ReadsLikeAPrivateProfile) {
  Put(kProfile);
  for (const ReadCase& c : kReadCases) {
    EXPECT_EQ(ReadSetting(file_, c.section, c.key, c.fallback), c.expected) << c.name;
  }
  EXPECT_EQ(ReadSetting("  " + file_, "General", "Name", "d"), "Kestrin");
  EXPECT_EQ(ReadSetting(file_ + ".missing", "General", "Name", "d"), "d");
}

TEST_F(SettingsTest, LongValuesAreCutAt10239Bytes) {
  const struct {
    std::size_t length;
    std::size_t returned;
  } cases[] = {{10238, 10238}, {10239, 10239}, {10240, 10239}, {50000, 10239}};
  for (const auto& c : cases) {
    std::string value(c.length, 'v');
    value.back() = 'z';
    Put("[s]\r\nk=" + value + "\r\n");
    EXPECT_EQ(ReadSetting(file_, "s", "k"), value.substr(0, c.returned)) << c.length;
  }
}

TEST_F(SettingsTest, WritesLikeAPrivateProfile) {
  for (const WriteCase& c : kWriteCases) {
    std::error_code ignored;
    fs::remove(file_, ignored);
    if (c.before) Put(*c.before);
    EXPECT_EQ(WriteSetting(file_, c.section, c.key, c.value), c.written) << c.name;
    EXPECT_EQ(Contents(), c.after) << c.name;
    if (c.written && c.key) {
      EXPECT_EQ(ReadSetting(file_, c.section, *c.key, "gone"), c.value.value_or("gone")) << c.name;
    }
    EXPECT_TRUE(Strays().empty()) << c.name;
  }
}

TEST_F(SettingsTest, MissingFolderMakesTheWriteFail) {
  EXPECT_FALSE(WriteSetting((directory_ / "no-such-folder" / "bb.ini").string(), "a", "k", "2"));
  EXPECT_FALSE(fs::exists(directory_ / "no-such-folder"));
}

class ConcurrentSettingsTest : public SettingsTest {};

TEST_F(ConcurrentSettingsTest, WritersInOneProcessLoseNoUpdate) {
  constexpr int kKeysEach = 25;
  auto writer = [this](char prefix) {
    for (int i = 0; i < kKeysEach; ++i) {
      EXPECT_TRUE(WriteSetting(file_, "s", prefix + std::to_string(i), std::to_string(i)));
    }
  };
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();
  for (char prefix : {'a', 'b'}) {
    for (int i = 0; i < kKeysEach; ++i) {
      EXPECT_EQ(ReadSetting(file_, "s", prefix + std::to_string(i)), std::to_string(i));
    }
  }
}

}  // namespace
}  // namespace kestrin
