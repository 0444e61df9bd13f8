// Reading what the link-submission interface answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// One answer of the interface, as far as it could be read.
struct SubmitAnswer {
  bool isJson = false;  // the body is a JSON object
  // Numeric members only: a member written as a string, or a number that is not a whole one
  // inside the 64-bit range, counts as absent.
  std::optional<std::int64_t> success, successDaily, remain, remainDaily;
  std::vector<std::string> notSameSite, notValid;  // the addresses the answer names, string items only
  std::optional<int> error;                        // the error form {"error":N,"message":"..."}
  std::string message;                             // the bytes of the "message" string
};

// Reads a body as the interface answers; never throws; any garbage gives isJson=false. A body
// that is not valid UTF-8 (a GBK message) is read all the same, its strings keeping their bytes.
[[nodiscard]] SubmitAnswer ReadSubmitAnswer(std::string_view body);

// Whether an answer accepts the submission: HTTP 2xx AND either a JSON object whose numeric
// success or success_daily is at least 1, or a body that is not JSON at all (its first byte
// after spaces is not '{') holding "success" as a word of its own. Any other JSON, an answer
// cut off, and every other status fail.
[[nodiscard]] bool IsAcceptedAnswer(int httpStatus, std::string_view body);

}  // namespace kestrin
