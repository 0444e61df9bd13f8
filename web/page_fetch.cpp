#include "web/page_fetch.h"

#include "runtime/text_ops.h"

namespace kestrin {

Text FetchPageText(const Text& address, const PageFetchLimits& limits) {
  WebRequestOptions options;
  options.timeoutMs = limits.timeoutMs;
  options.maxBodyBytes = limits.maxBodyBytes;
  return ToText(WebRequest(address, options).body);
}

}  // namespace kestrin
