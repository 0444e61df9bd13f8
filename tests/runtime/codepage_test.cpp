#include "runtime/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kestrin {
namespace {

// "E4 B8 AD" -> the three bytes, so that tables show bytes as the protocols do.
std::string Hex(const char* spaced) {
  std::string bytes;
  for (const char* p = spaced; *p != '\0';) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    char* end = nullptr;
    bytes.push_back(static_cast<char>(std::strtoul(std::string(p, 2).c_str(), &end, 16)));
    p += 2;
  }
  return bytes;
}

struct CodepageCase {
  const char* name;
  const char* utf8;  // hex
  const char* gbk;   // hex
};

// From UTF-8 through UTF-16 into code page 936.
const CodepageCase kToGbkCases[] = {
    {"ascii stays", "48 69 21 20 2F 3F", "48 69 21 20 2F 3F"},
    {"two chinese characters", "E4 B8 AD E6 96 87", "D6 D0 CE C4"},
    {"euro sign is 0x80", "E2 82 AC", "80"},
    {"thai letter has no gbk form", "61 E0 B8 81 62", "61 3F 62"},
    {"character beyond the bmp is one mark", "F0 9F 98 80", "3F"},
    {"full width space", "E3 80 80", "A1 A1"},
    {"lone continuation byte", "61 80 62", "61 3F 62"},
    {"truncated sequence then ascii", "E4 B8 61", "3F 61"},
    {"truncated sequence at the end", "61 E4 B8", "61 3F"},
    {"each malformed sequence one mark", "C0 FF E4 B8 C3", "3F 3F 3F 3F"},
    {"encoded surrogate is malformed", "ED A0 80", "3F 3F 3F"},
    {"gbk bytes are not utf-8", "D6 D0 CE C4", "3F 3F 3F 3F"},
    {"empty", "", ""},
};

TEST(Codepage, Utf8ThroughUtf16ToGbk) {
  for (const auto& c : kToGbkCases) {
    EXPECT_EQ(Utf16ToGbk(Utf8ToUtf16(Hex(c.utf8))), Hex(c.gbk)) << c.name;
  }
}

// The direct conversion looks most characters up itself and hands the rest to ICU; the two
// must meet without a seam.
const CodepageCase kDirectCases[] = {
    {"ascii run past eight bytes then chinese", "61 62 63 64 65 66 67 68 69 E4 B8 AD",
     "61 62 63 64 65 66 67 68 69 D6 D0"},
    {"chinese between ascii runs", "61 62 63 64 65 66 67 E4 B8 AD 61 62 63 64 65 66 67 68",
     "61 62 63 64 65 66 67 D6 D0 61 62 63 64 65 66 67 68"},
    {"character beyond the bmp inside chinese", "E4 B8 AD F0 9F 98 80 E6 96 87", "D6 D0 3F CE C4"},
    {"malformed byte inside chinese", "E4 B8 AD FF E6 96 87", "D6 D0 3F CE C4"},
    {"truncated sequence before chinese", "E4 B8 E6 96 87", "3F CE C4"},
    {"truncated sequence after chinese at the end", "E4 B8 AD E4 B8", "D6 D0 3F"},
    {"overlong forms are malformed", "C0 AF 61 E0 80 AF", "3F 3F 61 3F 3F 3F"},
    {"beyond U+10FFFF is malformed", "F4 90 80 80", "3F 3F 3F 3F"},
    {"two-byte character with a gbk form", "C2 B7", "A1 A4"},
    {"last character before the surrogates", "ED 9F BF", "3F"},
    {"private use area has gbk forms", "EE 80 80", "AA A1"},
    {"replacement character and the last bmp character", "EF BF BD EF BF BF", "3F 3F"},
};

TEST(Codepage, Utf8StraightToGbk) {
  for (const auto& c : kToGbkCases) EXPECT_EQ(Utf8ToGbkText(Hex(c.utf8)), Hex(c.gbk)) << c.name;
  for (const auto& c : kDirectCases) EXPECT_EQ(Utf8ToGbkText(Hex(c.utf8)), Hex(c.gbk)) << c.name;
}

