// Code page 936 on ICU.
#include <unicode/ucnv.h>

#include <array>
#include <cstdlib>
#include <memory>

#include "runtime/codepage.h"
#include "runtime/codepage_system.h"
#include "runtime/process.h"

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
    // Without its converters the program cannot even word a report: ICU's data is missing.
    WriteStandardError("ICU cannot open the converter ");
    WriteStandardError(name);
    WriteStandardError("\n");
    std::_Exit(-1);
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

}  // namespace

Text SystemUtf8ToGbk(std::string_view utf8) { return ConvertUtf8ToGbk(utf8); }

std::u16string Utf8ToUtf16(std::string_view utf8) { return ToUtf16(ThreadConverter(false), utf8); }

std::u16string GbkToUtf16(std::string_view gbk) { return ToUtf16(ThreadConverter(true), gbk); }

Text Utf16ToGbk(std::u16string_view utf16) {
  // A Text holds no NUL: the conversion stops where the UTF-16 text would end as a C string.
  return FromUtf16(ThreadConverter(true), utf16.substr(0, utf16.find(u'\0')), 2);
}

std::string GbkToUtf8(std::string_view gbk) { return FromUtf16(ThreadConverter(false), GbkToUtf16(gbk), 3); }

}  // namespace kestrin
