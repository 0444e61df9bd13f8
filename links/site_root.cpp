#include "links/site_root.h"

#include "runtime/text_ops.h"
#include "web/between.h"

namespace kestrin {

Text SiteRootOfListAddress(const Text& listAddress) {
  return JoinTexts("http://", TextBetween(listAddress, "http://", "/"));
}

}  // namespace kestrin
