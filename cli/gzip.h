// Reading gzip-compressed sources (.xml.gz) without letting them grow past a limit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrin::cli {

// Whether `bytes` begin with the gzip magic number.
[[nodiscard]] bool IsGzip(std::string_view bytes);

struct Inflated {
  std::string bytes;
  bool tooLarge = false;  // inflating went past the limit; `bytes` holds the first part only
  bool corrupt = false;   // not gzip, truncated or failing its check
};

// The uncompressed bytes of a gzip stream (concatenated members included), stopping as soon as
// they would exceed `maxBytes`, so a small file that inflates to gigabytes costs no memory.
[[nodiscard]] Inflated Gunzip(std::string_view compressed, std::size_t maxBytes);

}  // namespace kestrin::cli
