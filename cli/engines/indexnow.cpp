#include "cli/engines/indexnow.h"

#include <cctype>

#include <nlohmann/json.hpp>

#include "cli/console/messages.h"
#include "cli/sources/text_source.h"

namespace kestrin::cli {
namespace {

BatchVerdict FailAll(std::span<const std::string> urls, BatchEnd end, const std::string& reason) {
  BatchVerdict verdict;
  verdict.end = end;
  verdict.reason = reason;
  for (const std::string& url : urls) verdict.outcomes.push_back({url, AddressState::kFailed, reason});
  return verdict;
}

}  // namespace

bool ValidIndexNowKey(std::string_view key) {
  if (key.size() < 8 || key.size() > 128) return false;
  for (const char c : key) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
  }
  return true;
}

std::string DefaultKeyLocation(std::string_view host, std::string_view key) {
  return "https://" + std::string(host) + "/" + std::string(key) + ".txt";
}

std::string IndexNowBody(std::string_view host, std::string_view key, std::string_view keyLocation,
                         std::span<const std::string> urls) {
  nlohmann::ordered_json body = {{"host", host}, {"key", key}, {"keyLocation", keyLocation}, {"urlList", urls}};
  // An address that is not UTF-8 is sent with U+FFFD rather than ending the run in an exception.
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string CheckKeyFile(const std::string& location, std::string_view key, const Fetch& fetch) {
  const HttpReply reply = fetch(location);
  if (reply.transfer != Transfer::kComplete || reply.status < 200 || reply.status > 299) {
    return Tr("key file {} could not be read ({})", "无法读取密钥文件 {}（{}）", {location, DescribeReply(reply)});
  }
  if (Trimmed(reply.body) != key) {
    return Tr("key file {} does not hold the key", "密钥文件 {} 中没有该密钥", {location});
  }
  return {};
}

BatchVerdict ReadIndexNowReply(const HttpReply& reply, std::span<const std::string> urls) {
  if (reply.transfer != Transfer::kComplete) return FailAll(urls, BatchEnd::kStop, DescribeReply(reply));
  switch (reply.status) {
    case 200:
    case 202: {
      BatchVerdict verdict;
      for (const std::string& url : urls) verdict.outcomes.push_back({url, AddressState::kAccepted, ""});
      return verdict;
    }
    case 400: return FailAll(urls, BatchEnd::kStop, Tr("400 bad request: the request is not in IndexNow's format", "400 请求有误：请求不符合 IndexNow 的格式"));
    case 403: return FailAll(urls, BatchEnd::kAuthFailed, Tr("403 forbidden: the key is not valid for this host", "403 禁止：该密钥对此主机无效"));
    case 422:
      return FailAll(urls, BatchEnd::kAnswered,
                     Tr("422 unprocessable: the addresses do not belong to the host, or the key does not match",
                        "422 无法处理：地址不属于该主机，或密钥不符"));
    case 429: return FailAll(urls, BatchEnd::kStop, Tr("429 too many requests: the endpoint asks to slow down", "429 请求过多：接口要求放慢"));
    default: break;
  }
  return FailAll(urls, reply.status >= 500 ? BatchEnd::kStop : BatchEnd::kAnswered, DescribeReply(reply));
}

}  // namespace kestrin::cli