// Whatever the bytes, straight to GBK gives what the way through UTF-16 gives.
TEST(Codepage, Utf8StraightToGbkAgreesWithTheWayThroughUtf16) {
  std::mt19937 rng(936);
  const auto utf8 = [](std::string& out, char32_t c) {
    if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
  };
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (int n = static_cast<int>(rng() % 30); n > 0; --n) {
      std::string character;
      switch (rng() % 6) {
        case 0: character = static_cast<char>(1 + rng() % 0x7F); break;
        case 1: character = static_cast<char>(0x80 + rng() % 0x80); break;  // any stray byte
        case 2: utf8(character, 0x4E00 + rng() % 0x5200); break;
        case 3: utf8(character, 0x80 + rng() % 0xD780); break;
        case 4: utf8(character, 0x10000 + rng() % 0x100000); break;
        default: utf8(character, 0xE000 + rng() % 0x2000); character.resize(1 + rng() % 3); break;
      }
      text += character;
    }
    ASSERT_EQ(Utf8ToGbkText(text), Utf16ToGbk(Utf8ToUtf16(text))) << "round " << round;
  }
}

TEST(Codepage, Utf16EdgesOfBothSteps) {
  EXPECT_EQ(Utf8ToUtf16(Hex("61 E4 B8 62")), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16(Hex("F0 9F 98 80")), u"\U0001F600");
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf16ToGbk(std::u16string(1, u'\xD800') + u"x"), "?x");
}

// GBK texts as the program holds them, back to UTF-16 and UTF-8 and again to GBK.
const char* const kGbkTexts[] = {
    "正在采集第12条数据",
    "全部采集完成！共采集",
    "\x80 euro",
    "href=\"/a.html\"",
    "",
};

TEST(Codepage, GbkRoundTrip) {
  for (const char* text : kGbkTexts) {
    EXPECT_EQ(Utf16ToGbk(GbkToUtf16(text)), text) << text;
    EXPECT_EQ(Utf16ToGbk(Utf8ToUtf16(GbkToUtf8(text))), text) << text;
  }
  EXPECT_EQ(GbkToUtf8("中文"), Hex("E4 B8 AD E6 96 87"));
  EXPECT_EQ(GbkToUtf16("\x80"), u"\u20AC");
}

TEST(Codepage, LongTextConvertsWhole) {
  // Far past any fixed buffer, mixing one-, two-, three- and four-byte sequences.
  std::string utf8;
  std::string gbk;
  for (int i = 0; i < 50000; ++i) {
    utf8 += Hex("61 E4 B8 AD F0 9F 98 80 E2 82 AC");
    gbk += Hex("61 D6 D0 3F 80");
  }
  EXPECT_EQ(Utf16ToGbk(Utf8ToUtf16(utf8)), gbk);
}

// Each thread keeps its own converters; a shared one would mix the threads' conversions.
TEST(CodepageConcurrent, ThreadsConvertSideBySide) {
  // Long enough that conversions on different threads overlap.
  const auto repeat = [](const std::string& piece) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += piece;
    return text;
  };
  const std::string utf8[] = {repeat(Hex("E4 B8 AD E6 96 87")), repeat(Hex("61 E0 B8 81 E2 82 AC")),
                              repeat(Hex("E3 80 80 62 E4 B8 61"))};
  const std::string gbk[] = {repeat(Hex("D6 D0 CE C4")), repeat(Hex("61 3F 80")), repeat(Hex("A1 A1 62 3F 61"))};
  std::vector<std::thread> threads;
  std::vector<int> mismatches(6, 0);
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      const int k = t % 3;
      for (int i = 0; i < 300; ++i) {
        if (Utf16ToGbk(Utf8ToUtf16(utf8[k])) != gbk[k]) ++mismatches[t];
        if (GbkToUtf8(gbk[0]) != utf8[0]) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 6; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace kestrin
