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

// What an error answer means for the requests that would follow it.
enum class AnswerError {
  kNone,        // not an error answer
  kOverQuota,   // the day's quota is spent: later addresses wait for the next day
  kAuth,        // the token is refused
  kSite,        // the site is not the token's, or not verified: every request would fail alike
  kRequest,     // this request was at fault (empty, too many addresses): the next may pass
  kInterface,   // the interface address is wrong or the interface failed
};

// The meaning of an answer's error form (or of its HTTP status when it has none): the known
// messages are 400 "site error", "site init fail", "empty content", "only 2000 urls are allowed
// once", "over quota"; 401 "token is not valid"; 404 "not found"; 500 "internal error".
// kNone for a 2xx answer without an error member.
[[nodiscard]] AnswerError ErrorOfAnswer(int httpStatus, const SubmitAnswer& answer);
// A readable English reason for an error answer: the known messages explained, others as
// "error N: message". Empty for kNone.
[[nodiscard]] std::string ErrorReason(int httpStatus, const SubmitAnswer& answer);

}  // namespace kestrin
