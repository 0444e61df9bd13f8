// The transport on libcurl, bound at run time through the table of declared library functions.
// A request drives a multi handle of its own while it runs, so the body streams out in reads of
// at most 1024 bytes as curl receives it, instead of being collected whole by the transport and
// copied again.
//
// Connections outlive the request that opened them, as WinINet keeps its own: a multi handle's
// connection cache holds them, and a request that ends gives its multi handle back to a pool
// from which a later request, on any thread, takes it again. libcurl cannot share one connection
// cache between threads at once, so a multi handle serves one request at a time; name lookups,
// TLS sessions and the cookie store are shared by all of them through one share handle.
#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/declared_functions.h"
#include "runtime/text_ops.h"
#include "web/transport.h"

namespace kestrin {
namespace {

constexpr const char* kCurlLibrary = "libcurl.so.4";

DeclaredFunction gGlobalInit{kCurlLibrary, "curl_global_init", {}, {}};
DeclaredFunction gEasyInit{kCurlLibrary, "curl_easy_init", {}, {}};
DeclaredFunction gEasySetopt{kCurlLibrary, "curl_easy_setopt", {}, {}};
DeclaredFunction gEasyGetinfo{kCurlLibrary, "curl_easy_getinfo", {}, {}};
DeclaredFunction gEasyCleanup{kCurlLibrary, "curl_easy_cleanup", {}, {}};
DeclaredFunction gMultiInit{kCurlLibrary, "curl_multi_init", {}, {}};
DeclaredFunction gMultiAddHandle{kCurlLibrary, "curl_multi_add_handle", {}, {}};
DeclaredFunction gMultiRemoveHandle{kCurlLibrary, "curl_multi_remove_handle", {}, {}};
DeclaredFunction gMultiPerform{kCurlLibrary, "curl_multi_perform", {}, {}};
DeclaredFunction gMultiPoll{kCurlLibrary, "curl_multi_poll", {}, {}};
DeclaredFunction gMultiInfoRead{kCurlLibrary, "curl_multi_info_read", {}, {}};
DeclaredFunction gMultiCleanup{kCurlLibrary, "curl_multi_cleanup", {}, {}};
DeclaredFunction gSlistAppend{kCurlLibrary, "curl_slist_append", {}, {}};
DeclaredFunction gSlistFreeAll{kCurlLibrary, "curl_slist_free_all", {}, {}};
DeclaredFunction gShareInit{kCurlLibrary, "curl_share_init", {}, {}};
DeclaredFunction gShareSetopt{kCurlLibrary, "curl_share_setopt", {}, {}};

template <typename Fn>
Fn* Curl(DeclaredFunction& entry) {
  return DeclaredAs<Fn*>(entry);
}

// Typed setters: the options are read back with va_arg, so each must get exactly its type.
void SetLong(CURL* easy, CURLoption option, long value) {
  Curl<decltype(curl_easy_setopt)>(gEasySetopt)(easy, option, value);
}
void SetText(CURL* easy, CURLoption option, const char* value) {
  Curl<decltype(curl_easy_setopt)>(gEasySetopt)(easy, option, value);
}
void SetSize(CURL* easy, CURLoption option, curl_off_t value) {
  Curl<decltype(curl_easy_setopt)>(gEasySetopt)(easy, option, value);
}
void SetPointer(CURL* easy, CURLoption option, void* value) {
  Curl<decltype(curl_easy_setopt)>(gEasySetopt)(easy, option, value);
}
void SetCallback(CURL* easy, CURLoption option, curl_write_callback value) {
  Curl<decltype(curl_easy_setopt)>(gEasySetopt)(easy, option, value);
}

std::atomic<long> gConnectTimeoutMs{60'000};
std::atomic<long> gIdleTimeoutSeconds{30};
std::atomic<std::int64_t> gLongestDeadlineMs{0};
std::mutex gExtraCaMutex;
std::string gExtraCaFile;

// The process-wide share: name lookups, TLS sessions, and the cookie store of requests that bring
// no cookie text of their own.
CURLSH* gShare = nullptr;
std::array<std::mutex, CURL_LOCK_DATA_LAST> gShareLocks;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { gShareLocks.at(data).lock(); }
void UnlockShare(CURL*, curl_lock_data data, void*) { gShareLocks.at(data).unlock(); }

void MakeCurlReady() {
  static std::once_flag ready;
  std::call_once(ready, [] {
    Curl<decltype(curl_global_init)>(gGlobalInit)(CURL_GLOBAL_DEFAULT);
    CURLSH* share = Curl<decltype(curl_share_init)>(gShareInit)();
    if (share == nullptr) return;
    auto setopt = Curl<decltype(curl_share_setopt)>(gShareSetopt);
    setopt(share, CURLSHOPT_LOCKFUNC, &LockShare);
    setopt(share, CURLSHOPT_UNLOCKFUNC, &UnlockShare);
    for (curl_lock_data data : {CURL_LOCK_DATA_COOKIE, CURL_LOCK_DATA_DNS, CURL_LOCK_DATA_SSL_SESSION}) {
      setopt(share, CURLSHOPT_SHARE, data);
    }
    gShare = share;
  });
}

// Multi handles between requests, each with the connections its requests left open. A request
// takes the one that last served its origin, else the one used last, else a new one.
class MultiPool {
 public:
  CURLM* Take(const std::string& origin) {
    {
      std::lock_guard lock(mutex_);
      auto found = std::find_if(idle_.rbegin(), idle_.rend(), [&](const auto& kept) { return kept.first == origin; });
      if (found == idle_.rend() && !idle_.empty()) found = idle_.rbegin();
      if (found != idle_.rend()) {
        CURLM* multi = found->second;
        idle_.erase(std::next(found).base());
        return multi;
      }
    }
    return Curl<decltype(curl_multi_init)>(gMultiInit)();
  }

  // Keeps `multi` for later requests; beyond kMostIdle, the one used longest ago and its
  // connections go.
  void Give(CURLM* multi, const std::string& origin) {
    CURLM* dropped = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (idle_.size() == kMostIdle) {
        dropped = idle_.front().second;
        idle_.erase(idle_.begin());
      }
      idle_.emplace_back(origin, multi);
    }
    if (dropped != nullptr) Curl<decltype(curl_multi_cleanup)>(gMultiCleanup)(dropped);
  }

 private:
  static constexpr std::size_t kMostIdle = 8;
  std::mutex mutex_;
  std::vector<std::pair<std::string, CURLM*>> idle_;  // the one used last at the back
};

// Never destroyed: workers that still run when the process ends may be using it.
MultiPool& Multis() {
  static MultiPool* pool = new MultiPool;
  return *pool;
}

// The request object in a form curl accepts: a space would make it reject the whole address.
std::string EscapeObject(const Text& object) {
  std::string escaped;
  escaped.reserve(object.size());
  for (char c : object) {
    if (c == ' ') {
      escaped += "%20";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// The header lines as curl must be given them so that it sends exactly these and none of its own
// Accept, Content-Type or Expect lines.
curl_slist* HeaderList(const Text& headers) {
  auto append = Curl<decltype(curl_slist_append)>(gSlistAppend);
  curl_slist* list = nullptr;
  bool hasAccept = false, hasContentType = false, hasExpect = false;
  std::string item;
  for (std::size_t at = 0; at < headers.size();) {
    const std::size_t end = std::min(headers.find("\r\n", at), headers.size());
    const std::string_view line(headers.data() + at, end - at);
    at = end + 2;
    if (line.empty()) continue;  // an empty line would end the header block early
    item = line;
    // curl drops "Name:" with nothing after it; "Name;" is its spelling for an empty value.
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && line.find_first_not_of(" \t", colon + 1) == std::string_view::npos) {
      item.resize(colon);
      item += ';';
    }
    hasAccept = hasAccept || StartsWithText(line, "Accept:", true);
    hasContentType = hasContentType || StartsWithText(line, "Content-Type:", true);
    hasExpect = hasExpect || StartsWithText(line, "Expect:", true);
    list = append(list, item.c_str());
  }
  // An empty value tells curl to leave its own line out.
  if (!hasAccept) list = append(list, "Accept:");
  if (!hasContentType) list = append(list, "Content-Type:");
  if (!hasExpect) list = append(list, "Expect:");
  return list;
}

TransferOutcome OutcomeOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return TransferOutcome::kComplete;
    case CURLE_OPERATION_TIMEDOUT:
      return TransferOutcome::kTimedOut;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return TransferOutcome::kConnectFailed;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return TransferOutcome::kTlsFailed;
    default:
      return TransferOutcome::kFailed;
  }
}

struct SessionSettings {
  Text agent;
  ProxyAccess access = ProxyAccess::kDirect;
  Text proxyText;
};

class CurlRequest final : public TransportRequest {
 public:
  CurlRequest(CURL* easy, CURLM* multi, std::string origin, const SessionSettings& session, const Text& host,
              int port, const Text& method, const Text& object, const Text& version, std::uint32_t flags)
      : easy_(easy),
        multi_(multi),
        origin_(std::move(origin)),
        session_(session),
        host_(host),
        port_(port),
        method_(method),
        object_(object),
        version_(version),
        flags_(flags) {}

