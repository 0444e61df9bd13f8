#include "runtime/text_ops.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "runtime/byte_search.h"

namespace kestrin {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

constexpr unsigned char Byte(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }
// Code page 936 writes the euro sign as the single byte 0x80; only 0x81 and above start a pair.
// 0x80 may still be the second byte of a pair: either way it ends its unit, as ASCII bytes do.
constexpr bool IsLead(unsigned char c) { return c >= 0x81; }
constexpr bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// Byte offset where a 1-based start position begins; positions below 1 mean the first byte.
std::size_t StartOffset(std::optional<int> start) {
  if (!start) return 0;
  const long long offset = static_cast<long long>(*start) - 1;
  return offset > 0 ? static_cast<std::size_t>(offset) : 0;
}

int ToPosition(std::size_t offset) { return static_cast<int>(std::min<std::size_t>(offset + 1, INT_MAX)); }

// Whether `q` starts a unit of a walk known to be at a unit start at `origin` (origin <= q).
// A byte that is no lead byte always ends its unit, so the lead bytes between the last other byte
// (or origin) and q pair off from there: q is a start when there is an even number of them.
bool IsUnitStartFrom(std::string_view text, std::size_t origin, std::size_t q) {
  std::size_t j = q;
  while (j > origin && IsLead(Byte(text, j - 1))) --j;
  return (q - j) % 2 == 0;
}

// A rough guess at how often a byte turns up in a web page: the most frequent bytes of markup
// and English text first, capitals and the many GBK byte values rarer.
constexpr int AnchorCost(unsigned char c, bool ignoreCase) {
  constexpr std::string_view kByFrequency = " e<>\"=/tainsorlcdhp\r\nmu.-0123456789fgwybv:;_'\tkxjqz";
  if (IsLead(c)) return 2;
  const std::size_t rank = kByFrequency.find(static_cast<char>(ignoreCase ? Fold(c) : c));
  int cost = rank == std::string_view::npos ? 0 : static_cast<int>(kByFrequency.size() - rank);
  if (c >= 'A' && c <= 'Z' && !ignoreCase) cost = 1;
  if (IsAsciiLetter(c) && ignoreCase) cost += 1;  // either case stops the scan
  return cost;
}

// A search is set up once per call, many times over on one page: the costs are looked up.
struct AnchorCosts {
  int of[2][256];
};

constexpr AnchorCosts MakeAnchorCosts() {
  AnchorCosts costs{};
  for (int ignoreCase = 0; ignoreCase < 2; ++ignoreCase) {
    for (int c = 0; c < 256; ++c) costs.of[ignoreCase][c] = AnchorCost(static_cast<unsigned char>(c), ignoreCase != 0);
  }
  return costs;
}

constexpr AnchorCosts kAnchorCosts = MakeAnchorCosts();

// Finds `sought` only at unit starts of a walk, without walking every unit: candidates come from
// memchr on the sought byte least likely to occur (both cases of it when case is ignored) and
// are then checked against the unit boundary. The checks look back only as far as the last known
// unit start, so the boundary work stays linear in the text however the candidates fall. When the
// chosen byte keeps turning up without a match, an exact search hands over to the
// platform's byte search.
class UnitSearch {
 public:
  UnitSearch(std::string_view text, std::string_view sought, bool ignoreCase)
      : text_(text), sought_(sought), ignoreCase_(ignoreCase && HasLetter(sought)) {
    if (!sought_.empty()) PickAnchor();
  }

  // Offset of the first match at or after `from`, which the walk takes as a unit start; kNone.
  std::size_t Next(std::size_t from) {
    sync_ = from;
    if (origin_ == kNone) origin_ = from;
    if (sought_.empty() || from > text_.size() || text_.size() - from < sought_.size()) return kNone;
    const std::size_t last = text_.size() - sought_.size();
    const std::size_t hi = last + anchor_ + 1;
    std::size_t pos = from;
    while (pos <= last) {
      if (useMemmem_) return NextByMemmem(pos);
      const std::size_t lo = pos + anchor_;
      Seek(first_, anchorA_, lo, hi);
      std::size_t r = first_.at;
      bool found = first_.found;
      if (anchorB_ != anchorA_) {
        Seek(second_, anchorB_, lo, hi);
        if (second_.at < r || (second_.at == r && second_.found)) r = second_.at, found = second_.found;
      }
      if (r >= hi) return kNone;
      if (!found) {  // no anchor byte before r: scan on from there
        pos = r - anchor_;
        continue;
      }
      const std::size_t q = r - anchor_;
      if (Matches(q) && AtUnitStart(q)) return q;
      pos = q + 1;
      if (!ignoreCase_ && sought_.size() > 1 && ++misses_ >= kMissesToTrust && q - origin_ < misses_ * kMissSpacing) {
        useMemmem_ = true;
      }
    }
    return kNone;
  }

