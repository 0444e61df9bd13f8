#include "runtime/settings.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrin {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrin-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    file_ = (directory_ / "bb.ini").string();
  }
  void TearDown() override {
    fs::permissions(directory_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(directory_);
  }

  void Put(const std::string& content) const {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << content;
  }
  std::optional<std::string> Contents() const {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Files other than the settings file: what a failed write may have left behind.
  std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(directory_)) {
      if (item.path().filename() != "bb.ini") names.push_back(item.path().filename().string());
    }
    return names;
  }

  fs::path directory_;
  std::string file_;
};

const char kProfile[] =
    "; written by hand\r\n"
    "[General]\r\n"
    "Name=Kestrin\r\n"
    "  Spaced Key  =   spaced value   \r\n"
    "Quoted=\"  inside  \"\r\n"
    "Half=\"x\r\n"
    "Empty=\r\n"
    "Equals=a=b\r\n"
    "\x81\x41=two-byte name\r\n"
    "\r\n"
    "[版]\r\n"
    "本=v1.1\r\n";

struct ReadCase {
  const char* name;
  const char* section;
  const char* key;
  const char* fallback;
  const char* expected;
};

const ReadCase kReadCases[] = {
    {"plain", "General", "Name", "d", "Kestrin"},
    {"names in another case", "GENERAL", "nAME", "d", "Kestrin"},
    {"blanks around name and value", "General", "Spaced Key", "", "spaced value"},
    {"double quotes dropped", "General", "Quoted", "", "  inside  "},
    {"unmatched quote kept", "General", "Half", "", "\"x"},
    {"present but empty is not the default", "General", "Empty", "d", ""},
    {"only the first equals sign splits", "General", "Equals", "", "a=b"},
    {"missing key gives the default", "General", "Missing", "d", "d"},
    {"key of spaces gives empty, not the default", "General", "   ", "d", ""},
    {"GBK section and key, blanks around", " 版 ", "本", "", "v1.1"},
    {"two-byte name matches itself", "General", "\x81\x41", "d", "two-byte name"},
    {"second byte of a two-byte name is not a letter", "General", "\x81\x61", "d", "d"},
};

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

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // nothing: no file
  const char* section;
  std::optional<Text> key;
  std::optional<Text> value;
  bool written;
  std::optional<std::string> after;
};

const WriteCase kWriteCases[] = {
    {"creates a missing file", std::nullopt, "版", "本", "v1.1", true, "[版]\r\n本=v1.1\r\n"},
    {"replaces a value, names in any case", "[a]\r\nk=1\r\nother=2\r\n", "A", "K", "3", true,
     "[a]\r\nk=3\r\nother=2\r\n"},
    {"adds a key before the blank lines of its section", "[a]\r\nk=1\r\n\r\n[b]\r\nx=1\r\n", "a", "n", "v",
     true, "[a]\r\nk=1\r\nn=v\r\n\r\n[b]\r\nx=1\r\n"},
    {"adds a section at the end", "[a]\r\nk=1\r\n", "b", "k", "2", true, "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},
    {"writes CR LF line ends", "[a]\nk=1\nz=9", "a", "k", "2", true, "[a]\r\nk=2\r\nz=9\r\n"},
    {"keeps other bytes", "; 注释 \xFE\r\n[a]\r\n说明 = 中文 \r\n", "a", "k", "值", true,
     "; 注释 \xFE\r\n[a]\r\n说明 = 中文 \r\nk=值\r\n"},
    {"omitted key deletes the section", "[a]\r\nk=1\r\n[b]\r\nx=2\r\n[A]\r\nj=3\r\n", "a", std::nullopt,
     std::nullopt, true, "[b]\r\nx=2\r\n"},
    {"omitted value deletes the key", "[a]\r\nk=1\r\nj=2\r\n", "a", "K", std::nullopt, true, "[a]\r\nj=2\r\n"},
    {"deleting what is not there changes nothing", "[a]\nk=1", "b", std::nullopt, std::nullopt, true,
     "[a]\nk=1"},
    {"deleting from a missing file creates none", std::nullopt, "a", "k", std::nullopt, true, std::nullopt},
    {"a line break in the value is refused", "[a]\r\nk=1\r\n", "a", "k", "x\r\n[b]", false,
     "[a]\r\nk=1\r\n"},
};

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

TEST_F(SettingsTest, KeepsTheFilesPermissions) {
  Put("[a]\r\nk=1\r\n");
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteSetting(file_, "a", "k", "2"));
  EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsTest, MissingOrReadOnlyFolderMakesTheWriteFail) {
  const std::string old = "[a]\r\nk=1\r\n";
  Put(old);
  EXPECT_FALSE(WriteSetting((directory_ / "no-such-folder" / "bb.ini").string(), "a", "k", "2"));
  fs::permissions(directory_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(directory_.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
  EXPECT_FALSE(WriteSetting(file_, "a", "k", "2"));
  EXPECT_EQ(Contents(), old);
}

// A disk that fills up part-way through the new file: a write-size limit in a child stands in for it.
TEST_F(SettingsTest, WriteCutShortLeavesTheOldFileWhole) {
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
