#include "cli/engines/baidu.h"

#include <unordered_set>
#include <utility>

#include "cli/console/messages.h"
#include "links/submit_answer.h"

namespace kestrin::cli {
namespace {

std::string QueryValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == ':' || c == '/') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

BatchVerdict FailAll(std::span<const std::string> urls, BatchEnd end, std::string reason) {
  BatchVerdict verdict;
  verdict.end = end;
  for (const std::string& url : urls) verdict.outcomes.push_back({url, AddressState::kFailed, reason});
  verdict.reason = std::move(reason);
  return verdict;
}

// The interface's error in the reader's language: its code and message as the answer gave them,
// and what a known message means.
std::string Reason(int status, const SubmitAnswer& answer) {
  static constexpr std::pair<std::string_view, std::string_view> kMeanings[] = {
      {"site error", "站点未在该令牌的账号下验证"},
      {"site init fail", "站点尚未准备好接受推送"},
      {"empty content", "请求中没有地址"},
      {"only 2000 urls are allowed once", "一次请求超过 2000 个地址"},
      {"over quota", "今日配额已用完"},
      {"token is not valid", "令牌无效"},
      {"not found", "推送接口地址有误"},
      {"internal error", "推送接口出错"},
  };
  const std::string english = ErrorReason(status, answer);
  std::string chinese = english;
  if (const auto colon = english.find(':'); english.starts_with("error ")) {
    chinese = "错误 " + english.substr(6, colon == std::string::npos ? std::string::npos : colon - 6);
    if (!answer.message.empty()) chinese += "：" + answer.message;
    for (const auto& [message, meaning] : kMeanings) {
      if (message == answer.message) chinese += "（" + std::string(meaning) + "）";
    }
  }
  return Tr(english, chinese);
}

}  // namespace

std::string BaiduAddress(std::string_view interface, std::string_view site, std::string_view token, bool daily) {
  std::string address(interface);
  address += "?site=" + QueryValue(site) + "&token=" + QueryValue(token);
  if (daily) address += "&type=daily";
  return address;
}

std::string BaiduBody(std::span<const std::string> urls) {
  std::string body;
  for (const std::string& url : urls) {
    if (!body.empty()) body += '\n';
    body += url;
  }
  return body;
}

BatchVerdict ReadBaiduReply(const HttpReply& reply, std::span<const std::string> urls, bool daily) {
  if (reply.transfer != Transfer::kComplete) return FailAll(urls, BatchEnd::kStop, DescribeReply(reply));
  const SubmitAnswer answer = ReadSubmitAnswer(reply.body);
  switch (ErrorOfAnswer(reply.status, answer)) {
    case AnswerError::kNone: break;
    case AnswerError::kOverQuota: {
      BatchVerdict verdict;
      verdict.end = BatchEnd::kOverQuota;
      verdict.remain = 0;
      verdict.reason = Reason(reply.status, answer);
      return verdict;
    }
    case AnswerError::kAuth: return FailAll(urls, BatchEnd::kAuthFailed, Reason(reply.status, answer));
    case AnswerError::kSite:
    case AnswerError::kInterface: return FailAll(urls, BatchEnd::kStop, Reason(reply.status, answer));
    case AnswerError::kRequest: return FailAll(urls, BatchEnd::kAnswered, Reason(reply.status, answer));
  }
  if (!answer.isJson) {
    return FailAll(urls, BatchEnd::kAnswered,
                   Tr("unreadable answer (", "无法读懂的应答（") + DescribeReply(reply) + Tr(")", "）"));
  }

  BatchVerdict verdict;
  const auto count = daily ? (answer.successDaily ? answer.successDaily : answer.success)
                           : (answer.success ? answer.success : answer.successDaily);
  verdict.remain = daily ? (answer.remainDaily ? answer.remainDaily : answer.remain)
                         : (answer.remain ? answer.remain : answer.remainDaily);
  const std::unordered_set<std::string> notSameSite(answer.notSameSite.begin(), answer.notSameSite.end());
  const std::unordered_set<std::string> notValid(answer.notValid.begin(), answer.notValid.end());
  std::size_t rest = 0;
  for (const std::string& url : urls) {
    if (notSameSite.contains(url)) {
      verdict.outcomes.push_back({url, AddressState::kNotSameSite, "not_same_site"});
    } else if (notValid.contains(url)) {
      verdict.outcomes.push_back({url, AddressState::kNotValid, "not_valid"});
    } else {
      verdict.outcomes.push_back({url, AddressState::kAccepted, ""});
      ++rest;
    }
  }
  // The answer does not say which addresses a short count left out, so none of the rest is
  // taken as accepted then.
  if (!count || *count < static_cast<std::int64_t>(rest)) {
    const std::string reason =
        Tr("the answer accepted " + std::to_string(count.value_or(0)) + " of " + std::to_string(rest) + " addresses",
           "应答只接受了 " + std::to_string(rest) + " 个地址中的 " + std::to_string(count.value_or(0)) + " 个");
    for (AddressOutcome& outcome : verdict.outcomes) {
      if (outcome.state == AddressState::kAccepted) outcome = {outcome.url, AddressState::kFailed, reason};
    }
  }
  return verdict;
}

}  // namespace kestrin::cli
