#include "runtime/codepage.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "runtime/codepage_system.h"

namespace kestrin {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (c & 0x3F));
}

// The system converter's GBK for every BMP character from U+0080 on: 0 where the character is
// left to the converter, the byte for one byte, lead * 256 + trail for two. Built once
// from one conversion of all the characters, each followed by a line feed: no GBK form of a
// character holds 0x0A, so the output splits back into characters.
std::vector<std::uint16_t> BuildBmpToGbk() {
  std::vector<std::uint16_t> table(0x10000, 0);
  std::string utf8;
  utf8.reserve(0x10000 * 4);
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // surrogates are malformed in UTF-8
    AppendUtf8(utf8, c);
    utf8 += '\n';
  }
  const std::string gbk = SystemUtf8ToGbk(utf8);
  std::size_t start = 0;
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::size_t end = gbk.find('\n', start);
    if (end == std::string::npos) return std::vector<std::uint16_t>(0x10000, 0);  // all left to the converter
    const auto byte = [&](std::size_t i) { return static_cast<std::uint16_t>(static_cast<unsigned char>(gbk[i])); };
    if (end - start == 1 && byte(start) != 0) table[c] = byte(start);
    if (end - start == 2 && byte(start) >= 0x81) {
      table[c] = static_cast<std::uint16_t>(byte(start) << 8 | byte(start + 1));
    }
    start = end + 1;
  }
  if (start != gbk.size()) return std::vector<std::uint16_t>(0x10000, 0);
  return table;
}

const std::uint16_t* BmpToGbk() {
  static const std::vector<std::uint16_t> table = BuildBmpToGbk();
  return table.data();
}

bool IsTrail(unsigned char c) { return (c & 0xC0) == 0x80; }

// The BMP character of a well-formed two- or three-byte sequence at s[i], with its length; a
// length of 0 for anything else (malformed bytes, characters beyond the BMP).
std::pair<char32_t, std::size_t> BmpSequence(const unsigned char* s, std::size_t i, std::size_t n) {
  const unsigned char c = s[i];
  if (c >= 0xC2 && c <= 0xDF) {
    if (i + 1 < n && IsTrail(s[i + 1])) return {static_cast<char32_t>((c & 0x1F) << 6 | (s[i + 1] & 0x3F)), 2};
  } else if (c >= 0xE0 && c <= 0xEF && i + 2 < n) {
    const unsigned char c1 = s[i + 1];
    const unsigned char lowest = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
    const unsigned char highest = c == 0xED ? 0x9F : 0xBF;  // no surrogates
    if (c1 >= lowest && c1 <= highest && IsTrail(s[i + 2])) {
      return {static_cast<char32_t>((c & 0x0F) << 12 | (c1 & 0x3F) << 6 | (s[i + 2] & 0x3F)), 3};
    }
  }
  return {0, 0};
}

// Pages are mostly ASCII and well-formed BMP characters: those are copied or looked up, eight
// ASCII bytes at a time where they come in runs. Anything else goes to the system converter
// together with what follows it up to the next ASCII byte, where every sequence, well-formed or
// not, has ended, so the converter sees it as it would within the whole text.
Text FastUtf8ToGbk(std::string_view utf8) {
  const std::uint16_t* const table = BmpToGbk();
  const auto* const s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  // GBK never needs more bytes than UTF-8 gave: what is left of `out` is never less than what
  // is left of the input, which the eight-byte copies rely on.
  std::string out(n, '\0');
  char* d = out.data();
  std::size_t i = 0;
  while (i < n) {
    if (n - i >= 8 && std::endian::native == std::endian::little) {
      std::uint64_t word = 0;
      std::memcpy(&word, s + i, 8);
      std::memcpy(d, s + i, 8);  // all eight go out; the ASCII ones among them are kept
      const std::uint64_t high = word & 0x8080808080808080ULL;
      const std::size_t ascii = high == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(high)) / 8;
      d += ascii;
      i += ascii;
      if (ascii != 0) continue;
    } else if (s[i] < 0x80) {
      *d++ = static_cast<char>(s[i++]);
      continue;
    }
    // Characters beyond ASCII come in runs (a title, a sentence): stay with them.
    std::uint16_t gbk = 0;
    do {
      const auto [c, length] = BmpSequence(s, i, n);
      gbk = length != 0 ? table[c] : 0;
      if (gbk == 0) break;
      if (gbk >= 0x100) {
        d[0] = static_cast<char>(gbk >> 8);
        d[1] = static_cast<char>(gbk & 0xFF);
        d += 2;
      } else {
        *d++ = static_cast<char>(gbk);
      }
      i += length;
    } while (i < n && s[i] >= 0x80);
    if (gbk == 0) {
      std::size_t end = i + 1;
      while (end < n && s[end] >= 0x80) ++end;
      const std::string part = SystemUtf8ToGbk(utf8.substr(i, end - i));
      std::size_t written = static_cast<std::size_t>(d - out.data());
      if (written + part.size() + (n - end) > out.size()) out.resize(written + part.size() + (n - end));
      std::memcpy(out.data() + written, part.data(), part.size());
      d = out.data() + written + part.size();
      i = end;
    }
  }
  out.resize(static_cast<std::size_t>(d - out.data()));
  return out;
}

}  // namespace

Text Utf8ToGbkText(std::string_view utf8) { return FastUtf8ToGbk(utf8); }

}  // namespace kestrin