 private:
  static constexpr std::size_t kMissesToTrust = 64;
  static constexpr std::size_t kMissSpacing = 32;  // bytes per false candidate below which the byte search wins

  static constexpr std::size_t kFirstWindow = 256;

  // What a scan for one anchor byte learnt: [from, at) does not hold it, and `at` does when
  // `found`. It stays true for later starts, so later searches of the same text reuse it.
  struct NextByte {
    std::size_t from = 0;
    std::size_t at = 0;
    std::size_t window = kFirstWindow;
    bool found = false;
    bool known = false;
  };

  static bool HasLetter(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return IsAsciiLetter(static_cast<unsigned char>(c)); });
  }

  void PickAnchor() {
    const int* const costOf = kAnchorCosts.of[ignoreCase_ ? 1 : 0];
    int best = INT_MAX;
    for (std::size_t i = 0; i < sought_.size(); ++i) {
      const int cost = costOf[Byte(sought_, i)];
      if (cost < best) best = cost, anchor_ = i;
    }
    anchorA_ = anchorB_ = Byte(sought_, anchor_);
    if (ignoreCase_ && IsAsciiLetter(anchorA_)) {
      anchorA_ = Fold(anchorA_);
      anchorB_ = static_cast<unsigned char>(anchorA_ - 32);
    }
  }

  // Brings `next` up to date for a search from lo: the first offset in [lo, hi) holding c, or a
  // point up to which none does (hi when none does at all). A scan reads a window that doubles
  // whenever it comes up empty: a byte that is rare (the other case of a letter, say) is then
  // not looked for to the end of the text on every search that ends close to its start, and
  // still no byte is read twice by one search.
  void Seek(NextByte& next, unsigned char c, std::size_t lo, std::size_t hi) const {
    if (next.known && next.from <= lo && (lo < next.at || (next.found && lo == next.at))) return;
    const std::size_t end = hi - lo > next.window ? lo + next.window : hi;
    const void* hit = std::memchr(text_.data() + lo, c, end - lo);
    next.from = lo;
    next.known = true;
    next.found = hit != nullptr;
    if (next.found) {
      next.at = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
    } else {
      next.at = end;
      if (next.window <= hi) next.window *= 2;
    }
  }

  bool Matches(std::size_t q) const {
    if (!ignoreCase_) return std::memcmp(text_.data() + q, sought_.data(), sought_.size()) == 0;
    for (std::size_t i = 0; i < sought_.size(); ++i) {
      if (Fold(Byte(text_, q + i)) != Fold(Byte(sought_, i))) return false;
    }
    return true;
  }

  // Moves the known unit start forward past q; valid for q >= sync_.
  bool AtUnitStart(std::size_t q) {
    const bool start = IsUnitStartFrom(text_, sync_, q);
    sync_ = start ? q : q + 1;  // not a start: q is the second byte of a pair
    return start;
  }

  std::size_t NextByMemmem(std::size_t pos) {
    while (text_.size() - pos >= sought_.size()) {
      const char* hit = FindBytes(text_.data() + pos, text_.size() - pos, sought_.data(), sought_.size());
      if (hit == nullptr) return kNone;
      const std::size_t q = static_cast<std::size_t>(hit - text_.data());
      if (AtUnitStart(q)) return q;
      pos = q + 1;
    }
    return kNone;
  }

  std::string_view text_;
  std::string_view sought_;
  bool ignoreCase_;
  std::size_t anchor_ = 0;
  unsigned char anchorA_ = 0;
  unsigned char anchorB_ = 0;
  std::size_t sync_ = 0;
  std::size_t origin_ = kNone;
  std::size_t misses_ = 0;
  bool useMemmem_ = false;
  NextByte first_;
  NextByte second_;
};

