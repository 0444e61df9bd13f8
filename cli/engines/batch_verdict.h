// What one request to an engine came to, for every address in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/engines/address_state.h"

namespace kestrin::cli {

enum class BatchEnd {
  kAnswered,    // the addresses have their outcomes; go on with the next request
  kOverQuota,   // nothing was taken: queue this request's addresses and the rest
  kAuthFailed,  // refused for the token or key: the outcomes say failed; stop
  kStop,        // failed in a way the next request would repeat: the outcomes say failed; stop
};

struct BatchVerdict {
  BatchEnd end = BatchEnd::kAnswered;
  std::vector<AddressOutcome> outcomes;  // one per address sent, in order (none for kOverQuota)
  std::optional<std::int64_t> remain;    // the quota left, when the answer tells it
  std::string reason;                    // why the request as a whole did not go through
};

}  // namespace kestrin::cli
