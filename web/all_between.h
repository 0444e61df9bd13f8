// Cutting every text that lies between two markers.
#pragma once

#include "runtime/text.h"

namespace kestrin {

struct AllTextsOptions {
  bool caseSensitive = false;  // false: markers are found with ASCII case ignored
  int maximumLength = 0;       // when not 0, only pieces shorter than this (in bytes) are kept
  Text prefix{};               // put before every piece
  Text suffix{};               // put after every piece
  bool includeLeft = false;    // put the left marker, as passed, before the piece
  bool includeRight = false;   // put the right marker, as passed, after the piece
  int start = 1;               // 1-based byte position where the search begins
};

// Every piece between `left` and the next `right` after it, in page order, trimmed of spaces,
// then wrapped in prefix and suffix; a piece left empty is skipped and the search goes on after
// its left marker. After a kept piece the search resumes at its right marker, so one marker may
// close a piece and open the next. "#引号" is not replaced here. An empty marker matches where
// its search begins; a round that would not move the search forward ends it, so the call always
// returns. Lets pending window events through once per round.
[[nodiscard]] TextArray AllTextsBetween(const Text& text, const Text& left, const Text& right,
                                        const AllTextsOptions& options = {});

}  // namespace kestrin
