#include "cli/net/http_client.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "cli/console/messages.h"
#include "cli/sources/dates.h"
#include "cli/sources/text_source.h"
#include "web/web_request.h"

namespace kestrin::cli {
namespace {

std::mutex gSettingsMutex;
std::string gExplicitProxy;
std::atomic<std::int64_t> gDeadlineMs{0};


std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A host as names are looked up and no_proxy lists it: an IPv6 one without its brackets.
std::string_view Bare(std::string_view host) {
  return host.starts_with('[') && host.ends_with(']') ? host.substr(1, host.size() - 2) : host;
}

bool Bypassed(const std::string& host, std::string_view noProxy) {
  while (!noProxy.empty()) {
    const auto end = noProxy.find(',');
    std::string_view entry = Trimmed(noProxy.substr(0, end));
    noProxy.remove_prefix(end == std::string_view::npos ? noProxy.size() : end + 1);
    if (entry == "*") return true;
    if (entry.starts_with('.')) entry.remove_prefix(1);
    if (entry.empty()) continue;
    const std::string domain = Lower(entry);
    if (host == domain) return true;
    if (host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

// The web request reports a name that has no address as a failed connection; asking the resolver
// again tells the two apart, so that a typo in a host is not read as a server that is down.
bool Resolves(const std::string& host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) freeaddrinfo(found);
  return status == 0;
}

std::string ProxyOf(const std::string& address) {
  std::string explicitProxy;
  {
    std::lock_guard lock(gSettingsMutex);
    explicitProxy = gExplicitProxy;
  }
  static const ProxyEnvironment environment = ProxyEnvironment::FromProcess();
  return ProxyFor(address, explicitProxy, environment);
}

HttpReply Exchange(const std::string& address, WebRequestOptions options, const HttpLimits& limits) {
  const RequestRoute route = RouteFor(address, limits.timeoutMs);
  if (route.timeoutMs <= 0) return HttpReply{Transfer::kTimedOut, 0, {}};
  options.timeoutMs = route.timeoutMs;
  options.maxBodyBytes = limits.maxBodyBytes;
  options.proxy = route.proxy;
  // A cookie text of its own keeps each request away from the process-wide cookie store.
  Text cookies;
  const WebResponse response = WebRequest(address, options, &cookies);
  HttpReply reply;
  reply.transfer = TransferOf(response.outcome, address, route);
  reply.status = response.status;
  if (response.Completed()) reply.body.assign(response.body.begin(), response.body.end());
  return reply;
}


std::string_view ReasonPhrase(int status) {
  static constexpr std::pair<int, std::string_view> kPhrases[] = {
      {200, "OK"},
      {202, "Accepted"},
      {301, "Moved Permanently"},
      {302, "Found"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {407, "Proxy Authentication Required"},
      {408, "Request Timeout"},
      {410, "Gone"},
      {413, "Content Too Large"},
      {422, "Unprocessable Content"},
      {429, "Too Many Requests"},
      {500, "Internal Server Error"},
      {502, "Bad Gateway"},
      {503, "Service Unavailable"},
      {504, "Gateway Timeout"},
  };
  for (const auto& [code, phrase] : kPhrases) {
    if (code == status) return phrase;
  }
  return {};
}

}  // namespace

Text RequestHeaders(std::string_view contentType) {
  // The Referer line is ours so that the interface address, token and all, is not repeated in it.
  Text headers = "User-Agent: " + std::string(kUserAgent) + "\r\nAccept: */*\r\nReferer: kestrin-cli\r\nAccept-Language: zh-cn";
  if (!contentType.empty()) headers += "\r\nContent-Type: " + std::string(contentType);
  return headers;
}

std::string HostOf(std::string_view address) {
  if (const auto scheme = address.find("://"); scheme != std::string_view::npos) address.remove_prefix(scheme + 3);
  address = address.substr(0, address.find_first_of("/?#"));
  if (const auto at = address.rfind('@'); at != std::string_view::npos) address.remove_prefix(at + 1);
  if (address.starts_with('[')) return Lower(address.substr(0, address.find(']') + 1));
  return Lower(address.substr(0, address.find(':')));
}

ProxyEnvironment ProxyEnvironment::FromProcess() {
  const auto get = [](const char* lower, const char* upper) {
    const char* value = std::getenv(lower);
    if ((value == nullptr || value[0] == '\0') && upper != nullptr) value = std::getenv(upper);
    return std::string(value != nullptr ? value : "");
  };
  return {get("http_proxy", nullptr), get("https_proxy", "HTTPS_PROXY"), get("all_proxy", "ALL_PROXY"),
          get("no_proxy", "NO_PROXY")};
}

std::string ProxyFor(std::string_view address, std::string_view explicitProxy, const ProxyEnvironment& environment) {
  if (Bypassed(std::string(Bare(HostOf(address))), environment.no)) return {};
  if (!explicitProxy.empty()) return std::string(explicitProxy);
  const bool secure = Lower(address.substr(0, 8)) == "https://";
  const std::string& byScheme = secure ? environment.https : environment.http;
  return byScheme.empty() ? environment.all : byScheme;
}

RequestRoute RouteFor(const std::string& address, std::int64_t limitMs) {
  RequestRoute route{ProxyOf(address), limitMs};
  if (const std::int64_t deadline = gDeadlineMs.load(); deadline > 0) {
    route.timeoutMs = std::max<std::int64_t>(0, std::min(limitMs, deadline - SteadyMs()));
  }
  return route;
}

Transfer TransferOf(TransferOutcome outcome, const std::string& address, const RequestRoute& route) {
  switch (outcome) {
    case TransferOutcome::kComplete: return Transfer::kComplete;
    case TransferOutcome::kTimedOut: return Transfer::kTimedOut;
    case TransferOutcome::kConnectFailed:
      return Resolves(std::string(Bare(HostOf(route.proxy.empty() ? address : route.proxy)))) ? Transfer::kConnectFailed
                                                                             : Transfer::kNameNotResolved;
    case TransferOutcome::kTlsFailed: return Transfer::kTlsFailed;
    case TransferOutcome::kTooLarge: return Transfer::kTooLarge;
    case TransferOutcome::kFailed: return Transfer::kBroken;
    case TransferOutcome::kNotSent: break;
  }
  return Transfer::kFailed;
}

void SetNetworkSettings(std::string proxy, std::int64_t deadlineMs) {
  std::lock_guard lock(gSettingsMutex);
  gExplicitProxy = std::move(proxy);
  gDeadlineMs = deadlineMs;
}

bool NetworkDeadlineWithin(std::int64_t withinMs) {
  const std::int64_t deadline = gDeadlineMs.load();
  return deadline > 0 && SteadyMs() + withinMs >= deadline;
}

std::int64_t NetworkTimeLeftMs() {
  const std::int64_t deadline = gDeadlineMs.load();
  return deadline > 0 ? std::max<std::int64_t>(0, deadline - SteadyMs()) : 0;
}

HttpReply HttpGet(const std::string& address, const HttpLimits& limits) {
  WebRequestOptions options;
  options.headers = RequestHeaders({});
  return Exchange(address, std::move(options), limits);
}

HttpReply HttpPost(const std::string& address, std::string_view contentType, std::string_view body,
                   const HttpLimits& limits) {
  WebRequestOptions options;
  options.method = static_cast<int>(HttpMethod::kPost);
  options.headers = RequestHeaders(contentType);
  options.byteBody.assign(body.begin(), body.end());
  return Exchange(address, std::move(options), limits);
}

std::string DescribeReply(const HttpReply& reply) {
  switch (reply.transfer) {
    case Transfer::kComplete: {
      const std::string_view phrase = ReasonPhrase(reply.status);
      return "HTTP " + std::to_string(reply.status) + (phrase.empty() ? "" : " " + std::string(phrase));
    }
    case Transfer::kTimedOut:
      return NetworkDeadlineWithin(0) ? Tr("timed out: the run's --timeout was reached", "超时：已到 --timeout 所限的时间")
                                      : Tr("timed out", "超时");
    case Transfer::kConnectFailed: return Tr("connection refused or host unreachable", "连接被拒绝或主机不可达");
    case Transfer::kNameNotResolved: return Tr("name lookup failed", "域名解析失败");
    case Transfer::kTlsFailed: return Tr("TLS handshake or certificate refused", "TLS 握手或证书验证失败");
    case Transfer::kTooLarge: return Tr("answer too large", "应答过大");
    case Transfer::kBroken: return Tr("connection broken before the answer", "应答前连接中断");
    case Transfer::kFailed: break;
  }
  return Tr("not sent", "未发送");
}

std::string DescribeFailure(std::string_view address, const HttpReply& reply, int attempts) {
  const std::string proxy = reply.transfer == Transfer::kComplete ? std::string() : ProxyOf(std::string(address));
  std::string host = HostOf(address);
  if (!proxy.empty()) host += Tr(" (through proxy {})", "（经代理 {}）", {HostOf(proxy)});
  return host + ": " + DescribeReply(reply) +
         Tr(attempts == 1 ? " (1 attempt)" : " (" + std::to_string(attempts) + " attempts)",
            "（共尝试 " + std::to_string(attempts) + " 次）");
}

}  // namespace kestrin::cli
