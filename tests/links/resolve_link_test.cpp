#include "links/resolve_link.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace kestrin {
namespace {

struct ResolveCase {
  const char* name;
  const char* page;
  const char* reference;
  std::optional<const char*> expected;  // nullopt: cannot be resolved
};

const ResolveCase kResolveCases[] = {
    {"RootRelative", "http://site/list/2.html", "/a.html", "http://site/a.html"},
    {"RelativeToFolder", "http://site/list/2.html", "a.html", "http://site/list/a.html"},
    {"ProtocolRelativeTakesHttp", "http://site/list/2.html", "//cdn/x", "http://cdn/x"},
    {"ProtocolRelativeTakesHttps", "https://site/list/2.html", "//cdn/x", "https://cdn/x"},
    {"HttpsSite", "https://site/list/2.html", "/a.html", "https://site/a.html"},
    {"AbsoluteHttpsKept", "http://site/list/2.html", "https://site/a.html", "https://site/a.html"},
    {"UpperCaseSchemeKeptByteForByte", "http://site/list/2.html", "HTTP://Site/a/../B.html",
     "HTTP://Site/a/../B.html"},
    {"OtherSchemeKept", "http://site/list/2.html", "javascript:void(0)", "javascript:void(0)"},
    {"DotDot", "http://site/list/2.html", "../up.html", "http://site/up.html"},
    {"DotDotAboveRoot", "http://site/list/2.html", "../../../x.html", "http://site/x.html"},
    {"QueryOnly", "http://site/list/2.html", "?page=3", "http://site/list/2.html?page=3"},
    {"FragmentOnly", "http://site/list/2.html", "#top", "http://site/list/2.html#top"},
    {"PageWithoutPath", "http://site", "a.html", "http://site/a.html"},
    {"PageCaseAndPortKept", "HTTP://Site:8080/L/2.html", "a.html", "HTTP://Site:8080/L/a.html"},
    {"PatternWithDollar", "http://site/list_$.html", "a.html", "http://site/a.html"},
    {"GbkPathKept", "http://site/list/2.html", "文章/中.html", "http://site/list/文章/中.html"},
    {"GbkInPageAddress", "http://site/栏目/2.html", "a.html", "http://site/栏目/a.html"},
    {"GbkTrailBytesLikeAtAndBackslash", "http://site/list/2.html", "\x81\x40\x81\x5C.html",
     "http://site/list/\x81\x40\x81\x5C.html"},
    {"EscapesKeptAsWritten", "http://site/list/2.html", "a%20b%E4.html", "http://site/list/a%20b%E4.html"},
    {"StrayPercentKept", "http://site/list/2.html", "100%.html", "http://site/list/100%.html"},
    {"InnerSpaceKept", "http://site/list/2.html", "a b.html", "http://site/list/a b.html"},
    {"BracketsInPath", "http://site/list/2.html", "a[1].html", "http://site/list/a[1].html"},
    {"DotSegmentInMiddle", "http://site/list/2.html", "/a/./b/../c.html", "http://site/a/c.html"},
    {"DotDotAtEnd", "http://site/list/2.html", "/a/..", "http://site/"},
    {"DotsInsideNames", "http://site/list/2.html", "a..b/.c.html", "http://site/list/a..b/.c.html"},
    {"DotSegmentInPage", "http://site/a/../list/2.html", "x.html", "http://site/list/x.html"},
    {"DotsInQueryNotSegments", "http://site/list/2.html", "/a.html?p=/../x", "http://site/a.html?p=/../x"},
    {"PageQueryAndFragmentDropped", "http://site/list/2.html?page=2#top", "a.html?b=1#c",
     "http://site/list/a.html?b=1#c"},
    {"PageWithQueryButNoPath", "http://site?page=2", "a.html", "http://site/a.html"},
    {"UserInfoKept", "http://me@site:81/list/2.html", "/a.html", "http://me@site:81/a.html"},
    {"Ipv6PageWrittenInFull", "http://[::1]:8080/list/2.html", "/a.html",
     "http://[0000:0000:0000:0000:0000:0000:0000:0001]:8080/a.html"},
    {"ProtocolRelativeWithPort", "http://site/list/2.html", "//127.0.0.1:8080/html/1.html",
     "http://127.0.0.1:8080/html/1.html"},
    {"ProtocolRelativeQueryAndFragment", "http://site/list/2.html", "//cdn/x?a=1#top", "http://cdn/x?a=1#top"},
    {"ProtocolRelativeHostOnly", "http://site/list/2.html", "//cdn", "http://cdn"},
    {"ProtocolRelativeCaseKept", "HTTPS://Site/l/2.html", "//Cdn.Example.COM/X.html", "HTTPS://Cdn.Example.COM/X.html"},
    {"ProtocolRelativeEmptySegmentsKept", "http://site/list/2.html", "//cdn//x/", "http://cdn//x/"},
    {"ProtocolRelativeDotSegments", "http://site/list/2.html", "//cdn/a/../b.html", "http://cdn/b.html"},
    {"ProtocolRelativeLongIpv4Kept", "http://site/list/2.html", "//127.000.000.001/x", "http://127.000.000.001/x"},
    {"ProtocolRelativeUserInfoKept", "http://site/list/2.html", "//me@cdn:81/x", "http://me@cdn:81/x"},
    {"ProtocolRelativeGbkPathKept", "http://site/list/2.html", "//cdn/文章.html", "http://cdn/文章.html"},
    {"ProtocolRelativeBadPort", "http://site/list/2.html", "//cdn:ab/x", std::nullopt},
    {"ProtocolRelativeSecondHash", "http://site/list/2.html", "//cdn/x#a#b", "http://cdn/x#a#b"},
    {"SecondHashInFragment", "http://site/list/2.html", "a.html#x#y", "http://site/list/a.html#x#y"},
    {"SecondHashAfterDotSegment", "http://site/list/2.html", "../a.html#x#y", "http://site/a.html#x#y"},
    {"SecondHashInPage", "http://site/list/2.html#a#b", "?q", "http://site/list/2.html?q"},
    {"ColonInFirstSegment", "http://site/list/2.html", "1:a.html", std::nullopt},
    {"ColonAfterFirstSegment", "http://site/list/2.html", "a/b:c.html", "http://site/list/a/b:c.html"},
    {"AbsoluteKeptWhateverThePage", "", "https://site/a.html", "https://site/a.html"},
    {"PageWithoutScheme", "site/list/2.html", "a.html", std::nullopt},
    {"PageWithHostAndPortOnly", "127.0.0.1:8080/list/2.html", "/a.html", std::nullopt},
    {"EmptyPage", "", "/a.html", std::nullopt},
    {"PageNotWeb", "ftp://site/list/2.html", "a.html", std::nullopt},
    {"PageWithoutHost", "http:///list/2.html", "a.html", std::nullopt},
    {"UnparsableReference", "http://site/list/2.html", ":a.html", std::nullopt},
    {"CrLfInsideRemoved", "http://site/list/2.html", "/cr\r\nlf.html", "http://site/crlf.html"},
    {"TabAndLineFeedRemoved", "http://site/list/2.html", "\ta\n.html\t", "http://site/list/a.html"},
    {"LineBreakInAbsoluteRemoved", "http://site/list/2.html", "http://site/a\r\n.html", "http://site/a.html"},
    {"LineBreakBeforeSchemeRemoved", "http://site/list/2.html", "\r\nhttp://other/a.html", "http://other/a.html"},
    {"LineBreakInProtocolRelativeRemoved", "http://site/list/2.html", "/\n/cdn/x", "http://cdn/x"},
    {"OtherControlBytesKept", "http://site/list/2.html", "a\x01.html", "http://site/list/a\x01.html"},
};

class ResolveLinkTest : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveLinkTest, ResolvesAsABrowser) {
  const ResolveCase& row = GetParam();
  const std::optional<Text> resolved = ResolveLink(row.page, row.reference);
  if (row.expected) {
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(*resolved, *row.expected);
  } else {
    EXPECT_FALSE(resolved.has_value()) << *resolved;
  }
}

// The joins for the usual shapes of link must give what uriparser gives.
TEST_P(ResolveLinkTest, ShortcutsAgreeWithUriparser) {
  const ResolveCase& row = GetParam();
  EXPECT_EQ(ResolveLink(row.page, row.reference), ResolveLinkWithoutShortcuts(row.page, row.reference));
}

INSTANTIATE_TEST_SUITE_P(Cases, ResolveLinkTest, testing::ValuesIn(kResolveCases),
                         [](const auto& info) { return std::string(info.param.name); });

// One resolver serves a whole page, its lines written after whatever the caller holds.
TEST(LinkResolverTest, AppendsAfterWhatIsThereAndLeavesItWhenUnresolvable) {
  const LinkResolver page("http://site/list/2.html");
  for (const ResolveCase& row : kResolveCases) {
    if (std::string_view(row.page) != "http://site/list/2.html") continue;
    Text line = "before ";
    const bool resolved = page.AppendResolved(row.reference, line);
    EXPECT_EQ(resolved, row.expected.has_value()) << row.name;
    EXPECT_EQ(line, resolved ? "before " + std::string(*row.expected) : "before ") << row.name;
  }
}

}  // namespace
}  // namespace kestrin
