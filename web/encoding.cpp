#include "web/encoding.h"

#include <string_view>

#include "runtime/codepage.h"

namespace kestrin {

Text Utf8ToGbk(const Text& text) {
  std::string_view utf8(text);
  utf8 = utf8.substr(0, utf8.find('\0'));
  return Utf8ToGbkText(utf8);
}

}  // namespace kestrin
