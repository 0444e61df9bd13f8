#include "web/between.h"

#include "runtime/text_ops.h"

namespace kestrin {
namespace {

// "#引号" in GBK, spelled as bytes so that the value does not depend on the compiler's charset.
constexpr std::string_view kQuoteWord = "#\xD2\xFD\xBA\xC5";

// A marker typed by the user cannot hold a bare double quote in every field, so it spells it.
Text UnquoteMarker(std::string_view marker) {
  if (marker.find('#') == std::string_view::npos) return Text(marker);
  return ReplaceText(Text(marker), kQuoteWord, "\"");
}

}  // namespace

Text TextBetween(const Text& text, std::string_view left, std::string_view right) {
  const Text leftMarker = UnquoteMarker(left);
  const Text rightMarker = UnquoteMarker(right);
  const int leftAt = FindText(text, leftMarker);
  if (leftAt == -1) return {};
  const long long pieceStart = static_cast<long long>(leftAt) + static_cast<long long>(leftMarker.size());
  if (pieceStart > TextLength(text)) return {};  // nothing after the left marker to search
  const int rightAt = FindText(text, rightMarker, static_cast<int>(pieceStart));
  if (rightAt == -1) return {};
  return MidText(text, static_cast<int>(pieceStart), rightAt - static_cast<int>(pieceStart));
}

}  // namespace kestrin
