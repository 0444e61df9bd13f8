#include "web/cookies.h"

#include <gtest/gtest.h>

namespace kestrin {
namespace {

struct MergeCase {
  const char* name;
  const char* cookies;
  const char* received;
  const char* merged;
  const char* receivedAfter;  // the caller's received-cookie variable afterwards
};

const MergeCase kMergeCases[] = {
    {"received value replaces old", "a=1; b=2", "a=3", "a=3; b=2", "a=3"},
    {"deletion removes the cookie and itself", "a=1", "a=deleted", "", "a=deleted"},
    {"deletion of an unknown cookie", "a=1", "b=deleted", "a=1", "b=deleted"},
    {"deletion mark is case sensitive", "a=1", "a=Deleted", "a=Deleted", "a=Deleted"},
    {"deletion among new values", "a=1; b=2", "b=deleted; c=3", "c=3; a=1", "b=deleted;c=3"},
    {"nothing kept yet", "", "sid=9; lang=cn", "sid=9; lang=cn", "sid=9;lang=cn"},
    {"nothing received", "a=1; b=2", "", "a=1; b=2", ""},
    {"both empty", "", "", "", ""},
    {"same name twice received", "", "a=1; a=2", "a=1; a=2", "a=1;a=2"},
    {"identical items kept once", "", "a=1; a=1", "a=1", "a=1;a=1"},
    {"identical old items kept once", "a=1; a=1", "", "a=1", ""},
    {"spaces inside values disappear", "x=hello world", "", "x=helloworld", ""},
    {"full-width spaces disappear", "x=\xA1\xA1" "1", "y = 2", "y=2; x=1", "y=2"},
    {"received spaces removed", "a=1", "a=3; b=4", "a=3; b=4", "a=3;b=4"},
    {"names compared with case", "SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
    {"empty item carried along", "a=1;;b=2", "c=3", "c=3; a=1; ; b=2", "c=3"},
    {"two empty items carried once", "a=1;;;b=2", "", "a=1; ; b=2", ""},
    {"value holding an equals sign", "t=a=b", "t=c", "t=c", "t=c"},
};

TEST(MergeCookies, FoldsReceivedCookiesIntoCookieText) {
  for (const auto& c : kMergeCases) {
    Text cookies = c.cookies;
    Text received = c.received;
    const Text result = MergeCookies(cookies, received);
    EXPECT_EQ(result, c.merged) << c.name;
    EXPECT_EQ(cookies, c.merged) << c.name;
    EXPECT_EQ(received, c.receivedAfter) << c.name;
  }
}

TEST(MergeCookies, CarriesCookiesAcrossResponses) {
  Text cookies;
  for (const char* set : {"sid=1; lang=cn", "sid=2", "lang=deleted", "theme=dark"}) {
    Text received = set;
    (void)MergeCookies(cookies, received);
  }
  EXPECT_EQ(cookies, "theme=dark; sid=2");
}

TEST(CookieName, IsTheTrimmedTextBeforeTheFirstEquals) {
  const struct {
    const char* item;
    const char* name;
  } cases[] = {
      {"a=1", "a"}, {" a =1", "a"},   {"flag", "flag"},           {" flag ", "flag"},
      {"=v", ""},   {"a=b=c", "a"},   {"", ""},                    {"\xA1\xA1" "id\xA1\xA1=1", "id"},
      {"会话=1", "会话"},
  };
  for (const auto& c : cases) EXPECT_EQ(CookieName(c.item), c.name) << c.item;
}

TEST(HasCookieName, MatchesWholeNamesWithCase) {
  const TextArray items({"a=1", " b =2", "", "c"});
  const struct {
    const char* name;
    bool found;
  } cases[] = {{"a", true}, {"b", true}, {"c", true}, {"", true}, {"A", false}, {"a=1", false}, {"d", false}};
  for (const auto& c : cases) EXPECT_EQ(HasCookieName(items, c.name), c.found) << c.name;
  EXPECT_FALSE(HasCookieName(TextArray(), ""));
}

TEST(RemoveDuplicateItems, KeepsFirstOccurrences) {
  const struct {
    const char* text;
    const char* separator;
    const char* result;
  } cases[] = {
      {"a; b; a; c; b", "; ", "a; b; c"},
      {"a; a", "; ", "a"},
      {"", "; ", ""},
      {"a,b,,a,,", ",", "a,b,"},
      {"a=1; A=1", "; ", "a=1; A=1"},
      {"x", "", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoveDuplicateItems(c.text, c.separator), c.result) << c.text;
}

TEST(IndexOfItem, FindsTheFirstEqualItem) {
  const TextArray items({"a", "b", "a", ""});
  const struct {
    const char* text;
    int index;
  } cases[] = {{"a", 1}, {"b", 2}, {"", 4}, {"A", -1}, {"a ", -1}, {"c", -1}};
  for (const auto& c : cases) EXPECT_EQ(IndexOfItem(items, c.text), c.index) << c.text;
  EXPECT_EQ(IndexOfItem(TextArray(), "a"), -1);
}

}  // namespace
}  // namespace kestrin
