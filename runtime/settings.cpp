#include "runtime/settings.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/settings_file.h"

namespace kestrin {
namespace {

constexpr std::size_t kMostValueBytes = 10239;

// Writers in one process take turns, so that two read-modify-write rounds cannot lose an update.
std::mutex g_writeLock;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view SkipLeadingControls(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  return s;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letters match in any case; both bytes of a two-byte character must match exactly, since
// its second byte may look like a letter. 0x80 (the euro sign) is a character of one byte.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (static_cast<unsigned char>(a[i]) >= 0x81) {
      if (a[i] != b[i]) return false;
      if (++i < a.size() && a[i] != b[i]) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  std::string_view raw;  // without its line end
  LineKind kind = LineKind::kOther;
  std::string_view name;
  std::string_view value;
};

Line ClassifyLine(std::string_view raw) {
  Line line;
  line.raw = raw;
  std::string_view body = Trim(raw);
  if (body.empty()) return line;
  if (body.front() == '[') {
    std::size_t close = body.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      line.kind = LineKind::kSection;
      line.name = Trim(body.substr(1, close - 1));
      return line;
    }
  }
  line.kind = LineKind::kKey;
  std::size_t equals = body.find('=');
  line.name = Trim(body.substr(0, equals));
  if (equals != std::string_view::npos) line.value = Trim(body.substr(equals + 1));
  return line;
}

// Lines end in LF or CR LF; a last line without an end still counts.
std::vector<Line> ParseProfile(std::string_view content) {
  std::vector<Line> lines;
  while (!content.empty()) {
    std::size_t end = content.find('\n');
    std::string_view raw = content.substr(0, end);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    lines.push_back(ClassifyLine(raw));
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return lines;
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
  std::size_t end = header + 1;
  while (end < lines.size() && lines[end].kind != LineKind::kSection) ++end;
  return end;
}

std::size_t FindSection(const std::vector<Line>& lines, std::string_view section, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kSection && SameName(lines[i].name, section)) return i;
  }
  return lines.size();
}

std::size_t FindKey(const std::vector<Line>& lines, std::size_t header, std::string_view key) {
  std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].kind == LineKind::kKey && SameName(lines[i].name, key)) return i;
  }
  return end;
}

// Surrounding quotes of either kind are not part of the value, as on Windows.
std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

Text ReadSetting(const Text& file, const Text& section, const Text& key, const Text& fallback) {
  const std::string_view fileName = SkipLeadingControls(file);
  const std::string_view sectionName = Trim(SkipLeadingControls(section));
  const std::string_view keyName = Trim(SkipLeadingControls(key));
  if (fileName.empty() || SkipLeadingControls(section).empty() || SkipLeadingControls(key).empty()) {
    return Text();
  }

  const FileContent profile = ReadWholeFile(std::string(fileName));
  if (profile.state != FileState::kRead) return fallback;
  const std::vector<Line> lines = ParseProfile(profile.bytes);
  const std::size_t header = FindSection(lines, sectionName);
  if (header == lines.size()) return fallback;
  const std::size_t at = FindKey(lines, header, keyName);
  if (at == SectionEnd(lines, header)) return fallback;

  std::string_view value = StripQuotes(lines[at].value);
  return MakeText(value.substr(0, kMostValueBytes));
}

bool WriteSetting(const Text& file, const Text& section, std::optional<Text> key, std::optional<Text> value) {
  if (file.empty()) return false;
  // A line break would let a value (it may come from a web page) forge lines of its own.
  if (HasLineBreak(section) || (key && HasLineBreak(*key)) || (value && HasLineBreak(*value))) return false;

  std::lock_guard lock(g_writeLock);
  const FileContent old = ReadWholeFile(file);
  if (old.state == FileState::kFailed) return false;
  const std::vector<Line> lines = ParseProfile(old.bytes);
  const std::string_view sectionName = Trim(section);

  std::vector<std::string> kept;
  kept.reserve(lines.size() + 2);
  bool changed = false;

  if (!key || !value) {
    // Deleting removes every copy, so that no later read finds one that was hidden behind it.
    for (std::size_t i = 0; i < lines.size();) {
      if (lines[i].kind == LineKind::kSection && SameName(lines[i].name, sectionName)) {
        std::size_t end = SectionEnd(lines, i);
        if (!key) {
          changed = true;
          i = end;
          continue;
        }
        const std::string_view keyName = Trim(*key);
        for (; i < end; ++i) {
          if (lines[i].kind == LineKind::kKey && SameName(lines[i].name, keyName)) {
            changed = true;
          } else {
            kept.emplace_back(lines[i].raw);
          }
        }
        continue;
      }
      kept.emplace_back(lines[i].raw);
      ++i;
    }
    // Nothing to delete: the file is left as it is, and not created.
    if (!changed) return true;
  } else {
    for (const Line& line : lines) kept.emplace_back(line.raw);
    const std::size_t header = FindSection(lines, sectionName);
    if (header == lines.size()) {
      kept.push_back("[" + section + "]");
      kept.push_back(*key + "=" + *value);
    } else {
      const std::size_t at = FindKey(lines, header, Trim(*key));
      const std::size_t end = SectionEnd(lines, header);
      if (at < end) {
        kept[at] = std::string(lines[at].name) + "=" + *value;
      } else {
        // After the section's last entry, before the blank lines that set off the next section.
        std::size_t insert = end;
        while (insert > header + 1 && lines[insert - 1].kind == LineKind::kOther) --insert;
        kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insert), *key + "=" + *value);
      }
    }
  }

  std::string output;
  for (const std::string& line : kept) {
    output += line;
    output += "\r\n";
  }
  return ReplaceFileContent(file, output);
}

}  // namespace kestrin
