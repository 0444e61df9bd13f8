#include "cli/sources/source_fetch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cli/sources/xml_source.h"
#include "web/address.h"
#include "web/transport.h"

namespace kestrin::cli {
namespace {

constexpr std::int64_t kDeadlineMs = 60000;
constexpr std::size_t kFirstRead = 64 * 1024;

// The handles of one request, closed newest first as the members unwind.
struct Exchange {
  std::unique_ptr<TransportSession> session;
  std::unique_ptr<TransportConnection> connection;
  std::unique_ptr<TransportRequest> request;
  std::vector<std::uint8_t> first;  // bytes read to learn the status, handed out first
  std::size_t firstAt = 0;
};

}  // namespace

OpenedSource OpenWebSource(const std::string& address) {
  OpenedSource opened;
  const AddressParts parts = SplitAddress(address);
  // The proxy and the run's deadline hold here as for every other request of the tool.
  const RequestRoute route = RouteFor(address, kDeadlineMs);
  if (route.timeoutMs <= 0) {
    opened.reply.transfer = Transfer::kTimedOut;
    return opened;
  }
  auto exchange = std::make_shared<Exchange>();
  const ProxyAccess access = route.proxy.empty() ? ProxyAccess::kDirect : ProxyAccess::kProxy;
  const Text proxyText = parts.secure || route.proxy.empty() ? route.proxy : "http=" + route.proxy;
  exchange->session = DefaultTransport().OpenSession(Text(kUserAgent), access, proxyText);
  if (exchange->session) exchange->connection = exchange->session->Connect(parts.host, parts.port);
  const std::uint32_t flags = kFlagReload | kFlagNeedFile | kFlagNoCookies |
                              (parts.secure ? kFlagSecure : kFlagIgnoreRedirectToHttps);
  if (exchange->connection) exchange->request = exchange->connection->OpenRequest("GET", parts.path, "HTTP/1.1", flags);
  if (!exchange->request) return opened;  // kFailed: never sent
  exchange->request->Send(RequestHeaders({}), {}, RequestLimits{route.timeoutMs});

  // The status comes with the first bytes of the body, or with the end of an empty one.
  exchange->first.resize(kFirstRead);
  const int got = exchange->request->Read(exchange->first);
  exchange->first.resize(static_cast<std::size_t>(std::max(got, 0)));
  opened.reply.status = exchange->request->Status();
  opened.reply.transfer = got > 0 ? Transfer::kComplete : TransferOf(exchange->request->Outcome(), address, route);
  if (opened.reply.transfer != Transfer::kComplete || opened.reply.status < 200 || opened.reply.status > 299) {
    return opened;
  }
  opened.body = std::make_unique<SourceStream>(
      [exchange, ended = opened.ended, address, route](char* buffer, std::size_t size) -> std::ptrdiff_t {
        if (exchange->firstAt < exchange->first.size()) {
          const std::size_t count = std::min(size, exchange->first.size() - exchange->firstAt);
          std::memcpy(buffer, exchange->first.data() + exchange->firstAt, count);
          exchange->firstAt += count;
          return static_cast<std::ptrdiff_t>(count);
        }
        const int n = exchange->request->Read({reinterpret_cast<std::uint8_t*>(buffer), size});
        if (n > 0) return n;
        *ended = TransferOf(exchange->request->Outcome(), address, route);
        return *ended == Transfer::kComplete ? 0 : -1;
      },
      kMaxFileBytes);
  return opened;
}

}  // namespace kestrin::cli
