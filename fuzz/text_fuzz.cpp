// libFuzzer target: the fast text searches and edits against plain unit-by-unit versions.
// Built with clang, which writes literals only as UTF-8: keep every literal ASCII.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/reference_text.h"
#include "runtime/text_ops.h"
#include "web/between.h"

namespace {

using kestrin::Text;
using namespace kestrin::fuzz;

std::string RefReplace(const std::string& t, const std::string& f, const std::string& r, std::optional<int> start,
                       std::optional<int> count, bool caseSensitive) {
  std::size_t b = Offset(start);
  if (t.empty() || f.empty() || b >= t.size() || (count && *count == 0)) return t;
  long long left = (count && *count > 0) ? *count : -1;
  std::string out = t.substr(0, b);
  std::size_t p = b;
  while (t.size() - p >= f.size()) {
    if (Same(t, p, f, !caseSensitive)) {
      out += r;
      p += f.size();
      if (left > 0 && --left == 0) break;
      continue;
    }
    auto next = Step(t, p);
    if (!next) {
      p = t.size();  // the stray lead byte is dropped
      break;
    }
    out.append(t, p, *next - p);
    p = *next;
  }
  out.append(t, p, std::string::npos);
  return out;
}

std::vector<std::string> RefSplit(const std::string& t, const std::string& d, std::optional<int> most) {
  long long m = most ? (*most > 0 ? *most : 0) : -1;
  std::vector<std::string> out;
  if (t.empty() || m == 0) return out;
  if (d.empty()) return {t};
  std::size_t piece = 0, p = 0;
  while (t.size() - p >= d.size()) {
    if (Same(t, p, d, false)) {
      out.push_back(t.substr(piece, p - piece));
      p += d.size();
      piece = p;
      if (m > 0 && --m == 0) break;
      continue;
    }
    auto next = Step(t, p);
    if (!next) break;
    p = *next;
  }
  if (m != 0 && piece < t.size()) out.push_back(t.substr(piece));
  return out;
}

std::string RefRemoveAll(const std::string& t) {
  std::string out;
  for (std::size_t p = 0; p < t.size();) {
    auto next = Step(t, p);
    if (!next) break;
    if (!SpaceAt(t, p)) out.append(t, p, *next - p);
    p = *next;
  }
  return out;
}

std::string RefBetween(const std::string& t, const std::string& left, const std::string& right) {
  const std::string quoteWord = "#\xD2\xFD\xBA\xC5";
  const std::string l = RefReplace(left, quoteWord, "\"", std::nullopt, std::nullopt, true);
  const std::string r = RefReplace(right, quoteWord, "\"", std::nullopt, std::nullopt, true);
  int at = RefFind(t, l, std::nullopt, false);
  if (at == -1) return "";
  long long piece = at + static_cast<long long>(l.size());
  if (piece > static_cast<long long>(t.size())) return "";
  int end = RefFind(t, r, static_cast<int>(piece), false);
  if (end == -1 || end - piece <= 0) return "";
  return t.substr(static_cast<std::size_t>(piece - 1), static_cast<std::size_t>(end - piece));
}

std::optional<int> Number(std::uint8_t b) {
  if (b == 0) return std::nullopt;
  if (b == 1) return INT_MIN;
  if (b == 2) return INT_MAX;
  return static_cast<int>(b) - 40;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint8_t op = data[0], flags = data[1];
  const std::optional<int> start = Number(data[2]), count = Number(data[3]);
  std::size_t soughtLen = data[4] % 8, replLen = data[5] % 8;
  data += 6;
  size -= 6;
  // Texts never hold a NUL byte.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (auto& c : bytes) c = c == 0 ? 1 : c;
  soughtLen = soughtLen < bytes.size() ? soughtLen : bytes.size();
  const std::string sought = bytes.substr(0, soughtLen);
  bytes.erase(0, soughtLen);
  replLen = replLen < bytes.size() ? replLen : bytes.size();
  const std::string other = bytes.substr(0, replLen);
  const std::string text = bytes.substr(replLen);
  const bool fold = flags & 1;

  switch (op % 6) {
    case 0:
      Check(kestrin::FindText(text, sought, start, fold) == RefFind(text, sought, start, fold));
      break;
    case 1:
      Check(kestrin::FindTextBackward(text, sought, start, fold) == RefFindBackward(text, sought, start, fold));
      break;
    case 2:
      Check(kestrin::ReplaceText(text, sought, other, start, count, !fold) ==
            RefReplace(text, sought, other, start, count, !fold));
      break;
    case 3:
      Check(kestrin::SplitText(text, sought, count).Items() == RefSplit(text, sought, count));
      break;
    case 4: {
      const std::string lead = RefTrimLeading(text);
      Check(kestrin::TrimLeading(text) == lead);
      Check(kestrin::TrimTrailing(text) == RefTrimTrailing(text));
      Check(kestrin::TrimBoth(text) == RefTrimTrailing(lead));
      Check(kestrin::RemoveAllSpaces(text) == RefRemoveAll(text));
      break;
    }
    case 5:
      Check(kestrin::TextBetween(text, sought, other) == RefBetween(text, sought, other));
      break;
  }
  return 0;
}
