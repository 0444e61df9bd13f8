#include "cli/net/name_lookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "cli/console/windows/wide_text.h"

namespace kestrin::cli {

bool Resolves(const std::string& host) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return true;  // no way to ask: the failure stays a failed connection
  const std::wstring wide = Wide(host);
  ADDRINFOW hints{};
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  const int status = GetAddrInfoW(wide.c_str(), nullptr, &hints, &found);
  if (found != nullptr) FreeAddrInfoW(found);
  return status == 0;
}

}  // namespace kestrin::cli
