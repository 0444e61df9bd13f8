// IndexNow: the JSON request, the key-file check and what the endpoint's statuses mean.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli/engines/batch_verdict.h"
#include "cli/net/http_client.h"
#include "cli/sources/sources.h"

namespace kestrin::cli {

inline constexpr std::size_t kIndexNowBatch = 10000;
inline constexpr std::string_view kIndexNowEndpoint = "https://api.indexnow.org/indexnow";

// IndexNow keys are 8 to 128 characters of letters, digits and '-'.
[[nodiscard]] bool ValidIndexNowKey(std::string_view key);
// https://HOST/KEY.txt
[[nodiscard]] std::string DefaultKeyLocation(std::string_view host, std::string_view key);
// {"host", "key", "keyLocation", "urlList"} as the endpoint takes it.
[[nodiscard]] std::string IndexNowBody(std::string_view host, std::string_view key, std::string_view keyLocation,
                                       std::span<const std::string> urls);

// Empty when the key file at `location` holds `key` (surrounding spaces ignored); otherwise why
// not, in the reader's language.
[[nodiscard]] std::string CheckKeyFile(const std::string& location, std::string_view key, const Fetch& fetch);

// The outcome of one POST of `urls`: 200 and 202 accept them all; 400, 403, 422 and 429 each
// fail them with their meaning, 403 as an authentication failure.
[[nodiscard]] BatchVerdict ReadIndexNowReply(const HttpReply& reply, std::span<const std::string> urls);

}  // namespace kestrin::cli
