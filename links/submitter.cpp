#include "links/submitter.h"

#include <cstdint>
#include <string>

#include "links/submit_answer.h"
#include "runtime/text_ops.h"
#include "web/between.h"
#include "web/web_request.h"

namespace kestrin {

std::atomic<int> SubmittedTotal{0};

namespace {

// An answer of the interface is a small JSON object, so a second's wait and a few kilobytes
// cover it many times over; the limits only keep a hostile or broken server from holding the
// run or filling memory.
constexpr std::int64_t kAnswerTimeoutMs = 30'000;
constexpr std::int64_t kAnswerMaxBytes = 64 * 1024;

// The remaining-quota figure of an accepted answer: the numeric "remain" wherever it stands in
// the object, else the text between the quota marker and the next comma.
Text RemainingQuota(const Text& response) {
  const SubmitAnswer answer = ReadSubmitAnswer(response);
  if (answer.remain) return std::to_string(*answer.remain);
  return TextBetween(response, "remain\":", ",");
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
    request.timeoutMs = kAnswerTimeoutMs;
    request.maxBodyBytes = kAnswerMaxBytes;
    const WebResponse answer = WebRequest(address, request);
    const Text response = ToText(answer.body);

    if (IsAcceptedAnswer(answer.status, response)) {
      const int total = RaiseSubmittedTotal();
      form.SetStatusPartText(1, JoinTexts("今日推送还剩：", RemainingQuota(response), "推送完毕，百度返回文本为：", response,
                                          " 软件已为您成功推送", ToText(total), "条数据"));
    } else {
      form.AppendEditText(failureBox, {JoinTexts("推送失败", line, "\r\n")});
    }
  }
}

}  // namespace kestrin
