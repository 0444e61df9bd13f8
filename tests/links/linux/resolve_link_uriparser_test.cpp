// The link resolver against uriparser, on the table's cases and on links of every shape built
// from a few pieces: the two must agree wherever uriparser's own writing does not differ.
#include <gtest/gtest.h>

#include <string>

#include "links/resolve_link.h"
#include "tests/links/linux/uriparser_resolve.h"
#include "tests/links/resolve_link_cases.h"

namespace kestrin {
namespace {

using testsupport::HasBracketInAuthority;
using testsupport::ResolveLinkByUriparser;

TEST(ResolveLinkUriparserTest, TableAgreesWithUriparser) {
  for (const testcases::ResolveCase& row : testcases::kResolveCases) {
    if (HasBracketInAuthority(row.page) || HasBracketInAuthority(row.reference)) continue;
    EXPECT_EQ(ResolveLink(row.page, row.reference), ResolveLinkByUriparser(row.page, row.reference)) << row.name;
  }
}

// Every link of up to three pieces against pages with and without dot segments, empty
// segments, queries and fragments.
TEST(ResolveLinkUriparserTest, CombinedPiecesAgreeWithUriparser) {
  const char* const pages[] = {"http://site/list/2.html", "HTTPS://Site:81/a/./b/../c/", "http://s///",
                               "http://me@site?q=1#f", "http://site/%E4 b/100%/x.html"};
  const char* const pieces[] = {"", "/", "//", ".", "..", "a", "?q", "#f", ":", "@", "%", "\xD6\xD0", " ", "c:d", "x#y"};
  for (const char* page : pages) {
    const LinkResolver resolver(page);
    for (const char* a : pieces) {
      for (const char* b : pieces) {
        for (const char* c : pieces) {
          const Text link = std::string(a) + b + c;
          ASSERT_EQ(resolver.Resolve(link), ResolveLinkByUriparser(page, link)) << page << " + " << link;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kestrin
