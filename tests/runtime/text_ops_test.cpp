#include "runtime/text_ops.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/runtime/death_report.h"

namespace kestrin {
namespace {

using std::nullopt;

// "啊" is B0 A1: a pair whose second byte is itself in the lead range.
constexpr const char* kAh = "\xB0\xA1";
constexpr const char* kFullSpace = "\xA1\xA1";

struct CutCase {
  const char* name;
  Text (*cut)(const Text&, int, int);
  const char* text;
  int start;
  int n;
  const char* expected;
};

Text Left(const Text& t, int, int n) { return LeftText(t, n); }
Text Right(const Text& t, int, int n) { return RightText(t, n); }
Text Mid(const Text& t, int start, int n) { return MidText(t, start, n); }

TEST(TextCutTest, ClampsInsteadOfFailing) {
  const CutCase cases[] = {
      {"left longer than text", Left, "abc", 0, 10, "abc"},
      {"left negative", Left, "abc", 0, INT_MIN, ""},
      {"left cuts a pair in half", Left, "\xB0\xA1x", 0, 1, "\xB0"},
      {"right zero", Right, "abc", 0, 0, ""},
      {"right huge", Right, "abc", 0, INT_MAX, "abc"},
      {"mid runs off the end", Mid, "abcdef", 5, 10, "ef"},
      {"mid from zero", Mid, "abc", 0, 2, ""},
      {"mid from past the end", Mid, "abc", 4, 1, ""},
      {"mid start INT_MIN", Mid, "abc", INT_MIN, 2, ""},
      {"mid start INT_MAX", Mid, "abc", INT_MAX, 2, ""},
      {"mid count INT_MAX", Mid, "abc", 2, INT_MAX, "bc"},
      {"mid count negative", Mid, "abc", 1, -1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.cut(c.text, c.start, c.n), c.expected) << c.name;
  }
}

struct FindCase {
  const char* name;
  std::string text;
  std::string sought;
  std::optional<int> start;
  bool ignoreCase;
  int forward;
};

TEST(FindTextTest, PositionsAndBoundaries) {
  const FindCase cases[] = {
      {"first comma", "a,b,c", ",", nullopt, false, 2},
      {"empty sought in text", "abc", "", nullopt, false, 1},
      {"empty sought with start gives 1, not start", "abc", "", 3, false, 1},
      {"empty sought past the end", "abc", "", 4, false, -1},
      {"empty in empty", "", "", nullopt, false, -1},
      {"start after the last match", "abc", "c", 4, false, -1},
      {"start skips a match", "abcabc", "a", 2, false, 4},
      {"start 0 searches all", "abcabc", "a", 0, false, 1},
      {"start INT_MIN searches all", "abcabc", "a", INT_MIN, false, 1},
      {"start INT_MAX", "abcabc", "a", INT_MAX, false, -1},
      {"match at the very end", "xxab", "ab", nullopt, false, 3},
      {"header name any case", "Host: a\r\nUser-Agent: x", "user-agent:", nullopt, true, 10},
      {"header name exact case fails", "Host: a\r\nUser-Agent: x", "user-agent:", nullopt, false, -1},
      {"no fold outside letters", "[", "{", nullopt, true, -1},
      {"second byte of a pair is not a start", kAh, "\xA1", nullopt, false, -1},
      {"ascii second byte is skipped", "\xB0" "Ax" "A", "A", nullopt, false, 4},
      {"ascii second byte skipped ignoring case", "\xB0" "ax" "A", "a", nullopt, true, 4},
      {"second byte folds when ignoring case", "\xB0" "A", "\xB0" "a", nullopt, true, 1},
      {"pair found at a start", "x\xB0\xA1\xB0\xA1", "\xA1\xB0", nullopt, false, -1},
      {"pair found whole", "x\xB0\xA1\xB0\xA1", kAh, nullopt, false, 2},
      {"start on a second byte begins a unit", "\xB0\xA1\xA1\xB0", "\xA1\xB0", 2, false, -1},
      {"start on a second byte matches there", "\xB0\xA1\xA1\xB0", "\xA1\xA1", 2, false, 2},
      {"stray lead byte at the end is compared", "ab\xB0", "\xB0", nullopt, false, 3},
      {"even run of lead bytes before", std::string(9, '\xB0') + "Z", "\xB0Z", nullopt, false, 9},
      {"odd run of lead bytes before", std::string(8, '\xB0') + "Z", "\xB0Z", nullopt, false, -1},
      {"match after a rejected candidate", "\xC4\xB0\xA1x\xB0\xA1", kAh, nullopt, false, 5},
      {"many near misses, then a split pair", [] { std::string t; for (int i = 0; i < 200; ++i) t += "xa";
                                                   return t + "\xB0xbxb"; }(), "xb", nullopt, false, 404},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.forward) << c.name;
  }
}

TEST(StartsWithTextTest, PrefixesInEitherCase) {
  struct Case {
    const char* text;
    const char* prefix;
    bool ignoreCase;
    bool starts;
  };
  const Case cases[] = {
      {"HTTPS://shop", "https", true, true},
      {"HTTPS://shop", "https", false, false},
      {"http", "https", true, false},      // shorter than the prefix
      {"abc", "", false, true},
      {"\xB0\x41x", "\xB0\x61", true, true},  // a second byte in A..Z folds, as in the searches
      {"x\xB0\xA1", "x\xB0\xA2", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.prefix);
    EXPECT_EQ(StartsWithText(c.text, c.prefix, c.ignoreCase), c.starts);
  }
}

TEST(FindTextBackwardTest, LastOccurrenceWhollyBeforeStart) {
  const FindCase cases[] = {
      {"last comma", "a,b,c", ",", nullopt, false, 4},
      {"occurrence at start does not count", "a,b,c", ",", 4, false, 2},
      {"start 1 is empty", "a,b,c", ",", 1, false, -1},
      {"start below 1 is empty", "a,b,c", ",", INT_MIN, false, -1},
      {"start beyond the end", "a,b,c", ",", INT_MAX, false, 4},
      {"empty sought", "abc", "", nullopt, false, 1},
      {"overlapping matches, last wins", "aaaa", "aa", nullopt, false, 3},
      {"port colon", "host:8080", ":", nullopt, false, 5},
      {"must end before start", "xyab", "ab", 4, false, -1},
      {"units counted from the first byte", "x\xB0\xA1\xB0\xA1", "\xA1\xB0", nullopt, false, -1},
      {"ignore case", "Set-Cookie: a\r\nset-cookie: b", "SET-COOKIE", nullopt, true, 16},
      {"stray lead byte at the end", "\xB0x\xB0", "\xB0", nullopt, false, 3},
      {"second byte never matches", "x\xB0\xB0", "\xB0", nullopt, false, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTextBackward(c.text, c.sought, c.start, c.ignoreCase), c.forward) << c.name;
  }
}

// The plain unit walk, one candidate at a time: the searches must agree with it on any bytes.
int WalkFind(const std::string& t, const std::string& s, std::size_t b, bool fold, bool last) {
  auto eq = [&](std::size_t p) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      unsigned char x = t[p + i], y = s[i];
      if (fold) x = (x >= 'A' && x <= 'Z') ? x + 32 : x, y = (y >= 'A' && y <= 'Z') ? y + 32 : y;
      if (x != y) return false;
    }
    return true;
  };
  int found = -1;
  for (std::size_t p = b; t.size() - p >= s.size();) {
    if (eq(p)) {
      found = static_cast<int>(p + 1);
      if (!last) return found;
    }
    if (static_cast<unsigned char>(t[p]) <= 0x80) {
      ++p;
    } else if (p + 1 == t.size()) {
      break;
    } else {
      p += 2;
    }
  }
  return found;
}

