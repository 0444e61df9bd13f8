#include "links/submitter.h"

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "runtime/text_ops.h"
#include "web/between.h"
#include "web/web_request.h"

namespace kestrin {

std::atomic<int> SubmittedTotal{0};

namespace {

struct Verdict {
  bool accepted = false;
  Text remaining;  // the remaining-quota figure for the status text
};

// The interface answers in JSON, but a GBK message in it is not the UTF-8 that the parser
// wants. Only numeric members are read, so each two-byte character may stand as "??".
std::string AsciiOnly(const Text& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else {
      out += '?';
      // A GBK trail byte can be '\\' or another ASCII byte that means something to JSON.
      if (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) {
        out += '?';
        ++i;
      }
    }
  }
  return out;
}

std::optional<nlohmann::json> JsonObjectOf(const Text& response) {
  auto json = nlohmann::json::parse(response, nullptr, false);
  if (json.is_discarded()) json = nlohmann::json::parse(AsciiOnly(response), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  return json;
}

// A numeric member of the answer object, or nullptr.
const nlohmann::json* NumberMember(const std::optional<nlohmann::json>& object, const char* name) {
  if (!object) return nullptr;
  const auto member = object->find(name);
  return member != object->end() && member->is_number() ? &*member : nullptr;
}

Text DecimalText(const nlohmann::json& number) {
  if (number.is_number_unsigned()) return std::to_string(number.get<std::uint64_t>());
  if (number.is_number_integer()) return std::to_string(number.get<std::int64_t>());
  return number.dump();
}

// An answer counts when it says so: a JSON object's numeric "success" must be at least 1, since
// the interface answers "success":0 when it accepted nothing. Any other answer counts when it
// holds the word "success". The quota comes from "remain" wherever it stands in the object.
Verdict ReadAnswer(const Text& response) {
  Verdict verdict;
  const auto object = JsonObjectOf(response);
  if (const auto* success = NumberMember(object, "success")) {
    verdict.accepted = success->get<double>() >= 1;
  } else {
    verdict.accepted = FindText(response, "success") != -1;
  }
  if (!verdict.accepted) return verdict;

  if (const auto* remain = NumberMember(object, "remain")) {
    verdict.remaining = DecimalText(*remain);
  } else {
    verdict.remaining = TextBetween(response, "remain\":", ",");
  }
  return verdict;
}

int RaiseSubmittedTotal() {
  const int previous = SubmittedTotal.fetch_add(1);
  return static_cast<int>(static_cast<std::uint32_t>(previous) + 1u);
}

}  // namespace

void SubmitLinks(Controls& form, ControlName listBox, ControlName failureBox) {
  const TextArray lines = SplitText(form.ReadText(listBox), "\r\n");
  for (const Text& line : lines) {
    const Text address = form.ReadText(names::编辑框9);
    WebRequestOptions request;
    request.method = static_cast<int>(HttpMethod::kPost);
    request.textBody = line;
    const Text response = ToText(WebRequest(address, request).body);

    const Verdict verdict = ReadAnswer(response);
    if (verdict.accepted) {
      const int total = RaiseSubmittedTotal();
      form.SetStatusPartText(1, JoinTexts("今日推送还剩：", verdict.remaining, "推送完毕，百度返回文本为：", response,
                                          " 软件已为您成功推送", ToText(total), "条数据"));
    } else {
      form.AppendEditText(failureBox, {JoinTexts("推送失败", line, "\r\n")});
    }
  }
}

}  // namespace kestrin
