#include "web/cookies.h"

#include "runtime/text_ops.h"

namespace kestrin {
namespace {

constexpr std::string_view kDeletedMark = "=deleted";

}  // namespace

Text MergeCookies(Text& cookies, Text& received) {
  cookies = RemoveAllSpaces(cookies);
  received = RemoveAllSpaces(received);

  const TextArray oldItems = SplitText(cookies, ";");
  TextArray items = SplitText(received, ";");
  for (const Text& item : oldItems) {
    if (!HasCookieName(items, CookieName(item))) items.Append(item);
  }

  Text merged;
  for (const Text& item : items) {
    // A server deletes a cookie by setting this value; neither the old value nor the mark stays.
    if (RightText(item, static_cast<int>(kDeletedMark.size())) == kDeletedMark) continue;
    merged += item;
    merged += "; ";
  }
  merged = LeftText(merged, TextLength(merged) - 2);

  cookies = RemoveDuplicateItems(merged, "; ");
  return cookies;
}

Text CookieName(const Text& item) {
  const int equals = FindText(item, "=");
  return TrimBoth(equals == -1 ? item : LeftText(item, equals - 1));
}

bool HasCookieName(const TextArray& items, const Text& name) {
  for (const Text& item : items) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

Text RemoveDuplicateItems(const Text& text, const Text& separator) {
  TextArray kept;
  Text joined;
  for (const Text& piece : SplitText(text, separator)) {
    if (IndexOfItem(kept, piece) != -1) continue;
    kept.Append(piece);
    joined += piece;
    joined += separator;
  }
  return LeftText(joined, TextLength(joined) - TextLength(separator));
}

int IndexOfItem(const TextArray& items, const Text& text) {
  for (int index = 1; index <= items.Count(); ++index) {
    if (items.At(index) == text) return index;
  }
  return -1;
}

}  // namespace kestrin
