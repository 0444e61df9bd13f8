#include "runtime/utf8.h"

namespace kestrin {

std::u16string DecodeUtf8(std::string_view utf8) {
  const auto* const s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::u16string out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const unsigned char lead = s[i];
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    // How many continuation bytes follow, and the range the first of them must lie in, which
    // rules out overlong forms, surrogates and values past U+10FFFF.
    int need = 0;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      c = lead & 0x0F;
      if (lead == 0xE0) lower = 0xA0;
      if (lead == 0xED) upper = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      c = lead & 0x07;
      if (lead == 0xF0) lower = 0x90;
      if (lead == 0xF4) upper = 0x8F;
    } else {
      out += u'\xFFFD';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    for (; need > 0; --need, ++j) {
      if (j >= n || s[j] < lower || s[j] > upper) break;
      c = c << 6 | (s[j] & 0x3F);
      lower = 0x80;
      upper = 0xBF;
    }
    i = j;
    if (need > 0) {
      out += u'\xFFFD';
    } else if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace kestrin
