// Whether a host name has an address (linux/, windows/name_lookup.cpp): the core's transport
// reports a name that has none as a failed connection, and asking again tells the two apart.
#pragma once

#include <string>

namespace kestrin::cli {

[[nodiscard]] bool Resolves(const std::string& host);

}  // namespace kestrin::cli
