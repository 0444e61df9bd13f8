#include <gtest/gtest.h>

#include <string>

#include "links/submit_answer.h"

namespace kestrin {
namespace {

struct ErrorCase {
  const char* name;
  int status;
  const char* body;
  AnswerError meaning;
  const char* reason;
};

const ErrorCase kErrorCases[] = {
    {"accepted", 200, R"({"remain":4999,"success":1})", AnswerError::kNone, ""},
    {"site error", 400, R"({"error":400,"message":"site error"})", AnswerError::kSite,
     "error 400: site error (the site is not verified under the token's account)"},
    {"site init fail", 400, R"({"error":400,"message":"site init fail"})", AnswerError::kSite,
     "error 400: site init fail (the site is not ready for submissions yet)"},
    {"empty content", 400, R"({"error":400,"message":"empty content"})", AnswerError::kRequest,
     "error 400: empty content (the request held no address)"},
    {"too many addresses", 400, R"({"error":400,"message":"only 2000 urls are allowed once"})",
     AnswerError::kRequest, "error 400: only 2000 urls are allowed once (the request held more than 2000 addresses)"},
    {"over quota", 400, R"({"error":400,"message":"over quota"})", AnswerError::kOverQuota,
     "error 400: over quota (today's quota is spent)"},
    {"bad token", 401, R"({"error":401,"message":"token is not valid"})", AnswerError::kAuth,
     "error 401: token is not valid (the token is refused)"},
    {"not found", 404, R"({"error":404,"message":"not found"})", AnswerError::kInterface,
     "error 404: not found (the interface address is wrong)"},
    {"internal error", 500, R"({"error":500,"message":"internal error"})", AnswerError::kInterface,
     "error 500: internal error (the interface failed)"},
    // The error member decides even when the status says otherwise, as proxies rewrite statuses.
    {"error form under status 200", 200, R"({"error":400,"message":"over quota"})", AnswerError::kOverQuota,
     "error 400: over quota (today's quota is spent)"},
    {"unknown message keeps its words", 400, R"({"error":400,"message":"something new"})", AnswerError::kRequest,
     "error 400: something new"},
    {"known message under another code", 403, R"({"error":403,"message":"over quota"})", AnswerError::kAuth,
     "error 403: over quota"},
    {"status without a body", 502, "", AnswerError::kInterface, "error 502"},
    {"plain 2xx page", 200, "<html>ok</html>", AnswerError::kNone, ""},
};

TEST(ErrorOfAnswer, KnownMessagesHaveTheirMeaningAndReason) {
  for (const ErrorCase& row : kErrorCases) {
    SCOPED_TRACE(row.name);
    const SubmitAnswer answer = ReadSubmitAnswer(row.body);
    EXPECT_EQ(ErrorOfAnswer(row.status, answer), row.meaning);
    EXPECT_EQ(ErrorReason(row.status, answer), row.reason);
  }
}

}  // namespace
}  // namespace kestrin
