#include "cli/sources/xml_encodings.h"

#include <libxml/encoding.h>

#include <algorithm>
#include <string>

#include "runtime/windows/windows_api.h"

namespace kestrin::cli {
namespace {

// The length of the character that begins with `lead`, followed by `next`, in `codePage`.
int CharacterLength(UINT codePage, unsigned char lead, unsigned char next) {
  if (lead < 0x80) return 1;
  if (codePage == 54936) return next >= 0x30 && next <= 0x39 ? 4 : 2;  // GB18030's four-byte form
  return IsDBCSLeadByteEx(codePage, lead) != 0 ? 2 : 1;
}

// libxml2's input converter for code page `kCodePage`: the whole characters of `in` that fit
// `out` as UTF-8 (three bytes at most per byte in), the last partial one left for the next call.
template <UINT kCodePage>
int ToUtf8(unsigned char* out, int* outLength, const unsigned char* in, int* inLength) {
  const int budget = std::min(*inLength, *outLength / 3);
  int whole = 0;
  while (whole < budget) {
    const int length = CharacterLength(kCodePage, in[whole], whole + 1 < *inLength ? in[whole + 1] : 0);
    if (whole + length > budget) break;
    whole += length;
  }
  *inLength = whole;
  if (whole == 0) {
    *outLength = 0;
    return 0;
  }
  std::wstring wide(static_cast<std::size_t>(whole), L'\0');
  const int wideLength = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(in), whole,
                                             wide.data(), whole);
  const int written = wideLength > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength,
                                                           reinterpret_cast<char*>(out), *outLength, nullptr, nullptr)
                                     : 0;
  if (written <= 0) {
    *inLength = 0;
    *outLength = 0;
    return -2;  // bytes that are no character of the set
  }
  *outLength = written;
  return written;
}

}  // namespace

void AddXmlEncodings() {
  static const bool added = [] {
    const struct {
      const char* name;
      xmlCharEncodingInputFunc input;
    } sets[] = {
        {"GBK", ToUtf8<936>},         {"GB2312", ToUtf8<936>},       {"CP936", ToUtf8<936>},
        {"EUC-CN", ToUtf8<936>},      {"GB18030", ToUtf8<54936>},    {"BIG5", ToUtf8<950>},
        {"SHIFT_JIS", ToUtf8<932>},   {"EUC-KR", ToUtf8<949>},       {"WINDOWS-1252", ToUtf8<1252>},
        {"WINDOWS-1251", ToUtf8<1251>}, {"KOI8-R", ToUtf8<20866>},
    };
    // Each handler made is registered by its making.
    for (const auto& set : sets) xmlNewCharEncodingHandler(set.name, set.input, nullptr);
    return true;
  }();
  (void)added;
}

}  // namespace kestrin::cli