TEST(FindTextTest, AgreesWithUnitWalkOnRandomBytes) {
  std::mt19937 rng(20261207);
  const char alphabet[] = {'a', 'A', 'b', '\xB0', '\xA1', '\xC4', '\x80', ' '};
  auto random = [&](std::size_t max) {
    std::string s(rng() % (max + 1), ' ');
    for (auto& ch : s) ch = alphabet[rng() % sizeof alphabet];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    // Now and then a long text, where near misses pile up.
    const std::string text = random(round % 10 == 0 ? 600 : 40), sought = random(3);
    if (sought.empty() || text.empty()) continue;
    const bool fold = round % 2 == 1;
    const int start = static_cast<int>(rng() % (text.size() + 2));
    const std::size_t b = start > 0 ? start - 1 : 0;
    const int forward = b >= text.size() ? -1 : WalkFind(text, sought, b, fold, false);
    ASSERT_EQ(FindText(text, sought, start, fold), forward) << "round " << round;
    const std::string region = text.substr(0, b);
    const int backward = region.empty() ? -1 : WalkFind(region, sought, 0, fold, true);
    ASSERT_EQ(FindTextBackward(text, sought, start, fold), backward) << "round " << round;
  }
}

// Code page 936 writes the euro sign as the one byte 0x80: it must not swallow the byte after it.
// As the second byte of a pair it stays part of that pair.
TEST(EuroSignTest, IsAUnitOfItsOwn) {
  EXPECT_EQ(FindText("v1.1\x80|", "|"), 6);
  EXPECT_EQ(FindText("\x80\x80" "a", "a"), 3);
  EXPECT_EQ(FindText("\x81\x80|", "\x80"), -1);
  EXPECT_EQ(FindText("\x81\x80\x80|", "\x80|"), 3);
  EXPECT_EQ(FindTextBackward("a|\x80|", "|"), 4);
  EXPECT_EQ(SplitText("\x80,\x81,,", ",").Items(), (std::vector<Text>{"\x80", "\x81,"}));
  EXPECT_EQ(ReplaceText("\x80" "A\x80", "a", "b", nullopt, nullopt, false), "\x80" "b\x80");
  EXPECT_EQ(TrimBoth(" \x80 "), "\x80");
  EXPECT_EQ(TrimTrailing("ab \x80"), "ab \x80");
  EXPECT_EQ(ToLowerCase("\x80" "A\x81" "A"), "\x80" "a\x81" "A");
}

