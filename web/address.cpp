#include "web/address.h"

#include <string_view>

#include "runtime/text_ops.h"

namespace kestrin {
namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// Where the host begins (1-based) and the host with its port, in lower case.
struct Authority {
  int start = 1;
  Text hostWithPort;
};

// Position of the first "/", "?" or "#" at or after `start`, or -1. A query or fragment may
// follow the host directly, and the host must not swallow it.
int EndOfAuthority(const Text& text, int start) {
  int end = -1;
  for (std::string_view mark : {"/", "?", "#"}) {
    const int found = FindText(text, mark, start);
    if (found != -1 && (end == -1 || found < end)) end = found;
  }
  return end;
}

Authority SplitAuthority(const Text& address) {
  // Lower-casing keeps every byte in its place, so positions hold for the unchanged address.
  Text lower = ToLowerCase(address);
  if (lower.empty() || lower.back() != '/') lower.push_back('/');

  Authority authority;
  if (LeftText(lower, static_cast<int>(kHttps.size())) == kHttps) {
    authority.start = static_cast<int>(kHttps.size()) + 1;
  } else if (const int http = FindText(lower, kHttp); http != -1) {
    authority.start = http + static_cast<int>(kHttp.size());
  }
  // Without any scheme the address is read as if "http://" stood before it: the host starts at 1.
  const int end = EndOfAuthority(lower, authority.start);
  if (end != -1) authority.hostWithPort = MidText(lower, authority.start, end - authority.start);
  return authority;
}

}  // namespace

bool IsSecureAddress(const Text& address) { return StartsWithText(address, "https", true); }

Text HostOfAddress(const Text& address, bool keepPort) {
  Text host = SplitAuthority(address).hostWithPort;
  if (!keepPort) {
    if (const int colon = FindText(host, ":"); colon != -1) host = LeftText(host, colon - 1);
  }
  return host;
}

int PortOfAddress(const Text& address) {
  const Text host = HostOfAddress(address, true);
  if (const int colon = FindTextBackward(host, ":"); colon != -1) {
    return ToInteger(MidText(host, colon + 1, TextLength(host)));
  }
  return IsSecureAddress(address) ? 443 : 80;
}

Text PathOfAddress(const Text& address) {
  // The host is taken where it was read, after the scheme, never from an earlier match inside
  // the scheme itself ("p" in "http").
  const int start = SplitAuthority(address).start;
  const int end = EndOfAuthority(address, start);
  if (end == -1) return "/";
  Text rest = MidText(address, end, TextLength(address));
  if (rest.front() != '/') rest.insert(rest.begin(), '/');
  return rest;
}

}  // namespace kestrin
