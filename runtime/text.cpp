#include "runtime/text.h"

#include <cstring>

#include "runtime/runtime_error.h"

namespace kestrin {

Text MakeText(std::string_view bytes) {
  if (bytes.empty()) return {};  // memchr may not be handed the null pointer of an empty view
  const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
  if (nul != nullptr) bytes = bytes.substr(0, static_cast<const char*>(nul) - bytes.data());
  return Text(bytes);
}

const Text& TextArray::At(int index) const {
  if (index < 1) ReportRuntimeError(4);
  if (index > Count()) ReportRuntimeError(1);
  return items_[static_cast<std::size_t>(index - 1)];
}

}  // namespace kestrin