// A finder keeps what it learnt of the text between searches; the answers must not depend on
// it, from starts that go forward, stay, or go back.
TEST(TextFinderTest, AnswersAsFindTextFromAnyStart) {
  const std::string far = std::string(1000, 'x') + "F" + std::string(600, 'x') + "f";
  const struct {
    const char* name;
    std::string text;
    std::string sought;
    bool ignoreCase;
    std::vector<std::pair<int, int>> startsAndPositions;
  } cases[] = {
      {"other case far past the first scan", far, "f", true, {{1, 1001}, {500, 1001}, {1001, 1001}, {1002, 1602}}},
      {"going back finds the earlier match again", far, "f", true, {{1200, 1602}, {1, 1001}, {1603, -1}, {2, 1001}}},
      {"exact case skips the other", far, "f", false, {{1, 1602}, {1602, 1602}, {1, 1602}}},
      {"one pair, found from each side of it", "ab\xB0\xA1" "c\xB0\xA1", kAh, false, {{1, 3}, {4, 6}, {3, 3}, {7, -1}}},
      {"a start on a second byte begins a unit", "\xB0\xA1\xA1\xB0", "\xA1\xA1", false, {{1, -1}, {2, 2}, {1, -1}}},
      {"empty sought", "abc", "", false, {{3, 1}, {4, -1}, {1, 1}}},
  };
  for (const auto& c : cases) {
    TextFinder finder(c.text, c.sought, c.ignoreCase);
    for (const auto& [start, position] : c.startsAndPositions) {
      EXPECT_EQ(finder.Find(start), position) << c.name << ", from " << start;
    }
  }
}

