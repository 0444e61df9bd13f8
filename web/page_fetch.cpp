#include "web/page_fetch.h"

#include "runtime/text_ops.h"

namespace kestrin {

WebResponse FetchPage(const Text& address, const PageFetchLimits& limits) {
  WebRequestOptions options;
  options.timeoutMs = limits.timeoutMs;
  options.maxBodyBytes = limits.maxBodyBytes;
  return WebRequest(address, options);
}

Text FetchPageText(const Text& address, const PageFetchLimits& limits) { return ToText(FetchPage(address, limits).body); }

}  // namespace kestrin
