#include "cli/net/name_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

namespace kestrin::cli {

bool Resolves(const std::string& host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) freeaddrinfo(found);
  return status == 0;
}

}  // namespace kestrin::cli