bool IsSpaceUnit(std::string_view text, std::size_t p) {
  const unsigned char c = Byte(text, p);
  if (c == 0x20) return true;
  return c == 0xA1 && p + 1 < text.size() && Byte(text, p + 1) == 0xA1;
}

}  // namespace

int TextLength(const Text& text) { return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX)); }

Text LeftText(const Text& text, int n) {
  if (n <= 0) return {};
  return text.substr(0, std::min<std::size_t>(static_cast<std::size_t>(n), text.size()));
}

Text RightText(const Text& text, int n) {
  if (n <= 0) return {};
  const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), text.size());
  return text.substr(text.size() - take);
}

Text MidText(const Text& text, int start, int n) {
  const long long p = static_cast<long long>(start) - 1;
  if (p < 0 || static_cast<unsigned long long>(p) >= text.size() || n <= 0) return {};
  return text.substr(static_cast<std::size_t>(p), static_cast<std::size_t>(n));
}

namespace {

// FindText's answer from `start`; `search` gives the unit search, made only when a scan is due.
template <typename MakeSearch>
int FindFrom(std::string_view text, std::string_view sought, std::optional<int> start, MakeSearch&& search) {
  const std::size_t b = StartOffset(start);
  if (b >= text.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t q = search().Next(b);
  return q == kNone ? -1 : ToPosition(q);
}

}  // namespace

int FindText(std::string_view text, std::string_view sought, std::optional<int> start, bool ignoreCase) {
  return FindFrom(text, sought, start, [&] { return UnitSearch(text, sought, ignoreCase); });
}

class TextFinder::Search {
 public:
  Search(std::string_view text, std::string_view sought, bool ignoreCase)
      : text(text), sought(sought), units(text, sought, ignoreCase) {}

  std::string_view text;
  std::string_view sought;
  UnitSearch units;
};

TextFinder::TextFinder(std::string_view text, std::string_view sought, bool ignoreCase)
    : search_(std::make_unique<Search>(text, sought, ignoreCase)) {}

TextFinder::~TextFinder() = default;

int TextFinder::Find(std::optional<int> start) {
  return FindFrom(search_->text, search_->sought, start, [this]() -> UnitSearch& { return search_->units; });
}

bool StartsWithText(std::string_view text, std::string_view prefix, bool ignoreCase) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const unsigned char a = Byte(text, i);
    const unsigned char b = Byte(prefix, i);
    if (a != b && !(ignoreCase && Fold(a) == Fold(b))) return false;
  }
  return true;
}

int FindTextBackward(std::string_view text, std::string_view sought, std::optional<int> start, bool ignoreCase) {
  // Occurrences must end before `start`; the walk still counts units from the first byte.
  const std::string_view region = text.substr(0, start ? StartOffset(start) : text.size());
  if (region.empty()) return -1;
  if (sought.empty()) return 1;
  UnitSearch search(region, sought, ignoreCase);
  std::size_t lastMatch = kNone;
  std::size_t from = 0;
  for (;;) {
    const std::size_t q = search.Next(from);
    if (q == kNone) break;
    lastMatch = q;
    from = q + (IsLead(Byte(region, q)) ? 2 : 1);
    if (from > region.size()) break;
  }
  return lastMatch == kNone ? -1 : ToPosition(lastMatch);
}

Text ReplaceText(const Text& text, std::string_view sought, std::string_view replacement, std::optional<int> start,
                 std::optional<int> count, bool caseSensitive) {
  const std::size_t b = StartOffset(start);
  if (text.empty() || sought.empty() || b >= text.size() || (count && *count == 0)) return text;
  long long remaining = (count && *count > 0) ? *count : -1;

  Text out;
  out.reserve(text.size());
  out.append(text, 0, b);
  UnitSearch search(text, sought, !caseSensitive);
  std::size_t p = b;
  for (;;) {
    const std::size_t q = search.Next(p);
    if (q == kNone) break;
    out.append(text, p, q - p);
    out.append(replacement);
    p = q + sought.size();
    if (remaining > 0 && --remaining == 0) {
      out.append(text, p, Text::npos);
      return out;
    }
  }
  // A one-byte search compares every unit up to the end, and a stray lead byte there, which it
  // cannot copy as a pair, is left out.
  const std::size_t last = text.size() - 1;
  if (sought.size() == 1 && p <= last && IsLead(Byte(text, last)) && IsUnitStartFrom(text, p, last)) {
    out.append(text, p, last - p);
  } else {
    out.append(text, p, Text::npos);
  }
  return out;
}

