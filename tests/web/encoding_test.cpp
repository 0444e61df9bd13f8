#include "web/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrin {
namespace {

struct EncodingCase {
  const char* name;
  std::string utf8;
  std::string gbk;
};

// UTF-8 bytes are spelled as escapes: every plain narrow literal here is already GBK.
const EncodingCase kCases[] = {
    {"ascii unchanged", "<a href=\"/1.html\">x</a>", "<a href=\"/1.html\">x</a>"},
    {"two chinese characters", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
    {"chinese within markup", "<li>\xE4\xB8\xAD</li>", "<li>中</li>"},
    {"empty", "", ""},
    {"thai letter becomes one question mark", "\xE0\xB8\x81", "?"},
    {"euro sign", "\xE2\x82\xAC", "\x80"},
    {"emoji is one question mark", "a\xF0\x9F\x98\x80" "b", "a?b"},
    {"one question mark per malformed sequence", "\xE4\xB8" "a\xFF\xC3", "?a??"},
    {"text after an embedded nul is not converted", std::string("ab\0\xE4\xB8\xAD", 6), "ab"},
    {"nul first gives nothing", std::string("\0abc", 4), ""},
    {"text already gbk comes out damaged", "中文", "????"},
};

TEST(Utf8ToGbk, ConvertsPagesSentInUtf8) {
  for (const auto& c : kCases) EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.name;
}

}  // namespace
}  // namespace kestrin
