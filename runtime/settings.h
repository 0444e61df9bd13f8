// The private-profile settings file: [section] lines and key=value lines, GBK, CR LF.
#pragma once

#include <optional>

#include "runtime/text.h"

namespace kestrin {

// The value of `key` in `section` of `file`, at most 10239 bytes, or `fallback` when the file,
// section or key is missing. Leading bytes <= 0x20 of the three names are skipped; when one of
// them is then empty the result is the empty text. Names match with ASCII case ignored and blanks
// around them ignored; blanks and one pair of matching quotes around the value are dropped.
[[nodiscard]] Text ReadSetting(const Text& file, const Text& section, const Text& key,
                               const Text& fallback = {});

// Writes `value` for `key`; an omitted key deletes the section, an omitted value the key.
// A missing file is created. The old file stays whole if the write fails part-way. Names or a
// value holding a line break are refused (false), as they would forge lines of their own.
[[nodiscard]] bool WriteSetting(const Text& file, const Text& section, std::optional<Text> key,
                                std::optional<Text> value);

}  // namespace kestrin
