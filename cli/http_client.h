// The tool's HTTP requests, on the core's web request: status and transfer outcome included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin::cli {

enum class Transfer {
  kComplete,       // a whole answer arrived, whatever its status
  kTimedOut,
  kConnectFailed,  // not resolved, refused, unreachable, TLS refused
  kTooLarge,       // the body went over its cap
  kBroken,         // the connection broke or closed before a whole answer came
  kFailed,         // never sent
};

struct HttpReply {
  Transfer transfer = Transfer::kFailed;
  int status = 0;    // the final answer's status; 0 when none arrived
  std::string body;  // empty unless the transfer completed
};

struct HttpLimits {
  std::int64_t timeoutMs = 60000;           // the whole request
  std::int64_t maxBodyBytes = 1024 * 1024;  // bodies past this fail as kTooLarge
};

// GET of `address`.
[[nodiscard]] HttpReply HttpGet(const std::string& address, const HttpLimits& limits);
// POST of `body` with the given content type.
[[nodiscard]] HttpReply HttpPost(const std::string& address, std::string_view contentType, std::string_view body,
                                 const HttpLimits& limits);

// A short English description of a reply that did not complete, or of its status otherwise.
[[nodiscard]] std::string DescribeReply(const HttpReply& reply);

}  // namespace kestrin::cli
