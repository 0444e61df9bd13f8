#include "links/resolve_link.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "tests/links/resolve_link_cases.h"

namespace kestrin {
namespace {

using testcases::kResolveCases;
using testcases::ResolveCase;

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
