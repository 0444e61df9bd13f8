#include "runtime/codepage.h"

#include <unicode/ucnv.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "runtime/runtime_error.h"
#include "runtime/text_ops.h"

namespace kestrin {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterHandle = std::unique_ptr<UConverter, ConverterCloser>;

ConverterHandle OpenConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterHandle converter(ucnv_open(name, &status));
  if (U_FAILURE(status) || converter == nullptr) {
    ReportRuntimeError(0, JoinTexts("无法打开字符转换器：", name));
  }
  // Code page 936 replaces what it cannot represent by a question mark; never rely on ICU's
  // default, which is 0x1A for some code pages.
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  return converter;
}

// ICU converters keep state and must not be shared between threads: each thread keeps its own,
// closed when the thread ends. "GBK" is ICU's windows-936 table (0x80 is the euro sign).
UConverter* ThreadConverter(bool gbk) {
  thread_local ConverterHandle gbkConverter = OpenConverter("GBK");
  thread_local ConverterHandle utf8Converter = OpenConverter("UTF-8");
  UConverter* converter = gbk ? gbkConverter.get() : utf8Converter.get();
  ucnv_reset(converter);
  return converter;
}

// Both UTF-8 and GBK give at most one UTF-16 unit per input byte, so the first guess fits;
// the loop only guards against a converter that would need more.
std::u16string ToUtf16(UConverter* converter, std::string_view bytes) {
  std::u16string out(bytes.size() + 1, u'\0');
  const char* source = bytes.data();
  const char* const sourceEnd = source + bytes.size();
  std::size_t written = 0;
  for (;;) {
    UChar* target = out.data() + written;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, sourceEnd, nullptr, true, &status);
    written = static_cast<std::size_t>(target - out.data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return out;
}

// Two bytes per unit is enough for code page 936 and three for UTF-8 (a surrogate pair, two
// units, makes four); the loop only guards the guess.
std::string FromUtf16(UConverter* converter, std::u16string_view utf16, std::size_t bytesPerUnit) {
  std::string out(utf16.size() * bytesPerUnit + 1, '\0');
  const UChar* source = utf16.data();
  const UChar* const sourceEnd = source + utf16.size();
  std::size_t written = 0;
  for (;;) {
    char* target = out.data() + written;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, out.data() + out.size(), &source, sourceEnd, nullptr, true, &status);
    written = static_cast<std::size_t>(target - out.data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return out;
}

// ICU converts UTF-8 to a multi-byte code page without building the UTF-16 text in between;
// the pivot buffer only carries what that shortcut hands back (malformed input among it).
Text ConvertUtf8ToGbk(std::string_view utf8) {
  UConverter* const gbk = ThreadConverter(true);
  UConverter* const utf8Converter = ThreadConverter(false);
  std::string out(utf8.size() + 1, '\0');  // GBK never needs more bytes than UTF-8 gave
  std::array<UChar, 1024> pivot;
  UChar* pivotSource = pivot.data();
  UChar* pivotTarget = pivot.data();
  const char* source = utf8.data();
  std::size_t written = 0;
  bool reset = true;
  for (;;) {
    char* target = out.data() + written;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_convertEx(gbk, utf8Converter, &target, out.data() + out.size(), &source, utf8.data() + utf8.size(),
                   pivot.data(), &pivotSource, &pivotTarget, pivot.data() + pivot.size(), reset, true, &status);
    written = static_cast<std::size_t>(target - out.data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    reset = false;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (c & 0x3F));
}

// ICU's GBK for every BMP character from U+0080 on, as the conversion above writes it: 0 where
// the character is left to ICU, the byte for one byte, lead * 256 + trail for two. Built once
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
  const std::string gbk = ConvertUtf8ToGbk(utf8);
  std::size_t start = 0;
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::size_t end = gbk.find('\n', start);
    if (end == std::string::npos) return std::vector<std::uint16_t>(0x10000, 0);  // all left to ICU
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
// ASCII bytes at a time where they come in runs. Anything else goes to ICU together with what
// follows it up to the next ASCII byte, where every sequence, well-formed or not, has ended, so
// ICU sees it as it would within the whole text.
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
      const std::string part = ConvertUtf8ToGbk(utf8.substr(i, end - i));
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

std::u16string Utf8ToUtf16(std::string_view utf8) { return ToUtf16(ThreadConverter(false), utf8); }

std::u16string GbkToUtf16(std::string_view gbk) { return ToUtf16(ThreadConverter(true), gbk); }

Text Utf16ToGbk(std::u16string_view utf16) {
  // A Text holds no NUL: the conversion stops where the UTF-16 text would end as a C string.
  return FromUtf16(ThreadConverter(true), utf16.substr(0, utf16.find(u'\0')), 2);
}

std::string GbkToUtf8(std::string_view gbk) { return FromUtf16(ThreadConverter(false), GbkToUtf16(gbk), 3); }

}  // namespace kestrin
