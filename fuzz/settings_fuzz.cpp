// libFuzzer target: the settings-file reader on any file content. Reading never fails and gives
// a value of at most 10239 bytes; writing one key leaves every other key's value as it was and
// reads back as written.
// Input: one byte each for the section and key lengths, the section, the key, then the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/settings.h"

namespace {

// In memory where the system has it: the writer syncs every file it writes.
const std::string& FilePath() {
  static const std::string path =
      (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/kestrin_settings_fuzz_") +
      std::to_string(getpid()) + ".ini";
  return path;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

// Whether the reader takes `name` for the section `mine`: it skips control bytes and spaces
// before a name, blanks after it, and ignores ASCII case.
bool NamesSection(std::string name, const std::string& mine) {
  while (!name.empty() && static_cast<unsigned char>(name.front()) <= 0x20) name.erase(0, 1);
  while (!name.empty() && static_cast<unsigned char>(name.back()) <= 0x20) name.pop_back();
  if (name.size() != mine.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(name[i]) != fold(mine[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t sectionLength = data[0] % 12, keyLength = data[1] % 12;
  std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  sectionLength = std::min(sectionLength, bytes.size());
  const std::string section = bytes.substr(0, sectionLength);
  bytes.erase(0, sectionLength);
  keyLength = std::min(keyLength, bytes.size());
  const std::string key = bytes.substr(0, keyLength);
  const std::string content = bytes.substr(keyLength);

  const std::string& path = FilePath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);

  const kestrin::Text before = kestrin::ReadSetting(path, section, key, "-fallback-");
  Check(before.size() <= 10239 || before == "-fallback-");

  // A section of the program's own kind of name, which the fuzzed names may or may not hit.
  const std::string mine = "kestrin";
  Check(kestrin::WriteSetting(path, mine, std::string("version"), std::string("v1.1")));
  Check(kestrin::ReadSetting(path, mine, "version") == "v1.1");
  if (!NamesSection(section, mine)) {
    Check(kestrin::ReadSetting(path, section, key, "-fallback-") == before);
  }
  std::remove(path.c_str());
  return 0;
}