namespace {

constexpr std::size_t kPartsBeforeEstimate = 64;

// A long split would move its parts at every doubling of the vector: once the first parts have
// shown how long parts are, room is made for as many more as the rest of the text should hold.
// The guess never reserves more than a part for every 32 bytes left, so a text whose first parts
// are short and the rest one long part costs no more memory than its own size.
void ReserveForTheRest(std::vector<Text>& parts, std::size_t textSize, std::size_t consumed,
                       std::optional<int> mostParts) {
  const std::size_t rest = textSize - consumed;
  const std::size_t expected = rest / (consumed / parts.size() + 1);
  std::size_t more = std::min(expected + expected / 8 + 1, rest / 32 + 1);
  if (mostParts) more = std::min(more, static_cast<std::size_t>(*mostParts) - parts.size());
  parts.reserve(parts.size() + more);
}

}  // namespace

TextArray SplitText(const Text& text, std::string_view delimiter, std::optional<int> mostParts) {
  long long left = mostParts ? std::max(*mostParts, 0) : -1;
  if (text.empty() || left == 0) return {};
  if (delimiter.empty()) return TextArray({text});

  std::vector<Text> parts;
  UnitSearch search(text, delimiter, false);
  std::size_t pieceStart = 0;
  for (;;) {
    const std::size_t q = search.Next(pieceStart);
    if (q == kNone) break;
    if (parts.size() == kPartsBeforeEstimate) ReserveForTheRest(parts, text.size(), pieceStart, mostParts);
    parts.emplace_back(text, pieceStart, q - pieceStart);
    pieceStart = q + delimiter.size();
    if (left > 0 && --left == 0) break;
  }
  if (left != 0 && pieceStart < text.size()) parts.emplace_back(text, pieceStart, Text::npos);
  return TextArray(std::move(parts));
}

namespace {

std::string_view TrimLeadingView(std::string_view text) {
  std::size_t p = 0;
  while (p < text.size() && IsSpaceUnit(text, p)) p += Byte(text, p) == 0x20 ? 1 : 2;
  return text.substr(p);
}

std::string_view TrimTrailingView(std::string_view text) {
  // A last byte that is no lead byte nor a space ends a unit that is no space, alone or as the
  // second byte of a pair, and is no stray lead byte: nothing goes, and the walk is not needed.
  if (!text.empty() && !IsLead(Byte(text, text.size() - 1)) && Byte(text, text.size() - 1) != 0x20) return text;
  std::size_t runStart = kNone;
  std::size_t p = 0;
  while (p < text.size()) {
    if (IsLead(Byte(text, p)) && p + 1 == text.size()) {
      // A stray lead byte at the end goes alone; the spaces before it stay.
      return text.substr(0, p);
    }
    if (IsSpaceUnit(text, p)) {
      if (runStart == kNone) runStart = p;
    } else {
      runStart = kNone;
    }
    p += IsLead(Byte(text, p)) ? 2 : 1;
  }
  return runStart == kNone ? text : text.substr(0, runStart);
}

}  // namespace

Text TrimLeading(const Text& text) { return Text(TrimLeadingView(text)); }

Text TrimTrailing(const Text& text) { return Text(TrimTrailingView(text)); }

// The leading cut ends at a unit start, where the trailing walk must begin.
std::string_view TrimBothView(std::string_view text) { return TrimTrailingView(TrimLeadingView(text)); }

Text TrimBoth(const Text& text) { return Text(TrimBothView(text)); }