TEST(TextFinderTest, AgreesWithUnitWalkOnRandomBytes) {
  std::mt19937 rng(7);
  // Capitals are rare, so that the scans for them run long.
  const char alphabet[] = {'a', 'a', 'b', 'b', 'x', 'x', 'x', 'A', '\xB0', '\xA1', '\x80', ' '};
  for (int round = 0; round < 3000; ++round) {
    std::string text(rng() % 1500, ' ');
    for (auto& ch : text) ch = alphabet[rng() % sizeof alphabet];
    std::string sought(1 + rng() % 2, ' ');
    for (auto& ch : sought) ch = alphabet[rng() % sizeof alphabet];
    const bool fold = round % 2 == 0;
    TextFinder finder(text, sought, fold);
    int start = 1;
    for (int k = 0; k < 20; ++k) {
      const std::size_t b = start > 0 ? start - 1 : 0;
      const int expected = b >= text.size() ? -1 : WalkFind(text, sought, b, fold, false);
      ASSERT_EQ(finder.Find(start), expected) << "round " << round << ", from " << start;
      // Mostly forward, as a collector goes; now and then back.
      start = rng() % 5 == 0 ? static_cast<int>(rng() % (text.size() + 2)) : start + static_cast<int>(rng() % 200);
    }
  }
}

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string sought;
  std::string replacement;
  std::optional<int> start;
  std::optional<int> count;
  bool caseSensitive;
  std::string expected;
};

TEST(ReplaceTextTest, EditsWithoutOverlapOrRescan) {
  const ReplaceCase cases[] = {
      {"no overlap", "aaa", "aa", "b", nullopt, nullopt, true, "ba"},
      {"empty sought", "abc", "", "x", nullopt, nullopt, true, "abc"},
      {"empty text", "", "a", "x", nullopt, nullopt, true, ""},
      {"count 1", "a$b$c", "$", "1", nullopt, 1, true, "a1b$c"},
      {"count 0", "a$b", "$", "1", nullopt, 0, true, "a$b"},
      {"negative count is all", "a$b$c", "$", "1", nullopt, -3, true, "a1b1c"},
      {"start beyond the length", "abc", "a", "x", 4, nullopt, true, "abc"},
      {"start 3 keeps the first two", "aaaa", "a", "x", 3, nullopt, true, "aaxx"},
      {"start INT_MIN is the whole text", "aa", "a", "x", INT_MIN, nullopt, true, "xx"},
      {"replacement not rescanned", "ab", "a", "aa", nullopt, nullopt, true, "aab"},
      {"omitted replacement deletes", "a-b-c", "-", "", nullopt, nullopt, true, "abc"},
      {"page number", "http://s/list_$.html", "$", "12", nullopt, nullopt, true, "http://s/list_12.html"},
      {"header name in any case", "set-cookie: a\r\nSET-COOKIE: b", "Set-Cookie", "Set-Cookie", nullopt,
       nullopt, false, "Set-Cookie: a\r\nSet-Cookie: b"},
      {"case sensitive leaves other case", "SET-COOKIE", "Set-Cookie", "x", nullopt, nullopt, true, "SET-COOKIE"},
      {"second byte untouched", "\xB0" "A" "A", "A", "b", nullopt, nullopt, true, "\xB0" "Ab"},
      {"stray lead dropped by a one-byte scan", "a$\xB0", "$", "1", nullopt, nullopt, true, "a1"},
      {"stray lead kept after the count ran out", "a$\xB0", "$", "1", nullopt, 1, true, "a1\xB0"},
      {"stray lead kept by a longer scan", "a$\xB0", "$$", "1", nullopt, nullopt, true, "a$\xB0"},
      {"trailing pair is not stray", "$\xB0\xB0", "$", "1", nullopt, nullopt, true, "1\xB0\xB0"},
      {"stray lead matched by the sought byte", "a\xB0", "\xB0", "x", nullopt, nullopt, true, "ax"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.sought, c.replacement, c.start, c.count, c.caseSensitive), c.expected)
        << c.name;
  }
}

