#include "links/submit_answer.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

namespace kestrin {
namespace {

using Json = nlohmann::json;

// The JSON parser wants UTF-8, while the interface may put GBK text in its message. Every byte
// of 0x80 or more goes through the parser as the escape \u00XX and comes back as that byte; so
// does an ASCII trail byte of a GBK character, which may be a backslash that would otherwise
// escape the closing quote.
std::string EscapeHighBytes(std::string_view body) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(body.size() * 2);
  const auto escape = [&out](unsigned char b) {
    out += "\\u00";
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  };
  for (std::size_t i = 0; i < body.size(); ++i) {
    const auto b = static_cast<unsigned char>(body[i]);
    if (b < 0x80) {
      out += body[i];
      continue;
    }
    escape(b);
    if (b >= 0x81 && b <= 0xFE && i + 1 < body.size()) {
      const auto trail = static_cast<unsigned char>(body[i + 1]);
      if (trail >= 0x40 && trail <= 0x7E) {
        escape(trail);
        ++i;
      }
    }
  }
  return out;
}

// Undoes EscapeHighBytes on a string the parser returned: U+0080..U+00FF become single bytes.
std::string RestoreHighBytes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b == 0xC2 || b == 0xC3) && i + 1 < text.size()) {
      out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A member that is a whole number inside the 64-bit range.
std::optional<std::int64_t> WholeNumber(const Json& object, const char* name) {
  const auto member = object.find(name);
  if (member == object.end()) return std::nullopt;
  if (member->is_number_unsigned()) {
    const auto value = member->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(value);
  }
  if (member->is_number_integer()) return member->get<std::int64_t>();
  if (member->is_number_float()) {
    const double value = member->get<double>();
    // 2^63 is exactly representable; every double below it in magnitude converts safely.
    if (!std::isfinite(value) || value != std::trunc(value) || std::fabs(value) >= 9223372036854775808.0) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
  }
  return std::nullopt;
}

std::optional<std::string> StringMember(const Json& object, const char* name, bool restore) {
  const auto member = object.find(name);
  if (member == object.end() || !member->is_string()) return std::nullopt;
  const auto& text = member->get_ref<const std::string&>();
  return restore ? RestoreHighBytes(text) : text;
}

std::vector<std::string> StringItems(const Json& object, const char* name, bool restore) {
  std::vector<std::string> items;
  const auto member = object.find(name);
  if (member == object.end() || !member->is_array()) return items;
  for (const Json& item : *member) {
    if (!item.is_string()) continue;
    const auto& text = item.get_ref<const std::string&>();
    items.push_back(restore ? RestoreHighBytes(text) : text);
  }
  return items;
}

// The first byte after JSON's spaces and a UTF-8 byte-order mark, which the parser skips too.
int FirstMeaningfulByte(std::string_view body) {
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  const std::size_t at = body.find_first_not_of(" \t\r\n");
  return at == std::string_view::npos ? -1 : static_cast<unsigned char>(body[at]);
}

bool IsWordByte(unsigned char b) {
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
}

// Whether `word` stands in `text` with no letter, digit or '_' on either side. The text is
// walked unit by unit, so the second byte of a two-byte character neither starts a match nor
// joins one.
bool HoldsWord(std::string_view text, std::string_view word) {
  bool afterWordByte = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x81) {  // a two-byte character; 0x80 is the euro sign
      i += i + 1 < text.size() ? 2 : 1;
      afterWordByte = false;
      continue;
    }
    if (!afterWordByte && text.substr(i).starts_with(word)) {
      const std::size_t end = i + word.size();
      if (end == text.size() || !IsWordByte(static_cast<unsigned char>(text[end]))) return true;
    }
    afterWordByte = IsWordByte(b);
    ++i;
  }
  return false;
}

}  // namespace

SubmitAnswer ReadSubmitAnswer(std::string_view body) {
  SubmitAnswer answer;
  if (FirstMeaningfulByte(body) != '{') return answer;
  bool restore = false;
  Json json = Json::parse(body.begin(), body.end(), nullptr, false);
  if (json.is_discarded()) {
    json = Json::parse(EscapeHighBytes(body), nullptr, false);
    restore = true;
  }
  if (json.is_discarded() || !json.is_object()) return answer;

  answer.isJson = true;
  answer.success = WholeNumber(json, "success");
  answer.successDaily = WholeNumber(json, "success_daily");
  answer.remain = WholeNumber(json, "remain");
  answer.remainDaily = WholeNumber(json, "remain_daily");
  answer.notSameSite = StringItems(json, "not_same_site", restore);
  answer.notValid = StringItems(json, "not_valid", restore);
  if (const auto error = WholeNumber(json, "error");
      error && *error >= std::numeric_limits<int>::min() && *error <= std::numeric_limits<int>::max()) {
    answer.error = static_cast<int>(*error);
  }
  answer.message = StringMember(json, "message", restore).value_or(std::string());
  return answer;
}

bool IsAcceptedAnswer(int httpStatus, std::string_view body) {
  if (httpStatus < 200 || httpStatus > 299) return false;
  const SubmitAnswer answer = ReadSubmitAnswer(body);
  if (answer.isJson) return answer.success.value_or(0) >= 1 || answer.successDaily.value_or(0) >= 1;
  // Something that looks like JSON but cannot be read, such as an answer cut off, says nothing.
  if (FirstMeaningfulByte(body) == '{') return false;
  // Other interfaces answer in plain text.
  return HoldsWord(body, "success");
}

}  // namespace kestrin
