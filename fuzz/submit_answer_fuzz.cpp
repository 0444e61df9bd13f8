// libFuzzer target: the reader of the submission interface's answers. Whatever a server sends,
// reading never fails, and an answer is accepted only on the grounds IsAcceptedAnswer names.
// Input: one byte choosing the HTTP status, then the body.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "links/submit_answer.h"

namespace {

const int kStatuses[] = {200, 201, 204, 299, 0, 199, 300, 302, 400, 401, 500, 503};

// The first byte after JSON's spaces and a UTF-8 byte-order mark, or -1.
int FirstMeaningfulByte(std::string_view body) {
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  const std::size_t at = body.find_first_not_of(" \t\r\n");
  return at == std::string_view::npos ? -1 : static_cast<unsigned char>(body[at]);
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int status = kStatuses[data[0] % (sizeof kStatuses / sizeof kStatuses[0])];
  const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

  const kestrin::SubmitAnswer answer = kestrin::ReadSubmitAnswer(body);
  const bool accepted = kestrin::IsAcceptedAnswer(status, body);
  if (answer.isJson) Check(FirstMeaningfulByte(body) == '{');
  if (!answer.isJson) {
    Check(!answer.success && !answer.successDaily && !answer.remain && !answer.error);
    Check(answer.notValid.empty() && answer.notSameSite.empty() && answer.message.empty());
  }
  if (!accepted) return 0;
  Check(status >= 200 && status <= 299);
  if (answer.isJson) {
    Check(answer.success.value_or(0) >= 1 || answer.successDaily.value_or(0) >= 1);
  } else {
    Check(FirstMeaningfulByte(body) != '{');
    Check(body.find("success") != std::string_view::npos);
  }
  return 0;
}
