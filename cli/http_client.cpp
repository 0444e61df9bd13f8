#include "cli/http_client.h"

#include "web/web_request.h"

namespace kestrin::cli {
namespace {

constexpr std::string_view kAgent = "kestrin-cli/1.0";

Transfer TransferOf(TransferOutcome outcome) {
  switch (outcome) {
    case TransferOutcome::kComplete: return Transfer::kComplete;
    case TransferOutcome::kTimedOut: return Transfer::kTimedOut;
    case TransferOutcome::kConnectFailed:
    case TransferOutcome::kTlsFailed: return Transfer::kConnectFailed;
    case TransferOutcome::kTooLarge: return Transfer::kTooLarge;
    case TransferOutcome::kFailed: return Transfer::kBroken;
    case TransferOutcome::kNotSent: break;
  }
  return Transfer::kFailed;
}

HttpReply Exchange(const std::string& address, WebRequestOptions options, const HttpLimits& limits) {
  options.timeoutMs = limits.timeoutMs;
  options.maxBodyBytes = limits.maxBodyBytes;
  // A cookie text of its own keeps each request away from the process-wide cookie store.
  Text cookies;
  const WebResponse response = WebRequest(address, options, &cookies);
  HttpReply reply;
  reply.transfer = TransferOf(response.outcome);
  reply.status = response.status;
  if (response.Completed()) reply.body.assign(response.body.begin(), response.body.end());
  return reply;
}

// The Referer line is ours so that the interface address, token and all, is not repeated in it.
Text HeaderLines(std::string_view contentType) {
  Text headers = "User-Agent: " + std::string(kAgent) + "\r\nAccept: */*\r\nReferer: kestrin-cli";
  if (!contentType.empty()) headers += "\r\nContent-Type: " + std::string(contentType);
  return headers;
}

}  // namespace

HttpReply HttpGet(const std::string& address, const HttpLimits& limits) {
  WebRequestOptions options;
  options.headers = HeaderLines({});
  return Exchange(address, std::move(options), limits);
}

HttpReply HttpPost(const std::string& address, std::string_view contentType, std::string_view body,
                   const HttpLimits& limits) {
  WebRequestOptions options;
  options.method = static_cast<int>(HttpMethod::kPost);
  options.headers = HeaderLines(contentType);
  options.byteBody.assign(body.begin(), body.end());
  return Exchange(address, std::move(options), limits);
}

std::string DescribeReply(const HttpReply& reply) {
  switch (reply.transfer) {
    case Transfer::kComplete: return "HTTP " + std::to_string(reply.status);
    case Transfer::kTimedOut: return "timed out";
    case Transfer::kConnectFailed: return "connection failed";
    case Transfer::kTooLarge: return "answer too large";
    case Transfer::kBroken: return "connection broken before the answer";
    case Transfer::kFailed: break;
  }
  return "not sent";
}

}  // namespace kestrin::cli
