#include "cli/engines/address_form.h"

#include <gtest/gtest.h>

namespace kestrin::cli {
namespace {

TEST(NormalAddress, TwinsMeetInOneForm) {
  const struct {
    const char* name;
    const char* address;
    const char* normal;
  } cases[] = {
      {"raw UTF-8 is %-encoded", "http://s.example/\xE6\x96\x87/1.html", "http://s.example/%E6%96%87/1.html"},
      {"escapes in upper case", "http://s.example/%e6%96%87/1.html", "http://s.example/%E6%96%87/1.html"},
      {"scheme and host in lower case, the path kept", "HTTP://S.Example/A.html", "http://s.example/A.html"},
      {"a space in the query", "http://s.example/a?q=a b", "http://s.example/a?q=a%20b"},
      {"a stray % stays", "http://s.example/100%/x", "http://s.example/100%/x"},
      {"a port is kept", "https://s.example:8443/a", "https://s.example:8443/a"},
      {"line breaks taken out, as the collector does", "http://s.example/a\tb", "http://s.example/ab"},
      {"an escape in lower case late in the query", "http://s.example/a?b=1&c=%7e", "http://s.example/a?b=1&c=%7E"},
      {"the host ends at a query, whose case is kept", "http://s.example?Q=A", "http://s.example?Q=A"},
      {"the host ends at a fragment", "http://S.example#Top", "http://s.example#Top"},
      {"an upper-case scheme alone", "Https://s.example/a", "https://s.example/a"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(NormalAddress(row.address), row.normal) << row.name;
    // The quick test never passes an address the resolver would change.
    if (AlreadyNormal(row.address)) {
      EXPECT_STREQ(row.address, row.normal) << row.name;
    }
  }
}

}  // namespace
}  // namespace kestrin::cli
