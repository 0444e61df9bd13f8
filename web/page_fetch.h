// Reading one web page as text.
#pragma once

#include <cstdint>

#include "runtime/text.h"
#include "web/web_request.h"

namespace kestrin {

// How long a page fetch may take and how long its page may be; the defaults are the list
// pages' limits (see WebRequestOptions).
struct PageFetchLimits {
  std::int64_t timeoutMs = kDefaultRequestTimeoutMs;
  std::int64_t maxBodyBytes = kDefaultMaxBodyBytes;
};

// GETs `address` with nothing else and returns the body up to its first NUL; empty on failure,
// also when the page takes longer or is longer than `limits` allow.
[[nodiscard]] Text FetchPageText(const Text& address, const PageFetchLimits& limits = {});
// The same request, with how it ended (the command-line tool tells the pages that failed).
[[nodiscard]] WebResponse FetchPage(const Text& address, const PageFetchLimits& limits = {});

}  // namespace kestrin