// The plain unit walk for ReplaceText: a stray lead byte that a full scan reaches is dropped.
std::string WalkReplace(const std::string& t, const std::string& f, const std::string& r, bool fold) {
  const auto fold1 = [&](unsigned char c) { return fold && c >= 'A' && c <= 'Z' ? c + 32 : c; };
  const auto same = [&](std::size_t p) {
    for (std::size_t i = 0; i < f.size(); ++i) {
      if (fold1(t[p + i]) != fold1(f[i])) return false;
    }
    return true;
  };
  std::string out;
  std::size_t p = 0;
  while (t.size() - p >= f.size()) {
    if (same(p)) {
      out += r;
      p += f.size();
      continue;
    }
    const std::size_t unit = static_cast<unsigned char>(t[p]) <= 0x80 ? 1 : 2;
    if (p + unit > t.size()) return out;
    out.append(t, p, unit);
    p += unit;
  }
  return out + t.substr(p);
}

TEST(ReplaceTextTest, AgreesWithUnitWalkOnLongTextsInAnyCase) {
  std::mt19937 rng(11);
  const char alphabet[] = {'h', 'h', 'r', 'e', 'f', 'F', 'x', 'x', '\xB0', '\xA1', '\x80'};
  for (int round = 0; round < 400; ++round) {
    std::string text(rng() % 2000, ' ');
    for (auto& ch : text) ch = alphabet[rng() % sizeof alphabet];
    std::string sought(1 + rng() % 3, ' ');
    for (auto& ch : sought) ch = alphabet[rng() % sizeof alphabet];
    const bool caseSensitive = round % 2 == 1;
    ASSERT_EQ(ReplaceText(text, sought, "#", nullopt, nullopt, caseSensitive),
              WalkReplace(text, sought, "#", !caseSensitive))
        << "round " << round;
  }
}

struct SplitCase {
  const char* name;
  std::string text;
  std::string delimiter;
  std::optional<int> most;
  std::vector<Text> expected;
};

