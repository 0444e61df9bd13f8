#include "cli/engines/address_state.h"

#include <array>
#include <utility>

namespace kestrin::cli {
namespace {

constexpr std::array<std::pair<AddressState, std::string_view>, 5> kNames{{
    {AddressState::kAccepted, "accepted"},
    {AddressState::kNotValid, "not_valid"},
    {AddressState::kNotSameSite, "not_same_site"},
    {AddressState::kQueued, "queued"},
    {AddressState::kFailed, "failed"},
}};

}  // namespace

std::string_view StateName(AddressState state) {
  for (const auto& [value, name] : kNames) {
    if (value == state) return name;
  }
  return "failed";
}

std::optional<AddressState> StateNamed(std::string_view name) {
  for (const auto& [value, text] : kNames) {
    if (text == name) return value;
  }
  return std::nullopt;
}

}  // namespace kestrin::cli
