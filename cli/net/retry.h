// Sending again after a failure that may pass: exponential back-off with jitter.
#pragma once

#include <cstdint>
#include <functional>

#include "cli/net/http_client.h"

namespace kestrin::cli {

struct RetryPolicy {
  int attempts = 4;                  // sends in all, the first included
  std::int64_t firstDelayMs = 1000;  // before the second send; doubles for each one after
};

// The policy of the tool: the defaults, with a first delay from KESTRIN_CLI_BACKOFF_MS when that
// holds a number (tests shorten the waits with it).
[[nodiscard]] RetryPolicy ToolRetryPolicy();

// Whether a reply is worth sending again: a time-out, a connection that failed or broke, or
// status 429 or 5xx.
[[nodiscard]] bool Retryable(const HttpReply& reply);

// The wait before send number `attempt` (2, 3, …): firstDelayMs · 2^(attempt−2), scaled by
// `jitter` in [0, 1) to between three quarters and five quarters of it, so that runs started
// together spread while the waits stay about 1 s, 2 s and 4 s.
[[nodiscard]] std::int64_t BackoffMs(const RetryPolicy& policy, int attempt, double jitter);

// Sends until a reply is not retryable, the attempts are spent or the next wait would pass the
// run's deadline; returns the last reply.
// `wait` sleeps the given milliseconds (replaceable in tests).
[[nodiscard]] HttpReply SendWithRetries(const std::function<HttpReply()>& send, const RetryPolicy& policy,
                                        const std::function<void(std::int64_t)>& wait);

// Sleeps the calling thread.
void SleepMs(std::int64_t milliseconds);

}  // namespace kestrin::cli