TEST(SplitTextTest, PiecesBetweenDelimiters) {
  const SplitCase cases[] = {
      {"empty middle, no empty last", "a,,b,", ",", nullopt, {"a", "", "b"}},
      {"empty text", "", ",", nullopt, {}},
      {"empty delimiter", "abc", "", nullopt, {"abc"}},
      {"crlf", "a\r\nb", "\r\n", nullopt, {"a", "b"}},
      {"leading delimiter", ",a", ",", nullopt, {"", "a"}},
      {"limit drops the rest", "a,b,c", ",", 2, {"a", "b"}},
      {"limit 0", "a,b", ",", 0, {}},
      {"negative limit is 0", "a,b", ",", INT_MIN, {}},
      {"limit above the count", "a,b", ",", INT_MAX, {"a", "b"}},
      {"no delimiter", "abc", ";", nullopt, {"abc"}},
      {"delimiter only", ",", ",", nullopt, {""}},
      {"second byte is not a delimiter", "\xB0,x,y", ",", nullopt, {"\xB0,x", "y"}},
      {"stray lead stays in the last piece", "a,\xB0", ",", nullopt, {"a", "\xB0"}},
      {"no case folding", "aXbxc", "x", nullopt, {"aXb", "c"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitText(c.text, c.delimiter, c.most).Items(), c.expected) << c.name;
  }
}

// Parts are numbered from 1 and checked: a bad index ends the process with exit code -1.
TEST(SplitTextDeathTest, IndexOutsideTheArrayIsFatal) {
  const TextArray parts = SplitText("a,b", ",");
  ASSERT_EQ(parts.Count(), 2);
  EXPECT_EQ(parts.At(2), "b");
  // The report reaches standard error as UTF-8 when no message box is installed.
  auto report = [](const char8_t* utf8) { return reinterpret_cast<const char*>(utf8); };
  EXPECT_EXIT((void)parts.At(0), testing::ExitedWithCode(kRuntimeErrorExitCode), report(u8"错误代码：4"));
  EXPECT_EXIT((void)parts.At(3), testing::ExitedWithCode(kRuntimeErrorExitCode), report(u8"错误代码：1"));
}

struct TrimCase {
  const char* name;
  std::string text;
  std::string leading;
  std::string trailing;
  std::string both;
  std::string all;
};

TEST(TrimTest, SpacesAreOnlyAsciiAndFullWidth) {
  const std::string fs = kFullSpace;
  const TrimCase cases[] = {
      {"mixed spaces around", fs + " ab " + fs, "ab " + fs, fs + " ab", "ab", "ab"},
      {"tab and crlf are not spaces", "\tab\r\n", "\tab\r\n", "\tab\r\n", "\tab\r\n", "\tab\r\n"},
      {"inner spaces", "a b" + fs + "c", "a b" + fs + "c", "a b" + fs + "c", "a b" + fs + "c", "abc"},
      {"only spaces", "  " + fs, "", "", "", ""},
      {"A1 A1 across two units is no space", "\xB0\xA1\xA1x", "\xB0\xA1\xA1x", "\xB0\xA1\xA1x", "\xB0\xA1\xA1x",
       "\xB0\xA1\xA1x"},
      {"a lead byte takes the space after it", "\xA1 ", "\xA1 ", "\xA1 ", "\xA1 ", "\xA1 "},
      {"stray lead at the end cut alone", "a \xA1", "a \xA1", "a ", "a ", "a"},
      {"stray A1 stops leading trim", "\xA1", "\xA1", "", "", ""},
      {"other pairs kept whole", " \xB0\xA1 ", "\xB0\xA1 ", " \xB0\xA1", "\xB0\xA1", "\xB0\xA1"},
      {"pair ending in an ascii byte is no space", "  \xB0" "A", "\xB0" "A", "  \xB0" "A", "\xB0" "A", "\xB0" "A"},
      {"pair whose second byte is a space", "a\xB0 ", "a\xB0 ", "a\xB0 ", "a\xB0 ", "a\xB0 "},
      {"space after a pair", "\xB0" "A ", "\xB0" "A ", "\xB0" "A", "\xB0" "A", "\xB0" "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimLeading(c.text), c.leading) << c.name;
    EXPECT_EQ(TrimTrailing(c.text), c.trailing) << c.name;
    EXPECT_EQ(TrimBoth(c.text), c.both) << c.name;
    EXPECT_EQ(RemoveAllSpaces(c.text), c.all) << c.name;
  }
}

struct ConvertCase {
  const char* name;
  std::string text;
  std::string lower;
  std::string half;
};

TEST(CaseAndWidthTest, OnlyWholeUnitsChange) {
  const ConvertCase cases[] = {
      {"ascii capitals", "AbZ[@", "abz[@", "AbZ[@"},
      {"second byte in A..Z stays", "\xB0" "A" "B", "\xB0" "Ab", "\xB0" "AB"},
      {"full-width digits and letters", "\xA3\xB1\xA3\xB2\xA3\xC1", "\xA3\xB1\xA3\xB2\xA3\xC1", "12A"},
      {"full-width range ends", "\xA3\xA1\xA3\xFE", "\xA3\xA1\xA3\xFE", "!~"},
      {"space, wave, stars", "\xA1\xA1\xA1\xAB\xA1\xEE\xA1\xEF", "\xA1\xA1\xA1\xAB\xA1\xEE\xA1\xEF", " ~**"},
      {"other pairs unchanged", "\xB0\xA1\xA1\xAC", "\xB0\xA1\xA1\xAC", "\xB0\xA1\xA1\xAC"},
      {"stray lead byte", "A\xA3", "a\xA3", "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToLowerCase(c.text), c.lower) << c.name;
    EXPECT_EQ(ToHalfWidth(c.text), c.half) << c.name;
  }
}

TEST(ToIntegerTest, ReadsLikeAtoiAfterHalfWidth) {
  const struct {
    const char* name;
    std::string text;
    int expected;
  } cases[] = {
      {"spaces and trailing text", "  -42x", -42},
      {"empty", "", 0},
      {"full-width digits", "\xA3\xB1\xA3\xB2", 12},
      {"full-width space and sign", "\xA1\xA1\xA3\xAD" "7", -7},
      {"plus sign", "+5", 5},
      {"sign alone", "-", 0},
      {"space after sign", "- 5", 0},
      {"tabs and newlines skipped", "\t\n\v\f\r9", 9},
      {"INT_MAX", "2147483647", INT_MAX},
      {"INT_MIN", "-2147483648", INT_MIN},
      {"saturates high", "2147483648", INT_MAX},
      {"saturates low", "-2147483649", INT_MIN},
      {"very long digits", std::string(400, '9'), INT_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToInteger(c.text), c.expected) << c.name;
  }
}

TEST(ToTextTest, NumbersBooleansAndBuffers) {
  const struct {
    const char* name;
    Text actual;
    Text expected;
  } cases[] = {
      {"int", ToText(-17), "-17"},
      {"INT_MIN", ToText(INT_MIN), "-2147483648"},
      {"int64 beyond 32 bits", ToText(std::int64_t{-9000000000}), "-9000000000"},
      {"double whole", ToText(24.0), "24"},
      {"double half", ToText(0.5), "0.5"},
      {"double 13 digits", ToText(1.0 / 3.0), "0.3333333333333"},
      {"double large uses exponent", ToText(1e20), "1e+20"},
      {"float 6 digits", ToText(1.0f / 3.0f), "0.333333"},
      {"true", ToText(true), "真"},
      {"false", ToText(false), "假"},
      {"buffer stops at NUL", ToText(ByteBuffer{'a', 'b', 0, 'c', 'd'}), "ab"},
      {"buffer without NUL", ToText(ByteBuffer{0xB0, 0xA1}), "\xB0\xA1"},
      {"char code low byte", CharText(0x141), "A"},
      {"char code 0", CharText(0), ""},
      {"char code -1", CharText(-1), "\xFF"},
      {"spaces", SpaceText(3), "   "},
      {"spaces 0", SpaceText(0), ""},
      {"spaces negative", SpaceText(INT_MIN), ""},
      {"join", JoinTexts(Text("a"), std::string_view(), Text("b")), "ab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.actual, c.expected) << c.name;
  }
}

TEST(ByteBufferTest, CountsAndClamps) {
  const ByteBuffer abc = ToByteBuffer("abc");
  EXPECT_EQ(abc, (ByteBuffer{'a', 'b', 'c'}));
  EXPECT_TRUE(ToByteBuffer("").empty());
  EXPECT_EQ(ByteBufferLength(abc), 3);
  const struct {
    int n;
    ByteBuffer expected;
  } lefts[] = {{-1, {}}, {INT_MIN, {}}, {0, {}}, {2, {'a', 'b'}}, {INT_MAX, {'a', 'b', 'c'}}};
  for (const auto& c : lefts) EXPECT_EQ(LeftBytes(abc, c.n), c.expected) << c.n;
  EXPECT_EQ(ZeroBytes(1024), ByteBuffer(1024, 0));
  EXPECT_TRUE(ZeroBytes(0).empty());
  EXPECT_TRUE(ZeroBytes(INT_MIN).empty());
  EXPECT_EQ(BitOr(1, 4, 0x80000000u), 0x80000005u);
}

}  // namespace
}  // namespace kestrin
