#include <string_view>

#include "runtime/byte_search.h"

namespace kestrin {

const char* FindBytes(const char* text, std::size_t size, const char* sought, std::size_t soughtSize) {
  const std::string_view haystack(text, size);
  const std::size_t at = haystack.find(std::string_view(sought, soughtSize));
  return at == std::string_view::npos ? nullptr : text + at;
}

}  // namespace kestrin
