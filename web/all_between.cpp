#include "web/all_between.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "runtime/events.h"
#include "runtime/text_ops.h"
#include "web/between.h"

namespace kestrin {
namespace {

// FindText answers 1 for an empty sought text wherever the search starts; here an empty marker
// matches where the search starts instead, so that the loop cannot fall back.
int FindMarker(TextFinder& finder, const Text& text, const Text& marker, int from) {
  if (marker.empty()) return from <= TextLength(text) ? from : -1;
  return finder.Find(from);
}

}  // namespace

TextArray AllTextsBetween(const Text& text, const Text& left, const Text& right, const AllTextsOptions& options) {
  TextArray pieces;
  const bool ignoreCase = !options.caseSensitive;
  // Each marker's searches go forward over the text round after round.
  TextFinder leftFinder(text, left, ignoreCase);
  TextFinder rightFinder(text, right, ignoreCase);
  const std::size_t leftSize = options.includeLeft ? left.size() : 0;
  const std::size_t rightSize = options.includeRight ? right.size() : 0;
  int position = std::max(options.start, 1);
  for (;;) {
    const int leftAt = FindMarker(leftFinder, text, left, position);
    if (leftAt == -1) break;
    const int pieceStart = leftAt + TextLength(left);
    const int rightAt = FindMarker(rightFinder, text, right, pieceStart);
    if (rightAt == -1) break;

    // Each kept piece is built once, at its final size; a skipped one is never built.
    const std::size_t bodyOffset = static_cast<std::size_t>(pieceStart) - 1;
    const std::string_view body =
        rightAt > pieceStart
            ? TrimBothView(std::string_view(text).substr(bodyOffset, static_cast<std::size_t>(rightAt - pieceStart)))
            : std::string_view();
    const std::size_t bare = options.prefix.size() + body.size() + options.suffix.size();
    int next = pieceStart;
    if (bare != 0) {
      const std::size_t size = leftSize + bare + rightSize;
      const int length = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
      if (options.maximumLength == 0 || length < options.maximumLength) {
        Text piece;
        piece.reserve(size);
        if (options.includeLeft) piece += left;
        piece.append(options.prefix).append(body).append(options.suffix);
        if (options.includeRight) piece += right;
        pieces.Append(std::move(piece));
      }
      next = rightAt;
    }
    ProcessPendingEvents();
    // Only an empty left marker can leave the position where it was; that ends the search.
    if (next <= position) break;
    position = next;
  }
  return pieces;
}

}  // namespace kestrin
