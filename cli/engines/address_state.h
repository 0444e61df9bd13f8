// The one state every address ends a run in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrin::cli {

enum class AddressState { kAccepted, kNotValid, kNotSameSite, kQueued, kFailed };

// "accepted", "not_valid", "not_same_site", "queued", "failed".
[[nodiscard]] std::string_view StateName(AddressState state);
[[nodiscard]] std::optional<AddressState> StateNamed(std::string_view name);

// What became of one address on one engine.
struct AddressOutcome {
  std::string url;
  AddressState state = AddressState::kFailed;
  std::string reason;  // empty for accepted
};

}  // namespace kestrin::cli
