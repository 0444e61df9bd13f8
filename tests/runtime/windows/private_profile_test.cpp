// Our settings code against the system's own GetPrivateProfileStringA and
// WritePrivateProfileStringA: the same tables, byte for byte.
#include "runtime/windows/windows_api.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/settings.h"
#include "tests/runtime/settings_cases.h"
#include "tests/runtime/settings_folder.h"

namespace kestrin {
namespace {

using PrivateProfileTest = SettingsFolderTest;

std::string SkipLeadingControls(const std::string& s) {
  std::size_t p = 0;
  while (p < s.size() && static_cast<unsigned char>(s[p]) <= 0x20) ++p;
  return s.substr(p);
}

// ReadSetting's rules around the system's call: names lose their leading blanks and controls, an
// empty one reads nothing, and the value comes back through a buffer of 10240 bytes.
Text SystemReadSetting(const Text& file, const Text& section, const Text& key, const Text& fallback) {
  const std::string fileName = SkipLeadingControls(file);
  const std::string sectionName = SkipLeadingControls(section);
  const std::string keyName = SkipLeadingControls(key);
  if (fileName.empty() || sectionName.empty() || keyName.empty()) return Text();
  std::vector<char> buffer(10240, '\0');
  const DWORD n = ::GetPrivateProfileStringA(sectionName.c_str(), keyName.c_str(), fallback.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), fileName.c_str());
  return Text(buffer.data(), n);
}

bool SystemWriteSetting(const Text& file, const Text& section, const std::optional<Text>& key,
                        const std::optional<Text>& value) {
  return ::WritePrivateProfileStringA(section.c_str(), key ? key->c_str() : nullptr,
                                      value ? value->c_str() : nullptr, file.c_str()) != 0;
}

TEST_F(PrivateProfileTest, ReadsAsTheSystemReads) {
  Put(kProfile);
  for (const ReadCase& c : kReadCases) {
    EXPECT_EQ(ReadSetting(file_, c.section, c.key, c.fallback),
              SystemReadSetting(file_, c.section, c.key, c.fallback))
        << c.name;
  }
  for (std::size_t length : {10238u, 10239u, 10240u, 50000u}) {
    Put("[s]\r\nk=" + std::string(length, 'v') + "\r\n");
    EXPECT_EQ(ReadSetting(file_, "s", "k"), SystemReadSetting(file_, "s", "k", "")) << length;
  }
}

// Where Wine's writer differs from ours, and why ours stays as it is. Windows itself edits the
// one line it writes and leaves the others alone, as ours does.
struct SystemDifference {
  const char* row;  // the name of a row of kWriteCases
  bool written;
  std::optional<std::string> file;
  const char* why;
};

const SystemDifference kWineDifferences[] = {
    {"adds a key before the blank lines of its section", true, "[a]\r\nk=1\r\nn=v\r\n[b]\r\nx=1\r\n",
     "Wine writes the file anew from what it parsed and drops the blank line between sections"},
    {"keeps other bytes", true, "; 注释 ?\r\n[a]\r\n说明=中文\r\nk=值\r\n",
     "Wine rewrites lines the call did not touch: blanks around names go, a stray byte becomes '?'"},
    {"omitted key deletes the section", true, "[b]\r\nx=2\r\n[A]\r\nj=3\r\n",
     "Wine deletes the first section of the name only; a read would then find the second one"},
    {"a line break in the value is refused", true, "[a]\r\nk=x\r\n[b]\r\n",
     "the system writes the break, and the value forges a section of its own"},
};

const SystemDifference* DifferenceFor(const char* row) {
  for (const SystemDifference& difference : kWineDifferences) {
    if (std::string_view(difference.row) == row) return &difference;
  }
  return nullptr;
}

// The system writes the same bytes as ours, or, where a row is listed above, what is listed.
TEST_F(PrivateProfileTest, WritesAsTheSystemWrites) {
  for (const WriteCase& c : kWriteCases) {
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
    if (c.before) Put(*c.before);
    const bool ours = WriteSetting(file_, c.section, c.key, c.value);
    const std::optional<std::string> ourFile = Contents();

    std::filesystem::remove(file_, ignored);
    if (c.before) Put(*c.before);
    const bool system = SystemWriteSetting(file_, c.section, c.key, c.value);
    const std::optional<std::string> systemFile = Contents();

    EXPECT_EQ(ours, c.written) << c.name;
    EXPECT_EQ(ourFile, c.after) << c.name;
    const SystemDifference* difference = DifferenceFor(c.name);
    if (difference != nullptr && (system != ours || systemFile != ourFile)) {
      EXPECT_EQ(system, difference->written) << c.name << ": " << difference->why;
      EXPECT_EQ(systemFile, difference->file) << c.name << ": " << difference->why;
    } else {
      EXPECT_EQ(system, ours) << c.name;
      EXPECT_EQ(systemFile, ourFile) << c.name;
    }
  }
}

}  // namespace
}  // namespace kestrin
