#include "web/address.h"

#include <string_view>

namespace kestrin {
namespace {

// Where the host is in an address: its bytes, lower case, with the port, and where the path begins.
struct Authority {
  Text hostWithPort;
  std::size_t pathStart = std::string_view::npos;  // the first "/", "?" or "#" after the host, if any
};

Authority SplitAuthority(std::string_view address) {
  // The host follows "https://" at the start or the first "http://" (any case); without either,
  // the address is read as if "http://" stood before it.
  std::size_t start = 0;
  if (StartsWithText(address, "https://", true)) {
    start = 8;
  } else if (const int http = FindText(address, "http://", std::nullopt, true); http != -1) {
    start = static_cast<std::size_t>(http) - 1 + 7;
  }
  // One walk over the units after it: a byte of 0x81 or above starts a two-byte unit, whose
  // second byte is never a delimiter. `start` is at a unit start, as a match always is.
  std::size_t at = start;
  while (at < address.size()) {
    const auto b = static_cast<unsigned char>(address[at]);
    if (b >= 0x81) {
      at += 2;
    } else if (b == '/' || b == '?' || b == '#') {
      break;
    } else {
      ++at;
    }
  }
  Authority authority;
  if (at < address.size()) {
    authority.pathStart = at;
    authority.hostWithPort = ToLowerCase(Text(address.substr(start, at - start)));
  } else if (at == address.size() && !address.empty() && address.back() != '/') {
    // The host runs to the end, as if a "/" closed it: unless the last unit swallows that "/"
    // (a lone lead byte at the end) or the address ends in a "/" inside a two-byte unit.
    authority.hostWithPort = ToLowerCase(Text(address.substr(start)));
  }
  return authority;
}

Text WithoutPort(const Text& hostWithPort) {
  const int colon = FindText(hostWithPort, ":");
  return colon == -1 ? hostWithPort : LeftText(hostWithPort, colon - 1);
}

int PortOf(const Text& hostWithPort, bool secure) {
  if (const int colon = FindTextBackward(hostWithPort, ":"); colon != -1) {
    return ToInteger(MidText(hostWithPort, colon + 1, TextLength(hostWithPort)));
  }
  return secure ? 443 : 80;
}

Text PathOf(const Text& address, const Authority& authority) {
  if (authority.pathStart == std::string_view::npos) return "/";
  Text path = address.substr(authority.pathStart);
  if (path.front() != '/') path.insert(path.begin(), '/');
  return path;
}

}  // namespace

AddressParts SplitAddress(const Text& address) {
  const Authority authority = SplitAuthority(address);
  AddressParts parts;
  parts.secure = IsSecureAddress(address);
  parts.host = WithoutPort(authority.hostWithPort);
  parts.port = PortOf(authority.hostWithPort, parts.secure);
  parts.path = PathOf(address, authority);
  return parts;
}

bool IsSecureAddress(const Text& address) { return StartsWithText(address, "https", true); }

Text HostOfAddress(const Text& address, bool keepPort) {
  Text host = SplitAuthority(address).hostWithPort;
  return keepPort ? host : WithoutPort(host);
}

int PortOfAddress(const Text& address) {
  return PortOf(SplitAuthority(address).hostWithPort, IsSecureAddress(address));
}

Text PathOfAddress(const Text& address) { return PathOf(address, SplitAuthority(address)); }

}  // namespace kestrin
