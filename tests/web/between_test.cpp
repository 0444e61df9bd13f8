#include "web/between.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrin {
namespace {

struct BetweenCase {
  const char* name;
  std::string text;
  std::string left;
  std::string right;
  std::string expected;
};

TEST(TextBetweenTest, CutsBetweenFirstLeftAndNextRight) {
  const BetweenCase cases[] = {
      {"plain markers", "a<b>c</b>d", "<b>", "</b>", "c"},
      {"right searched only after left", "x=1;y=2", "y=", ";", ""},
      {"markers that meet", "ab", "a", "b", ""},
      {"quote word in both markers", "href=\"/a.html\"", "href=#引号", "#引号", "/a.html"},
      {"quote word twice", "v=\"\"x\"", "v=#引号#引号", "#引号", "x"},
      {"text keeps its quote word", "a#引号b\"", "a", "#引号", "#引号b"},
      {"a lone # is literal", "#x1#y", "#x", "#", "1"},
      {"first left counts", "[1][2]", "[", "]", "1"},
      {"empty left starts at the first byte", "abc;d", "", ";", "abc"},
      {"empty left on empty text", "", "", ";", ""},
      {"empty right", "abc", "a", "", ""},
      {"both empty", "abc", "", "", ""},
      {"case matters", "a<b>c</b>", "<B>", "</b>", ""},
      {"left at the very end", "abk=", "k=", ";", ""},
      {"left missing", "abc", "x", "c", ""},
      {"left longer than text", "ab", "abc", "b", ""},
      {"left inside a two-byte character", "x\xB0<b>c</b>", "<b>", "</b>", ""},
      {"right inside a two-byte character", "<b>\xB0<b>c</b>", "<b>", "<", "\xB0<b>c"},
      {"Chinese markers", "余量：42,共", "余量：", ",", "42"},
      {"quota field", "{\"remain\":4999,\"success\":1}", "#引号remain#引号:", ",", "4999"},
      {"stray lead byte at the end", "a=\xB0", "a=", "\xB0", ""},
      {"a lead byte takes the right marker", "a=\xB0;", "a=", ";", ""},
      {"no trimming", "<i> x </i>", "<i>", "</i>", " x "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace kestrin
