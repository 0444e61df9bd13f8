// libFuzzer target: the link resolver against uriparser's resolution of the same link (outside
// bracketed hosts, which uriparser writes its own way), and a resolver that serves many links
// of one page.
// Input: one byte choosing the page address (or taking it from the input up to a NUL), then
// the links, separated by NUL bytes.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "links/resolve_link.h"
#include "tests/links/linux/uriparser_resolve.h"

namespace {

// Page addresses of the shapes a list-page pattern takes.
const char* const kPages[] = {
    "http://site/list/2.html",
    "https://Site.Example:8080/a/b/index_3.html?page=3#top",
    "http://127.0.0.1:8080/",
    "http://site",
    "http://me@site/list/../x/",
    "http://[::1]/list/",
    "http://site/\xCE\xC4\xD5\xC2/2.html",
    "http://site/a%20b/100%/",
};

bool HoldsTabOrLineBreak(std::string_view text) { return text.find_first_of("\t\r\n") != std::string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr std::size_t kPageCount = sizeof kPages / sizeof kPages[0];
  std::string page;
  if (data[0] < kPageCount) {
    page = kPages[data[0]];
  } else {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    page = std::string(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }

  const kestrin::LinkResolver resolver(page);
  kestrin::Text lines;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    const kestrin::Text link(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));

    const std::optional<kestrin::Text> resolved = resolver.Resolve(link);
    if (!kestrin::testsupport::HasBracketInAuthority(page) && !kestrin::testsupport::HasBracketInAuthority(link) &&
        resolved != kestrin::testsupport::ResolveLinkByUriparser(page, link)) {
      std::abort();
    }
    // A link never makes two lines, whatever bytes it holds.
    if (resolved && !HoldsTabOrLineBreak(page) && HoldsTabOrLineBreak(*resolved)) std::abort();
    // Appending puts the same bytes after what is there, and nothing when unresolvable.
    const std::size_t before = lines.size();
    const bool appended = resolver.AppendResolved(link, lines);
    if (appended != resolved.has_value()) std::abort();
    if (appended && lines.compare(before, std::string::npos, *resolved) != 0) std::abort();
    if (!appended && lines.size() != before) std::abort();
  }
  return 0;
}
