// The site root that goes before a collected address when the page it was found on cannot
// resolve it.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// "http://" followed by the text between "http://" and the next "/" of the list-page address;
// "http://" alone when either is missing (an address beginning "https://" included).
[[nodiscard]] Text SiteRootOfListAddress(const Text& listAddress);

}  // namespace kestrin