// Copies `text` unit by unit: one-byte units through `single` (false drops the byte), two-byte
// units through `pair`, which appends what stands for them. A stray lead byte at the end cannot
// be copied as a unit and ends the copy.
template <typename Single, typename Pair>
Text CopyUnits(const Text& text, Single single, Pair pair) {
  Text out;
  out.reserve(text.size());
  std::size_t p = 0;
  while (p < text.size()) {
    const unsigned char c = Byte(text, p);
    if (!IsLead(c)) {
      if (single(c)) out.push_back(static_cast<char>(c));
      ++p;
      continue;
    }
    if (p + 1 == text.size()) break;
    pair(out, c, Byte(text, p + 1));
    p += 2;
  }
  return out;
}

Text RemoveAllSpaces(const Text& text) {
  return CopyUnits(
      text, [](unsigned char c) { return c != 0x20; },
      [](Text& out, unsigned char c, unsigned char c2) {
        if (!(c == 0xA1 && c2 == 0xA1)) out.append({static_cast<char>(c), static_cast<char>(c2)});
      });
}

Text ToLowerCase(const Text& text) {
  Text out = text;
  std::size_t p = 0;
  while (p < out.size()) {
    const unsigned char c = Byte(out, p);
    if (IsLead(c)) {
      p += 2;  // past the end for a stray lead byte, which stays as it is
      continue;
    }
    if (c >= 'A' && c <= 'Z') out[p] = static_cast<char>(c + 32);
    ++p;
  }
  return out;
}

Text ToHalfWidth(const Text& text) {
  return CopyUnits(
      text, [](unsigned char) { return true; },
      [](Text& out, unsigned char c, unsigned char c2) {
        if (c == 0xA3 && c2 >= 0xA1 && c2 <= 0xFE) {
          out.push_back(static_cast<char>(c2 & 0x7F));
        } else if (c == 0xA1 && c2 == 0xA1) {
          out.push_back(' ');
        } else if (c == 0xA1 && c2 == 0xAB) {
          out.push_back('~');
        } else if (c == 0xA1 && (c2 == 0xEE || c2 == 0xEF)) {
          out.push_back('*');
        } else {
          out.append({static_cast<char>(c), static_cast<char>(c2)});
        }
      });
}

Text CharText(int code) {
  const char c = static_cast<char>(static_cast<unsigned>(code) & 0xFFu);
  return c == 0 ? Text() : Text(1, c);
}

Text SpaceText(int n) { return n < 1 ? Text() : Text(static_cast<std::size_t>(n), ' '); }

int ToInteger(const Text& text) {
  const Text half = ToHalfWidth(text);
  std::size_t p = 0;
  // atoi's white space, in the C locale
  while (p < half.size() && std::strchr(" \t\n\v\f\r", half[p]) != nullptr) ++p;
  bool negative = false;
  if (p < half.size() && (half[p] == '+' || half[p] == '-')) negative = half[p++] == '-';
  long long value = 0;
  constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;
  for (; p < half.size() && half[p] >= '0' && half[p] <= '9'; ++p) {
    value = std::min(value * 10 + (half[p] - '0'), kCap);
  }
  if (negative) return static_cast<int>(-value);  // -kCap is INT_MIN
  return static_cast<int>(std::min<long long>(value, INT_MAX));
}

Text ToText(int value) { return std::to_string(value); }
Text ToText(std::int64_t value) { return std::to_string(value); }

Text ToText(double value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.13g", value);
  return Text(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

Text ToText(float value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(value));
  return Text(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

Text ToText(bool value) { return value ? "真" : "假"; }

Text ToText(const ByteBuffer& value) {
  const auto nul = std::find(value.begin(), value.end(), std::uint8_t{0});
  return Text(value.begin(), nul);
}

ByteBuffer ToByteBuffer(const Text& text) { return ByteBuffer(text.begin(), text.end()); }

int ByteBufferLength(const ByteBuffer& buffer) {
  return static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
}

ByteBuffer LeftBytes(const ByteBuffer& buffer, int n) {
  if (n < 0) return {};
  const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), buffer.size());
  return ByteBuffer(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(take));
}

ByteBuffer ZeroBytes(int n) { return n <= 0 ? ByteBuffer() : ByteBuffer(static_cast<std::size_t>(n), 0); }

}  // namespace kestrin
