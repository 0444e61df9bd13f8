// Carrying cookies from one request to the next in a single "name=value; name=value" text.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// Folds `received` (the items set by one response) into `cookies`: received items first, in
// their order, then the old items whose names were not received; items ending in "=deleted"
// are dropped and identical items kept once. Every space is removed from both variables, and
// the result, joined by "; ", is stored into `cookies` and returned.
Text MergeCookies(Text& cookies, Text& received);

// The text before the first "=" of `item` (the whole item without one), spaces trimmed.
[[nodiscard]] Text CookieName(const Text& item);

// True when some item of `items` has exactly the name `name` (compared with case).
[[nodiscard]] bool HasCookieName(const TextArray& items, const Text& name);

// `text` split at `separator`, each repeated piece kept at its first place only, and joined
// again with `separator`. Empty pieces between separators are kept once like any other.
[[nodiscard]] Text RemoveDuplicateItems(const Text& text, const Text& separator);

// 1-based index of the first item equal to `text` byte for byte, or -1.
[[nodiscard]] int IndexOfItem(const TextArray& items, const Text& text);

}  // namespace kestrin
