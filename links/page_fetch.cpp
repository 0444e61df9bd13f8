#include "links/page_fetch.h"

#include "runtime/text_ops.h"
#include "web/web_request.h"

namespace kestrin {

Text FetchPageText(const Text& address) { return ToText(WebRequest(address).body); }

}  // namespace kestrin
