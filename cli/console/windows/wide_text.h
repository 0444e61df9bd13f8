// UTF-8, the tool's text inside, to and from the UTF-16 of Windows' wide functions.
#pragma once

#include <string>
#include <string_view>

#include "runtime/codepage.h"
#include "runtime/windows/windows_api.h"

namespace kestrin::cli {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  return {utf16.begin(), utf16.end()};
}

inline std::string Utf8Of(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  }
  return out;
}

}  // namespace kestrin::cli
