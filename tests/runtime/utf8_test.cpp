#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "runtime/codepage.h"

namespace kestrin {
namespace {

struct DecodeCase {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

const DecodeCase kDecodeCases[] = {
    {"ascii and controls", "a\x10z", u"a\x10z"},
    {"two, three and four bytes", "\xC2\xB7\xE4\xB8\xAD\xF0\x9F\x98\x80", u"\u00B7\u4E2D\U0001F600"},
    {"cut short before a control byte keeps the byte", "\xF0\x9F\x10", u"\uFFFD\x10"},
    {"cut short at the end", "a\xE4\xB8", u"a\uFFFD"},
    {"byte that starts nothing", "\x80\xFF\xC0\xC1", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"overlong three-byte form", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"last character of all", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"a lead byte breaks the sequence before it", "\xE4\xB8\xE4\xB8\xAD", u"\uFFFD\u4E2D"},
};

TEST(Utf8, OneMarkPerMalformedPart) {
  for (const DecodeCase& c : kDecodeCases) EXPECT_EQ(DecodeUtf8(c.utf8), c.utf16) << c.name;
}

// The platform's decoder (ICU on Linux) and this one agree on any bytes.
TEST(Utf8, AgreesWithThePlatformsDecoder) {
  std::mt19937 rng(65001);
  const unsigned char interesting[] = {0x00, 0x10, 0x61, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                       0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    for (int n = static_cast<int>(rng() % 12); n > 0; --n) {
      bytes += static_cast<char>(rng() % 3 == 0 ? rng() % 256 : interesting[rng() % sizeof interesting]);
    }
    ASSERT_EQ(DecodeUtf8(bytes), Utf8ToUtf16(bytes)) << "round " << round;
  }
}

}  // namespace
}  // namespace kestrin
