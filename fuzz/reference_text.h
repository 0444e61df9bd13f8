// Plain unit-by-unit versions of the text searches and trims, for fuzz targets to hold the fast
// ones to. Clang writes literals only as UTF-8: keep every literal ASCII.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin::fuzz {

// 0x80, the euro sign, is a unit of its own.
inline bool IsLead(unsigned char c) { return c >= 0x81; }
inline unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

inline bool Same(const std::string& t, std::size_t p, std::string_view s, bool fold) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char a = t[p + i], b = s[i];
    if (fold ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

// Next unit from p, or nothing when p holds a lead byte with no partner.
inline std::optional<std::size_t> Step(const std::string& t, std::size_t p) {
  if (!IsLead(t[p])) return p + 1;
  if (p + 1 == t.size()) return std::nullopt;
  return p + 2;
}

inline std::size_t Offset(std::optional<int> start) {
  if (!start) return 0;
  long long b = static_cast<long long>(*start) - 1;
  return b > 0 ? static_cast<std::size_t>(b) : 0;
}

// FindText: 1-based position of the first match at or after `start` on a unit boundary, or -1.
inline int RefFind(const std::string& t, const std::string& s, std::optional<int> start, bool fold) {
  std::size_t b = Offset(start);
  if (b >= t.size()) return -1;
  if (s.empty()) return 1;
  for (std::size_t p = b; t.size() - p >= s.size();) {
    if (Same(t, p, s, fold)) return static_cast<int>(p + 1);
    auto next = Step(t, p);
    if (!next) break;
    p = *next;
  }
  return -1;
}

// FindTextBackward: the last match lying wholly before `start`, or -1.
inline int RefFindBackward(const std::string& t, const std::string& s, std::optional<int> start, bool fold) {
  std::size_t region = start ? Offset(start) : t.size();
  if (region > t.size()) region = t.size();
  if (region == 0) return -1;
  if (s.empty()) return 1;
  int found = -1;
  for (std::size_t p = 0; p <= region && region - p >= s.size();) {
    if (Same(t, p, s, fold)) found = static_cast<int>(p + 1);
    auto next = Step(t, p);
    if (!next) break;
    p = *next;
  }
  return found;
}

// Whether a space unit (0x20 or the full-width A1 A1) starts at p.
inline bool SpaceAt(const std::string& t, std::size_t p) {
  unsigned char c = t[p];
  return c == 0x20 || (c == 0xA1 && p + 1 < t.size() && static_cast<unsigned char>(t[p + 1]) == 0xA1);
}

inline std::string RefTrimLeading(const std::string& t) {
  std::size_t p = 0;
  while (p < t.size() && SpaceAt(t, p)) p += t[p] == ' ' ? 1 : 2;
  return t.substr(p);
}

inline std::string RefTrimTrailing(const std::string& t) {
  std::size_t run = std::string::npos;
  for (std::size_t p = 0; p < t.size();) {
    auto next = Step(t, p);
    if (!next) return t.substr(0, p);
    if (SpaceAt(t, p)) {
      if (run == std::string::npos) run = p;
    } else {
      run = std::string::npos;
    }
    p = *next;
  }
  return run == std::string::npos ? t : t.substr(0, run);
}

inline std::string RefTrimBoth(const std::string& t) { return RefTrimTrailing(RefTrimLeading(t)); }

}  // namespace kestrin::fuzz
