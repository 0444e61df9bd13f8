// Plain-text sources: address lists and robots.txt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrin::cli {

// `text` without the spaces, tabs and line breaks around it.
[[nodiscard]] std::string_view Trimmed(std::string_view text);

// Whether `address` is an absolute http or https address with a host (scheme in any case).
[[nodiscard]] bool IsWebAddress(std::string_view address);

// The lines of a list, trimmed; blank lines and lines starting with '#' left out. CR LF, LF and
// a UTF-8 byte-order mark are all understood. The lines are views into `text`, so that a list of
// a hundred thousand costs no copy of each.
[[nodiscard]] std::vector<std::string_view> ListLines(std::string_view text);

// Whether a text reads as robots.txt: one of its lines is a User-agent, Disallow, Allow, Sitemap
// or Crawl-delay record.
[[nodiscard]] bool LooksLikeRobots(std::string_view text);
// The addresses of its "Sitemap:" lines (field name in any case, "Site-map:" too), in order.
[[nodiscard]] std::vector<std::string> SitemapsInRobots(std::string_view text);

}  // namespace kestrin::cli
