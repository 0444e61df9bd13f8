#include "cli/net/retry.h"

#include <cstdlib>
#include <ctime>
#include <random>

namespace kestrin::cli {

RetryPolicy ToolRetryPolicy() {
  RetryPolicy policy;
  if (const char* value = std::getenv("KESTRIN_CLI_BACKOFF_MS"); value != nullptr && value[0] != '\0') {
    char* end = nullptr;
    const long long ms = std::strtoll(value, &end, 10);
    if (*end == '\0' && ms >= 0) policy.firstDelayMs = ms;
  }
  return policy;
}

bool Retryable(const HttpReply& reply) {
  switch (reply.transfer) {
    case Transfer::kTimedOut:
    case Transfer::kConnectFailed:
    case Transfer::kNameNotResolved:
    case Transfer::kBroken: return true;
    case Transfer::kComplete: return reply.status == 429 || (reply.status >= 500 && reply.status <= 599);
    // A refused certificate or handshake does not heal in seconds: it is told at once.
    case Transfer::kTlsFailed:
    case Transfer::kTooLarge:
    case Transfer::kFailed: break;
  }
  return false;
}

std::int64_t BackoffMs(const RetryPolicy& policy, int attempt, double jitter) {
  const int doublings = attempt < 2 ? 0 : attempt - 2;
  const std::int64_t full = policy.firstDelayMs << doublings;
  return full * 3 / 4 + static_cast<std::int64_t>(static_cast<double>(full) / 2 * jitter);
}

HttpReply SendWithRetries(const std::function<HttpReply()>& send, const RetryPolicy& policy,
                          const std::function<void(std::int64_t)>& wait) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  std::uniform_real_distribution<double> jitter(0.0, 1.0);
  HttpReply reply = send();
  for (int attempt = 2; attempt <= policy.attempts && Retryable(reply); ++attempt) {
    const std::int64_t delay = BackoffMs(policy, attempt, jitter(random));
    // A wait that ends past the run's --timeout would only be followed by a request not sent.
    if (NetworkDeadlineWithin(delay)) break;
    wait(delay);
    reply = send();
  }
  return reply;
}

void SleepMs(std::int64_t milliseconds) {
  if (milliseconds <= 0) return;
  timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&delay, &delay) != 0) {
  }
}

}  // namespace kestrin::cli
