// libFuzzer target: AllTextsBetween with the collector's options (markers found with ASCII case
// ignored, nothing else set) against a plain version built on unit-by-unit searches.
// Input: one byte each for the two marker lengths, the markers, then the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/reference_text.h"
#include "web/all_between.h"

namespace {

using namespace kestrin::fuzz;

// An empty marker matches where its search starts.
int FindMarker(const std::string& text, const std::string& marker, int from) {
  if (marker.empty()) return from <= static_cast<int>(text.size()) ? from : -1;
  return RefFind(text, marker, from, true);
}

std::vector<std::string> RefAllBetween(const std::string& text, const std::string& left, const std::string& right) {
  std::vector<std::string> pieces;
  int position = 1;
  for (;;) {
    const int leftAt = FindMarker(text, left, position);
    if (leftAt == -1) break;
    const int pieceStart = leftAt + static_cast<int>(left.size());
    const int rightAt = FindMarker(text, right, pieceStart);
    if (rightAt == -1) break;
    const std::string piece =
        rightAt > pieceStart ? RefTrimBoth(text.substr(pieceStart - 1, rightAt - pieceStart)) : std::string();
    int next = pieceStart;
    if (!piece.empty()) {
      pieces.push_back(piece);
      next = rightAt;  // the right marker may open the next piece
    }
    if (next <= position) break;
    position = next;
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t leftLength = data[0] % 16, rightLength = data[1] % 16;
  // Texts never hold a NUL byte.
  std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  for (char& c : bytes) c = c == 0 ? 1 : c;
  leftLength = std::min(leftLength, bytes.size());
  const std::string left = bytes.substr(0, leftLength);
  bytes.erase(0, leftLength);
  rightLength = std::min(rightLength, bytes.size());
  const std::string right = bytes.substr(0, rightLength);
  const std::string text = bytes.substr(rightLength);

  const kestrin::TextArray pieces = kestrin::AllTextsBetween(text, left, right);
  if (pieces.Items() != RefAllBetween(text, left, right)) std::abort();
  return 0;
}
