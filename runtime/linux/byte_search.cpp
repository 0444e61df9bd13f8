#include <string.h>

#include "runtime/byte_search.h"

namespace kestrin {

const char* FindBytes(const char* text, std::size_t size, const char* sought, std::size_t soughtSize) {
  return static_cast<const char*>(::memmem(text, size, sought, soughtSize));
}

}  // namespace kestrin
