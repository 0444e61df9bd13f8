// The link resolver's table of cases, shared by its portable test and its comparison with
// uriparser on Linux.
#pragma once

#include <optional>

namespace kestrin::testcases {

struct ResolveCase {
  const char* name;
  const char* page;
  const char* reference;
  std::optional<const char*> expected;  // nullopt: cannot be resolved
};

inline constexpr ResolveCase kResolveCases[] = {
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
    {"Ipv6PageKeptAsWritten", "http://[::1]:8080/list/2.html", "/a.html", "http://[::1]:8080/a.html"},
    {"Ipv6ReferenceKept", "http://site/list/2.html", "//[::1]:81/a[1]", "http://[::1]:81/a[1]"},
    {"BracketedHostThatIsNoAddress", "http://site/list/2.html", "//[zz]/x", std::nullopt},
    {"TwoAtSignsInAuthority", "http://site/list/2.html", "//a@b@c/x", std::nullopt},
    {"EmptyPortKept", "http://site/list/2.html", "//cdn:/x", "http://cdn:/x"},
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
    {"PagePathOfEmptySegments", "HTTP://Site:81///", "l/b", "HTTP://Site:81///l/b"},
    {"DotDotAfterEmptySegment", "http://site/list/2.html", "a/..//b", "http://site/list//b"},
    {"DotDotsPastTheRootOfAFolder", "http://site/a/b/", "../../../..", "http://site/"},
    {"EmptyReferenceIsThePageWithoutFragment", "http://site/list/2.html?p=2#top", "", "http://site/list/2.html?p=2"},
    {"FragmentKeepsPageQuery", "http://site/list/2.html?p=2", "#x", "http://site/list/2.html?p=2#x"},
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
    {"PageWithUserInfoButNoHost", "http://me@/list/2.html", "a.html", std::nullopt},
    {"UnparsableReference", "http://site/list/2.html", ":a.html", std::nullopt},
    {"CrLfInsideRemoved", "http://site/list/2.html", "/cr\r\nlf.html", "http://site/crlf.html"},
    {"TabAndLineFeedRemoved", "http://site/list/2.html", "\ta\n.html\t", "http://site/list/a.html"},
    {"LineBreakInAbsoluteRemoved", "http://site/list/2.html", "http://site/a\r\n.html", "http://site/a.html"},
    {"LineBreakBeforeSchemeRemoved", "http://site/list/2.html", "\r\nhttp://other/a.html", "http://other/a.html"},
    {"LineBreakInProtocolRelativeRemoved", "http://site/list/2.html", "/\n/cdn/x", "http://cdn/x"},
    {"OtherControlBytesKept", "http://site/list/2.html", "a\x01.html", "http://site/list/a\x01.html"},
};

}  // namespace kestrin::testcases
