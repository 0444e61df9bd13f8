#include "links/site_root.h"

#include <gtest/gtest.h>

namespace kestrin {
namespace {

TEST(SiteRootOfListAddress, IsSchemeAndHostOfTheListAddress) {
  const struct {
    const char* address;
    const char* root;
  } cases[] = {
      {"http://shop/list_$.html", "http://shop"},
      {"http://www.shop.cn:8080/a/b/list_$.html", "http://www.shop.cn:8080"},
      {"https://shop/list_$.html", "http://"},
      {"http://shop", "http://"},
      {"shop/list_$.html", "http://"},
      {"", "http://"},
  };
  for (const auto& c : cases) EXPECT_EQ(SiteRootOfListAddress(c.address), c.root) << c.address;
}

}  // namespace
}  // namespace kestrin
