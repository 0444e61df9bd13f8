// Code page 936 on the system's own conversion functions; UTF-8 decoded by runtime/utf8.h.
#include "runtime/windows/windows_api.h"

#include <algorithm>
#include <climits>

#include "runtime/codepage.h"
#include "runtime/codepage_system.h"
#include "runtime/utf8.h"

namespace kestrin {
namespace {

constexpr UINT kGbk = 936;

// The conversion functions count in int: longer texts go through in pieces cut where no
// character is split (at an ASCII byte, or between UTF-16 units that are no surrogate pair).
constexpr std::size_t kPiece = 1u << 28;

std::u16string ToUtf16(UINT codePage, std::string_view bytes) {
  std::u16string out;
  while (!bytes.empty()) {
    std::size_t take = bytes.size();
    if (take > kPiece) {
      take = kPiece;
      while (take > 1 && static_cast<unsigned char>(bytes[take - 1]) >= 0x80) --take;
    }
    const int n = static_cast<int>(take);
    // A multi-byte text never needs more UTF-16 units than it has bytes.
    const std::size_t at = out.size();
    out.resize(at + take);
    const int written = ::MultiByteToWideChar(codePage, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(&out[at]), n);
    out.resize(at + static_cast<std::size_t>(written > 0 ? written : 0));
    bytes.remove_prefix(take);
  }
  return out;
}

std::string FromUtf16(UINT codePage, std::u16string_view utf16) {
  std::string out;
  while (!utf16.empty()) {
    std::size_t take = std::min(utf16.size(), kPiece);
    if (take < utf16.size() && utf16[take - 1] >= 0xD800 && utf16[take - 1] <= 0xDBFF) --take;
    const int n = static_cast<int>(take);
    const auto* units = reinterpret_cast<const wchar_t*>(utf16.data());
    const int needed = ::WideCharToMultiByte(codePage, 0, units, n, nullptr, 0, nullptr, nullptr);
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(needed > 0 ? needed : 0));
    if (needed > 0) ::WideCharToMultiByte(codePage, 0, units, n, &out[at], needed, nullptr, nullptr);
    utf16.remove_prefix(take);
  }
  return out;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Code page 936 writes a character beyond the BMP as two question marks, one per surrogate; the
// program's rule is one mark per character, so each pair becomes one unit GBK lacks first.
std::u16string OneUnitPerCharacter(std::u16string_view utf16) {
  std::u16string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    if (IsHighSurrogate(utf16[i]) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      out += u'\xFFFD';
      ++i;
    } else {
      out += utf16[i];
    }
  }
  return out;
}

}  // namespace

// Not MultiByteToWideChar: Wine's marks malformed input differently and can lose a byte.
std::u16string Utf8ToUtf16(std::string_view utf8) { return DecodeUtf8(utf8); }

std::u16string GbkToUtf16(std::string_view gbk) { return ToUtf16(kGbk, gbk); }

Text Utf16ToGbk(std::u16string_view utf16) {
  // A Text holds no NUL: the conversion stops where the UTF-16 text would end as a C string.
  return FromUtf16(kGbk, OneUnitPerCharacter(utf16.substr(0, utf16.find(u'\0'))));
}

std::string GbkToUtf8(std::string_view gbk) { return FromUtf16(CP_UTF8, GbkToUtf16(gbk)); }

Text SystemUtf8ToGbk(std::string_view utf8) { return Utf16ToGbk(Utf8ToUtf16(utf8)); }

}  // namespace kestrin
