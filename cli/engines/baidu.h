// Baidu's link-submission interface: the request for a batch and what its answer means for each
// address in it.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli/engines/batch_verdict.h"
#include "cli/net/http_client.h"

namespace kestrin::cli {

inline constexpr std::size_t kBaiduBatch = 2000;  // the interface's own limit per request
inline constexpr std::string_view kBaiduInterface = "http://data.zz.baidu.com/urls";

// INTERFACE?site=SITE&token=TOKEN[&type=daily], the two values percent-encoded where a query
// needs it (':' and '/' stay, as the interface's own examples write the site).
[[nodiscard]] std::string BaiduAddress(std::string_view interface, std::string_view site, std::string_view token,
                                       bool daily);
// The addresses one per line.
[[nodiscard]] std::string BaiduBody(std::span<const std::string> urls);

// What the interface's reply to `urls` means. An answer naming addresses not_same_site or
// not_valid refuses those; the others are accepted only when the answer's count covers them
// (success, or success_daily for the daily quota), else they fail: a failure never counts as a
// success.
[[nodiscard]] BatchVerdict ReadBaiduReply(const HttpReply& reply, std::span<const std::string> urls, bool daily);

}  // namespace kestrin::cli
