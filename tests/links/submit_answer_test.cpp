#include "links/submit_answer.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrin {
namespace {

struct AcceptCase {
  const char* name;
  int status;
  std::string body;
  bool accepted;
};

const AcceptCase kAcceptCases[] = {
    {"accepted", 200, R"({"remain":4999,"success":1})", true},
    {"several accepted", 200, R"({"success":3, "remain" : 12})", true},
    {"accepted by the daily count", 200, R"({"success_daily":1,"remain_daily":9})", true},
    {"a whole number written as a fraction", 200, R"({"success":1.0})", true},
    {"spaces and a byte-order mark before the object", 200, "\xEF\xBB\xBF \r\n\t{\"success\":1}", true},
    {"other 2xx statuses count", 201, R"({"success":1})", true},
    {"none accepted", 200, R"({"remain":4999,"success":0,"not_valid":["http://a/b"]})", false},
    {"cut off after the count", 200, R"({"remain":4999,"success":0)", false},
    {"cut off after a count of 1", 200, R"({"remain":4999,"success":1)", false},
    {"the count written as a string", 200, R"({"success":"0"})", false},
    {"the count written as a string of 1", 200, R"({"success":"1"})", false},
    {"a zero count beside an overflowing number", 200, R"({"success":0,"remain":1e999})", false},
    {"an overflowing count", 200, R"({"success":1e999})", false},
    {"a fraction below one", 200, R"({"success":0.5})", false},
    {"a negative count", 200, R"({"success":-1})", false},
    {"the word only in a message", 200, R"({"error":400,"message":"success is not guaranteed"})", false},
    {"a count in capitals", 200, R"({"SUCCESS":1})", false},
    {"a count inside a nested object", 200, R"({"data":{"success":1}})", false},
    {"trailing bytes after the object", 200, R"({"success":1} and more)", false},
    {"an error status with the word", 500, "Internal error: success unknown", false},
    {"an error status with a count", 500, R"({"success":1})", false},
    {"a redirect status", 302, R"({"success":1})", false},
    {"no response at all", 0, R"({"success":1})", false},
    {"an empty answer", 200, "", false},
    {"plain text with the word", 200, "success", true},
    {"plain text with the word in a page", 200, "<html>success remain\":77,</html>", true},
    {"plain text with the word before a Chinese character", 200, "\xB3\xC9success\xB9\xA6", true},
    {"unsuccessful is no success", 200, "Request unsuccessful", false},
    {"successful is no success", 200, "successful", false},
    {"success_daily as plain text is no success", 200, "success_daily", false},
    {"the word in capitals", 200, "SUCCESS", false},
    {"a trail byte that is a letter does not join the word", 200, "\xB0\x61success", true},
    {"a deeply nested object", 200, "{\"a\":" + std::string(100'000, '[') + std::string(100'000, ']') + "}", false},
    // Only an object marks JSON: an array is read as plain text.
    {"an array with the word", 200, R"(["success"])", true},
};

TEST(IsAcceptedAnswer, NeedsA2xxStatusAndACountOrTheWordInPlainText) {
  for (const AcceptCase& row : kAcceptCases) {
    EXPECT_EQ(IsAcceptedAnswer(row.status, row.body), row.accepted) << row.name;
  }
}

TEST(ReadSubmitAnswer, ReadsTheMembersOfTheUsualAnswers) {
  const SubmitAnswer accepted = ReadSubmitAnswer(
      R"({"remain":4998,"success":1,"remain_daily":9,"success_daily":0,"not_same_site":["http://x/1",2],"not_valid":[]})");
  EXPECT_TRUE(accepted.isJson);
  EXPECT_EQ(accepted.success, 1);
  EXPECT_EQ(accepted.remain, 4998);
  EXPECT_EQ(accepted.remainDaily, 9);
  EXPECT_EQ(accepted.successDaily, 0);
  EXPECT_EQ(accepted.notSameSite, std::vector<std::string>{"http://x/1"});
  EXPECT_TRUE(accepted.notValid.empty());
  EXPECT_FALSE(accepted.error.has_value());

  const SubmitAnswer refused = ReadSubmitAnswer(R"({"error":401,"message":"token is not valid"})");
  EXPECT_TRUE(refused.isJson);
  EXPECT_EQ(refused.error, 401);
  EXPECT_EQ(refused.message, "token is not valid");
  EXPECT_FALSE(refused.success.has_value());
}

TEST(ReadSubmitAnswer, MessagesKeepTheirBytes) {
  struct Row {
    const char* name;
    std::string body;
    std::string message;
    std::optional<std::int64_t> success;
  };
  const Row rows[] = {
      {"UTF-8", "{\"success\":0,\"message\":\"\xE5\xA4\xB1\xE8\xB4\xA5\"}", "\xE5\xA4\xB1\xE8\xB4\xA5", 0},
      {"GBK", "{\"success\":1,\"message\":\"\xB3\xC9\xB9\xA6\"}", "\xB3\xC9\xB9\xA6", 1},
      // The second byte of this GBK character is a backslash, which must not escape the quote.
      {"GBK with a backslash trail byte", "{\"message\":\"\x81\x5C\",\"success\":0}", "\x81\x5C", 0},
      {"an escape of the answer's own", R"({"message":"a\"b\\c\u4e2d"})", "a\"b\\c\xE4\xB8\xAD", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const SubmitAnswer answer = ReadSubmitAnswer(row.body);
    EXPECT_TRUE(answer.isJson);
    EXPECT_EQ(answer.message, row.message);
    EXPECT_EQ(answer.success, row.success);
  }
}

TEST(ReadSubmitAnswer, GarbageIsNotJson) {
  const std::string rows[] = {
      "",
      "   ",
      "{",
      "{\"success\":1",
      "[1,2]",
      "<html>{\"success\":1}</html>",
      std::string(100'000, '{'),
      std::string("{\"success\":1,\0\"remain\":2}", 26),
  };
  for (const std::string& body : rows) {
    const SubmitAnswer answer = ReadSubmitAnswer(body);
    EXPECT_FALSE(answer.isJson) << body.substr(0, 40);
    EXPECT_FALSE(answer.success.has_value());
  }
}

}  // namespace
}  // namespace kestrin
