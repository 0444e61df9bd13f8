#include "web/all_between.h"

#include <algorithm>

#include "runtime/events.h"
#include "runtime/text_ops.h"
#include "web/between.h"

namespace kestrin {
namespace {

// FindText answers 1 for an empty sought text wherever the search starts; here an empty marker
// matches where the search starts instead, so that the loop cannot fall back.
int FindMarker(const Text& text, const Text& marker, int from, bool ignoreCase) {
  if (marker.empty()) return from <= TextLength(text) ? from : -1;
  return FindText(text, marker, from, ignoreCase);
}

}  // namespace

TextArray AllTextsBetween(const Text& text, const Text& left, const Text& right, const AllTextsOptions& options) {
  TextArray pieces;
  const bool ignoreCase = !options.caseSensitive;
  int position = std::max(options.start, 1);
  for (;;) {
    const int leftAt = FindMarker(text, left, position, ignoreCase);
    if (leftAt == -1) break;
    const int pieceStart = leftAt + TextLength(left);
    const int rightAt = FindMarker(text, right, pieceStart, ignoreCase);
    if (rightAt == -1) break;

    Text piece = JoinTexts(options.prefix, TrimBoth(MidText(text, pieceStart, rightAt - pieceStart)), options.suffix);
    int next = pieceStart;
    if (!piece.empty()) {
      if (options.includeLeft) piece.insert(0, left);
      if (options.includeRight) piece += right;
      if (options.maximumLength == 0 || TextLength(piece) < options.maximumLength) pieces.Append(std::move(piece));
      next = rightAt;
    }
    ProcessPendingEvents();
    // Only an empty left marker can leave the position where it was; that ends the search.
    if (next <= position) break;
    position = next;
  }
  return pieces;
}

Text SiteRootOfListAddress(const Text& listAddress) {
  return JoinTexts("http://", TextBetween(listAddress, "http://", "/"));
}

}  // namespace kestrin