  ~CurlRequest() override {
    if (added_) Curl<decltype(curl_multi_remove_handle)>(gMultiRemoveHandle)(multi_, easy_);
    Curl<decltype(curl_easy_cleanup)>(gEasyCleanup)(easy_);
    // A transfer that ended whole left its connection in the multi handle's cache; one removed
    // before its end took its connection with it.
    Multis().Give(multi_, origin_);
    if (headerList_ != nullptr) Curl<decltype(curl_slist_free_all)>(gSlistFreeAll)(headerList_);
  }

  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;

  void Send(const Text& headers, std::span<const std::uint8_t> body, const RequestLimits& limits) override {
    if (added_) return;
    const bool secure = (flags_ & kFlagSecure) != 0;
    std::string url = secure ? "https://" : "http://";
    url += host_;
    if (port_ != 0) {
      url += ':';
      url += std::to_string(port_);
    }
    url += EscapeObject(object_);

    CURL* easy = easy_;
    SetText(easy, CURLOPT_URL, url.c_str());
    SetText(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    SetText(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    SetLong(easy, CURLOPT_HTTP_VERSION, version_ == "HTTP/1.0" ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    SetLong(easy, CURLOPT_PATH_AS_IS, 1L);
    SetLong(easy, CURLOPT_NOSIGNAL, 1L);
    if (!session_.agent.empty()) SetText(easy, CURLOPT_USERAGENT, session_.agent.c_str());

    // Proxy "" keeps curl away from the proxy variables of the environment; NOPROXY "" keeps
    // no_proxy from bypassing a proxy that the caller chose.
    Text proxy;
    if (session_.access == ProxyAccess::kProxy) proxy = ProxyForScheme(session_.proxyText, secure ? "https" : "http");
    if (!proxy.empty() && proxy.find("://") == Text::npos) proxy = "http://" + proxy;
    SetText(easy, CURLOPT_PROXY, proxy.c_str());
    SetText(easy, CURLOPT_NOPROXY, "");
    SetLong(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    if (gShare != nullptr) {
      SetPointer(easy, CURLOPT_SHARE, gShare);
      if ((flags_ & kFlagNoCookies) == 0) SetText(easy, CURLOPT_COOKIEFILE, "");
    }
    SetLong(easy, CURLOPT_FOLLOWLOCATION, (flags_ & kFlagNoAutoRedirect) != 0 ? 0L : 1L);
    SetLong(easy, CURLOPT_MAXREDIRS, 20L);
    SetLong(easy, CURLOPT_POSTREDIR, 0L);  // a POST answered by 301, 302 or 303 goes on as a GET

    SetLong(easy, CURLOPT_CONNECTTIMEOUT_MS, gConnectTimeoutMs.load());
    SetLong(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    SetLong(easy, CURLOPT_LOW_SPEED_TIME, gIdleTimeoutSeconds.load());
    // The stall time-out alone lets a server that trickles a byte now and then hold the request
    // for ever; the deadline bounds the whole of it.
    std::int64_t deadline = limits.deadlineMs;
    if (const std::int64_t longest = gLongestDeadlineMs.load(); longest > 0 && (deadline <= 0 || deadline > longest)) {
      deadline = longest;
    }
    if (deadline > 0) SetLong(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(deadline));
    {
      std::lock_guard lock(gExtraCaMutex);
      if (!gExtraCaFile.empty()) SetText(easy, CURLOPT_CAINFO, gExtraCaFile.c_str());
    }

    headerList_ = HeaderList(headers);
    SetPointer(easy, CURLOPT_HTTPHEADER, headerList_);

    // A POST without fields would make curl read its body from standard input.
    static const char kNoBytes[] = "";
    const char* bytes = body.empty() ? kNoBytes : reinterpret_cast<const char*>(body.data());
    if (method_ == "GET") {
      SetLong(easy, CURLOPT_HTTPGET, 1L);
    } else if (method_ == "HEAD" && body.empty()) {
      SetLong(easy, CURLOPT_NOBODY, 1L);
    } else if (method_ == "HEAD") {
      // curl's own HEAD sends no body; a HEAD named by hand does, but would then wait for the
      // body that the answer announces and never sends, so the header block ends the transfer.
      SetLong(easy, CURLOPT_POST, 1L);
      SetSize(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      SetPointer(easy, CURLOPT_POSTFIELDS, const_cast<char*>(bytes));
      SetText(easy, CURLOPT_CUSTOMREQUEST, "HEAD");
      endAtHeaders_ = true;
    } else {
      SetLong(easy, CURLOPT_POST, 1L);
      SetSize(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      SetPointer(easy, CURLOPT_POSTFIELDS, const_cast<char*>(bytes));
      if (method_ != "POST") SetText(easy, CURLOPT_CUSTOMREQUEST, method_.c_str());
    }

    SetLong(easy, CURLOPT_BUFFERSIZE, 1024L);
    SetCallback(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    SetPointer(easy, CURLOPT_WRITEDATA, this);
    SetCallback(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    SetPointer(easy, CURLOPT_HEADERDATA, this);

    if (Curl<decltype(curl_multi_add_handle)>(gMultiAddHandle)(multi_, easy) == CURLM_OK) {
      added_ = true;
      done_ = false;
      outcome_ = TransferOutcome::kFailed;  // until curl reports how the transfer ended
    }
  }

  int Read(std::span<std::uint8_t> buffer) override {
    while (pendingStart_ == pending_.size() && !done_) Pump();
    const std::size_t n = std::min(buffer.size(), pending_.size() - pendingStart_);
    if (n == 0) return 0;
    std::memcpy(buffer.data(), pending_.data() + pendingStart_, n);
    pendingStart_ += n;
    if (pendingStart_ == pending_.size()) {
      pending_.clear();
      pendingStart_ = 0;
    }
    return static_cast<int>(n);
  }

  std::int64_t AnnouncedLength() override {
    curl_off_t length = -1;
    if (Curl<decltype(curl_easy_getinfo)>(gEasyGetinfo)(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) !=
        CURLE_OK) {
      return -1;
    }
    return length;
  }

  int Status() override {
    long status = 0;
    if (!added_ ||
        Curl<decltype(curl_easy_getinfo)>(gEasyGetinfo)(easy_, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
      return 0;
    }
    return static_cast<int>(status);
  }

  TransferOutcome Outcome() override { return outcome_; }

  std::optional<Text> RawHeaders(int capacity) override {
    if (!headerComplete_ || headerOverflow_) return std::nullopt;
    if (capacity < 0 || headerBlock_.size() + 1 > static_cast<std::size_t>(capacity)) return std::nullopt;
    return headerBlock_;
  }

 private:
  // More than any caller asks for; a longer block is only remembered as too long.
  static constexpr std::size_t kKeptHeaderBytes = 64 * 1024;

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& request = *static_cast<CurlRequest*>(self);
    const std::size_t n = size * count;
    request.pending_.insert(request.pending_.end(), data, data + n);
    return n;
  }

  // curl hands over every header block it receives (interim answers, redirects, trailers); the
  // block kept is the last one that began with a status line.
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto& request = *static_cast<CurlRequest*>(self);
    const std::size_t n = size * count;
    const std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
      request.headerBlock_.clear();
      request.headerComplete_ = false;
      request.headerOverflow_ = false;
    } else if (request.headerComplete_) {
      return n;  // trailers after a chunked body
    }
    if (!request.headerOverflow_) {
      if (request.headerBlock_.size() + n > kKeptHeaderBytes) {
        request.headerOverflow_ = true;
        Text().swap(request.headerBlock_);
      } else {
        request.headerBlock_.append(line);
      }
    }
    if (line == "\r\n" || line == "\n") {
      request.headerComplete_ = true;
      const bool interim = request.headerBlock_.size() > 10 && request.headerBlock_.compare(8, 2, " 1") == 0;
      if (request.endAtHeaders_ && !interim) {
        request.endedAtHeaders_ = true;
        return 0;
      }
    }
    return n;
  }

  // Lets curl move the transfer on; waits for the network only when nothing arrived.
  void Pump() {
    int running = 0;
    if (Curl<decltype(curl_multi_perform)>(gMultiPerform)(multi_, &running) != CURLM_OK) {
      done_ = true;
      return;
    }
    int queued = 0;
    while (CURLMsg* message = Curl<decltype(curl_multi_info_read)>(gMultiInfoRead)(multi_, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      done_ = true;
      // Ending a hand-made HEAD at its header block is how that transfer is meant to end. curl
      // takes a connection closed inside the header block for the end of the answer: it is not.
      outcome_ = endedAtHeaders_ ? TransferOutcome::kComplete : OutcomeOf(message->data.result);
      if (outcome_ == TransferOutcome::kComplete && !headerComplete_) outcome_ = TransferOutcome::kFailed;
    }
    if (running == 0) done_ = true;
    if (!done_ && pendingStart_ == pending_.size()) {
      Curl<decltype(curl_multi_poll)>(gMultiPoll)(multi_, nullptr, 0, 1000, nullptr);
    }
  }

  CURL* easy_;
  CURLM* multi_;
  std::string origin_;
  SessionSettings session_;
  Text host_;
  int port_;
  Text method_;
  Text object_;
  Text version_;
  std::uint32_t flags_;
  curl_slist* headerList_ = nullptr;
  bool added_ = false;
  bool done_ = true;  // until a send starts the transfer
  std::vector<std::uint8_t> pending_;
  std::size_t pendingStart_ = 0;
  Text headerBlock_;
  bool headerComplete_ = false;
  bool headerOverflow_ = false;
  bool endAtHeaders_ = false;
  bool endedAtHeaders_ = false;
  TransferOutcome outcome_ = TransferOutcome::kNotSent;
};

class CurlConnection final : public TransportConnection {
 public:
  CurlConnection(const SessionSettings& session, const Text& host, int port)
      : session_(session), host_(host), port_(port) {}

  std::unique_ptr<TransportRequest> OpenRequest(const Text& method, const Text& object, const Text& version,
                                                std::uint32_t flags) override {
    CURL* easy = Curl<decltype(curl_easy_init)>(gEasyInit)();
    if (easy == nullptr) return nullptr;
    // Where the request goes and by which route: a connection made through a proxy is no
    // connection to the host itself.
    std::string origin = (flags & kFlagSecure) != 0 ? "https://" : "http://";
    origin += host_ + ':' + std::to_string(port_);
    if (session_.access == ProxyAccess::kProxy) origin += " via " + session_.proxyText;
    CURLM* multi = Multis().Take(origin);
    if (multi == nullptr) {
      Curl<decltype(curl_easy_cleanup)>(gEasyCleanup)(easy);
      return nullptr;
    }
    return std::make_unique<CurlRequest>(easy, multi, std::move(origin), session_, host_, port_, method, object,
                                         version, flags);
  }

 private:
  SessionSettings session_;
  Text host_;
  int port_;
};

class CurlSession final : public TransportSession {
 public:
  explicit CurlSession(SessionSettings settings) : settings_(std::move(settings)) {}

  std::unique_ptr<TransportConnection> Connect(const Text& host, int port) override {
    if (host.empty() || port < 0 || port > 65535) return nullptr;
    return std::make_unique<CurlConnection>(settings_, host, port);
  }

 private:
  SessionSettings settings_;
};

class CurlTransport final : public Transport {
 public:
  std::unique_ptr<TransportSession> OpenSession(const Text& agent, ProxyAccess access,
                                                const Text& proxyText) override {
    MakeCurlReady();
    return std::make_unique<CurlSession>(SessionSettings{agent, access, proxyText});
  }
};

}  // namespace

Transport& DefaultTransport() {
  static CurlTransport transport;
  return transport;
}

Text ProxyForScheme(const Text& proxyText, std::string_view scheme) {
  Text anyScheme;
  std::size_t at = 0;
  while (at < proxyText.size()) {
    const std::size_t end = std::min(proxyText.find_first_of(" ;", at), proxyText.size());
    const std::string_view entry(proxyText.data() + at, end - at);
    at = end + 1;
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (anyScheme.empty()) anyScheme = Text(entry);
    } else if (equals == scheme.size() && StartsWithText(entry, scheme, true)) {
      return Text(entry.substr(equals + 1));
    }
  }
  return anyScheme;
}

void SetWebTimeoutsForTesting(std::int64_t connectMilliseconds, std::int64_t idleMilliseconds) {
  gConnectTimeoutMs = static_cast<long>(std::max<std::int64_t>(1, connectMilliseconds));
  gIdleTimeoutSeconds = static_cast<long>(std::max<std::int64_t>(1, (idleMilliseconds + 999) / 1000));
}

void SetLongestDeadlineForTesting(std::int64_t milliseconds) { gLongestDeadlineMs = std::max<std::int64_t>(0, milliseconds); }

void SetExtraCaFileForTesting(const std::string& path) {
  std::lock_guard lock(gExtraCaMutex);
  gExtraCaFile = path;
}

}  // namespace kestrin
