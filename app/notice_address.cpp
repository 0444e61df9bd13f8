#include "app/notice_address.h"

#include "app/layouts.h"
#include "runtime/helper_program.h"

namespace kestrin::app {
namespace {

Text g_noticeWindowAddress;

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SetNoticeWindowAddress(const Text& address) {
  g_noticeWindowAddress = address;
  // Hexadecimal digits are printable ASCII, which the helper's arguments always take.
  static_cast<void>(SetHelperArguments(kNoticeHelper, {HexArgumentOf(address)}));
}

const Text& NoticeWindowAddress() { return g_noticeWindowAddress; }

bool TakeNoticeWindowAddress(std::string_view argument) {
  std::optional<Text> address = AddressOfHexArgument(argument);
  if (!address) return false;
  g_noticeWindowAddress = std::move(*address);
  return true;
}

std::string HexArgumentOf(const Text& address) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  digits.reserve(address.size() * 2);
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    digits += kDigits[byte >> 4];
    digits += kDigits[byte & 0x0F];
  }
  return digits;
}

std::optional<Text> AddressOfHexArgument(std::string_view argument) {
  if (argument.size() % 2 != 0) return std::nullopt;
  Text address;
  address.reserve(argument.size() / 2);
  for (std::size_t i = 0; i < argument.size(); i += 2) {
    const int high = DigitValue(argument[i]);
    const int low = DigitValue(argument[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    address += static_cast<char>(high << 4 | low);
  }
  return address;
}

}  // namespace kestrin::app
