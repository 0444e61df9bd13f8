// The transport on WinINet, bound from "wininet.dll" through the table of declared library
// functions. WinINet has no deadline of its own, and bounds each wait of a call by a time-out of
// its own: one send looks the name up, connects, sends and waits for the answer. Each wait starts
// with what is left of the deadline as its time-out (the status callback cuts them as a send goes
// from one step to the next), so that together they end by the deadline; the deadline is also
// checked between calls. The name lookup, which WinINet bounds by nothing, is made first under
// the same deadline. WinINet keeps connections in its own pool after their handles close.
// A request's handles are used and closed by the thread that opened them, and by no other: a
// handle closed from elsewhere gives up its value at once (Wine hands the lowest free value to
// the next handle opened), so a call already on its way would act on another thread's request.
// Redirects are followed here rather than by WinINet: Wine's follows a loop for ever and sends a
// 307 after a POST again without its body. Both platforms then do what libcurl does on Linux.
#include "runtime/windows/windows_api.h"

#include <wincrypt.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "runtime/declared_functions.h"
#include "web/transport.h"

namespace kestrin {
namespace {

constexpr const char* kWinInet = "wininet.dll";

DeclaredFunction gInternetOpen{kWinInet, "InternetOpenA", {}, {}};
DeclaredFunction gInternetCloseHandle{kWinInet, "InternetCloseHandle", {}, {}};
DeclaredFunction gInternetConnect{kWinInet, "InternetConnectA", {}, {}};
DeclaredFunction gHttpOpenRequest{kWinInet, "HttpOpenRequestA", {}, {}};
DeclaredFunction gHttpSendRequest{kWinInet, "HttpSendRequestA", {}, {}};
DeclaredFunction gInternetReadFile{kWinInet, "InternetReadFile", {}, {}};
DeclaredFunction gInternetQueryDataAvailable{kWinInet, "InternetQueryDataAvailable", {}, {}};
DeclaredFunction gHttpQueryInfo{kWinInet, "HttpQueryInfoA", {}, {}};
DeclaredFunction gInternetSetOption{kWinInet, "InternetSetOptionA", {}, {}};
DeclaredFunction gInternetQueryOption{kWinInet, "InternetQueryOptionA", {}, {}};
DeclaredFunction gInternetCombineUrl{kWinInet, "InternetCombineUrlA", {}, {}};
DeclaredFunction gInternetCrackUrl{kWinInet, "InternetCrackUrlA", {}, {}};
DeclaredFunction gInternetSetStatusCallback{kWinInet, "InternetSetStatusCallbackA", {}, {}};
// Winsock's lookup through opaque pointers: its headers and windows.h do not mix.
constexpr const char* kWinsock = "ws2_32.dll";
DeclaredFunction gWsaStartup{kWinsock, "WSAStartup", {}, {}};
DeclaredFunction gGetAddrInfo{kWinsock, "getaddrinfo", {}, {}};
DeclaredFunction gFreeAddrInfo{kWinsock, "freeaddrinfo", {}, {}};
// Only the tests' certificate needs crypt32: bound on use, it is not loaded with every start.
constexpr const char* kCrypt32 = "crypt32.dll";
DeclaredFunction gCryptStringToBinary{kCrypt32, "CryptStringToBinaryA", {}, {}};
DeclaredFunction gCertOpenStore{kCrypt32, "CertOpenStore", {}, {}};
DeclaredFunction gCertAddEncodedCertificateToStore{kCrypt32, "CertAddEncodedCertificateToStore", {}, {}};
DeclaredFunction gCertCloseStore{kCrypt32, "CertCloseStore", {}, {}};

// As many as libcurl follows; one more ends the request as failed.
constexpr int kMostRedirects = 20;

template <typename Fn>
Fn* WinInet(DeclaredFunction& entry) {
  return DeclaredAs<Fn*>(entry);
}

void CloseInternetHandle(HINTERNET handle) {
  if (handle != nullptr) WinInet<decltype(::InternetCloseHandle)>(gInternetCloseHandle)(handle);
}

std::atomic<std::int64_t> gConnectTimeoutMs{60'000};
std::atomic<std::int64_t> gIdleTimeoutMs{30'000};
std::atomic<std::int64_t> gLongestDeadlineMs{0};

void SetTimeout(HINTERNET handle, DWORD option, std::int64_t milliseconds) {
  DWORD value = static_cast<DWORD>(std::clamp<std::int64_t>(milliseconds, 1, 0x7FFFFFFF));
  WinInet<decltype(::InternetSetOptionA)>(gInternetSetOption)(handle, option, &value, sizeof value);
}

// A request's deadline, and the time-outs last set on its handle.
class Budget {
 public:
  void Start(std::int64_t deadlineMs) {
    if (const std::int64_t longest = gLongestDeadlineMs.load(); longest > 0 && (deadlineMs <= 0 || deadlineMs > longest)) {
      deadlineMs = longest;
    }
    if (deadlineMs > 0) deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
  }

  [[nodiscard]] bool Passed() const { return deadline_ && std::chrono::steady_clock::now() >= *deadline_; }

  // Milliseconds left, at least 1; a day without a deadline.
  [[nodiscard]] std::int64_t LeftMs() const {
    if (!deadline_) return 86'400'000;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
    return std::max<std::int64_t>(1, ms.count());
  }

  // The handle's time-outs, none longer than the time left. They are set on a new handle and
  // again only when the time left cuts them shorter: the calls cost, and most reads change nothing.
  void Cap(HINTERNET handle) {
    const std::int64_t left = LeftMs();
    const std::int64_t connect = std::min(gConnectTimeoutMs.load(), left);
    const std::int64_t idle = std::min(gIdleTimeoutMs.load(), left);
    if (handle_ == handle && connect >= connectMs_ && idle >= idleMs_) return;
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, connect);
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, idle);
    SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, idle);
    handle_ = handle;
    connectMs_ = connect;
    idleMs_ = idle;
  }

  // A new handle may have a closed one's value: its time-outs are set whatever they were.
  void ForgetHandle() { handle_ = nullptr; }

 private:
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  HINTERNET handle_ = nullptr;
  std::int64_t connectMs_ = 0;
  std::int64_t idleMs_ = 0;
};

// Called on the sending thread, as the request carries no INTERNET_FLAG_ASYNC; the context of a
// request's handle is its budget. The connect gets what the name lookup left of the time, the
// send what the connect left, the wait for the answer what the send left.
void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void*, DWORD) {
  if (context == 0) return;
  switch (status) {
    case INTERNET_STATUS_NAME_RESOLVED:
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
    case INTERNET_STATUS_RECEIVING_RESPONSE:
      reinterpret_cast<Budget*>(context)->Cap(handle);
      break;
    default:
      break;
  }
}

// Looks `host` up on a thread of its own; false when that took longer than `waitMs`. WinINet's own
// lookup, which follows, then answers from the system's cache, and says itself whether the name
// was found. An address needs no lookup, nor a host found in the last minute.
bool LookedUpInTime(const Text& host, std::int64_t waitMs) {
  using Clock = std::chrono::steady_clock;
  if (host.find_first_not_of("0123456789.") == Text::npos || host.find(':') != Text::npos) return true;
  static std::mutex foundMutex;
  static std::map<Text, Clock::time_point> found;
  {
    std::lock_guard lock(foundMutex);
    const auto at = found.find(host);
    if (at != found.end() && Clock::now() - at->second < std::chrono::minutes(1)) return true;
  }
  struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<bool> found;
  };
  auto pending = std::make_shared<Pending>();
  // Left to finish on its own when the wait runs out: a lookup cannot be called off.
  std::thread([pending, host] {
    static std::once_flag started;
    std::call_once(started, [] {
      alignas(16) unsigned char data[1024];  // WSADATA
      DeclaredAs<int(WINAPI*)(WORD, void*)>(gWsaStartup)(MAKEWORD(2, 2), data);
    });
    void* list = nullptr;
    const bool ok = DeclaredAs<int(WINAPI*)(const char*, const char*, const void*, void**)>(gGetAddrInfo)(
                        host.c_str(), nullptr, nullptr, &list) == 0;
    if (list != nullptr) DeclaredAs<void(WINAPI*)(void*)>(gFreeAddrInfo)(list);
    std::lock_guard lock(pending->mutex);
    pending->found = ok;
    pending->done.notify_all();
  }).detach();
  std::unique_lock lock(pending->mutex);
  if (!pending->done.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return pending->found.has_value(); })) {
    return false;
  }
  if (*pending->found) {
    std::lock_guard foundLock(foundMutex);
    if (found.size() > 64) found.clear();
    found[host] = Clock::now();
  }
  return true;
}

TransferOutcome OutcomeOf(DWORD error) {
  switch (error) {
    // A receive time-out is 12002 on Windows and 12030 under Wine.
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
      return TransferOutcome::kTimedOut;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
      return TransferOutcome::kConnectFailed;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return TransferOutcome::kTlsFailed;
    default:
      return TransferOutcome::kFailed;
  }
}

// Where a redirect points: the address cracked into what a new connection and request need.
struct RedirectTarget {
  bool secure = false;
  Text host;
  int port = 0;
  Text object;  // path and query
};

class WinInetRequest final : public TransportRequest {
 public:
  // `session` outlives the request; with `follow`, the request follows redirects itself, on
  // connections of its own made from the session. `budget` is the context of `request`;
  // `lookupHost` is looked up before the send, empty when a proxy looks the host up.
  WinInetRequest(HINTERNET session, HINTERNET request, std::unique_ptr<Budget> budget, Text lookupHost, Text method,
                 std::uint32_t flags, bool follow)
      : session_(session),
        request_(request),
        budget_(std::move(budget)),
        lookupHost_(std::move(lookupHost)),
        method_(std::move(method)),
        flags_(flags),
        follow_(follow) {}
  ~WinInetRequest() override {
    CloseInternetHandle(request_);
    CloseInternetHandle(redirectConnection_);
  }
  WinInetRequest(const WinInetRequest&) = delete;
  WinInetRequest& operator=(const WinInetRequest&) = delete;

  void Send(const Text& headers, std::span<const std::uint8_t> body, const RequestLimits& limits) override {
    if (sent_) return;
    sent_ = true;
    budget_->Start(limits.deadlineMs);
    budget_->Cap(request_);
    if (!SendOnce(headers, body)) return;
    for (int redirects = 0; follow_ && IsRedirect(status_); ++redirects) {
      const std::optional<RedirectTarget> target = RedirectTargetOf(QueryLocation());
      if (!target) break;  // an answer that points nowhere we can go is the answer
      if (redirects == kMostRedirects || budget_->Passed()) {
        Finish(TransferOutcome::kFailed);  // a passed deadline makes it a time-out
        return;
      }
      // 301, 302 and 303 turn a POST into a GET without body; 307 and 308 keep both.
      if (method_ == "POST" && status_ != 307 && status_ != 308) method_ = "GET";
      if (!Reopen(*target) || !SendOnce(headers, body)) return;
    }
    headerBlock_ = QueryRawHeaders();
    announced_ = QueryContentLength();
  }

  int Read(std::span<std::uint8_t> buffer) override {
    if (finished_ || !sent_ || buffer.empty()) return 0;
    // A server that sends a byte now and then is never idle long enough for a time-out.
    if (budget_->Passed()) {
      Finish(TransferOutcome::kTimedOut);
      return 0;
    }
    // All that was announced has come: asking for more would wait on a connection kept open.
    if (announced_ >= 0 && received_ >= announced_ && method_ != "HEAD") {
      Finish(TransferOutcome::kComplete);
      return 0;
    }
    budget_->Cap(request_);
    // A read waits until it has filled its buffer: it asks only for what has arrived, so that a
    // trickle cannot hold it past the deadline.
    DWORD available = 0;
    if (!WinInet<decltype(::InternetQueryDataAvailable)>(gInternetQueryDataAvailable)(request_, &available, 0, 0)) {
      Finish(OutcomeOf(::GetLastError()));
      return 0;
    }
    const DWORD wanted = available == 0 ? static_cast<DWORD>(buffer.size())
                                        : std::min(available, static_cast<DWORD>(buffer.size()));
    DWORD got = 0;
    if (!WinInet<decltype(::InternetReadFile)>(gInternetReadFile)(request_, buffer.data(), wanted, &got)) {
      Finish(OutcomeOf(::GetLastError()));
      return 0;
    }
    if (got == 0) {
      // WinINet ends a body that the server cut short like one that is whole.
      const bool whole = announced_ < 0 || method_ == "HEAD" || status_ == 204 || status_ == 304 ||
                         received_ == announced_;
      Finish(whole ? TransferOutcome::kComplete : TransferOutcome::kFailed);
      return 0;
    }
    received_ += got;
    return static_cast<int>(got);
  }

  int Status() override { return status_; }

  TransferOutcome Outcome() override { return outcome_; }

  std::int64_t AnnouncedLength() override { return announced_; }

  std::optional<Text> RawHeaders(int capacity) override {
    if (!headerBlock_ || capacity < 0 || headerBlock_->size() + 1 > static_cast<std::size_t>(capacity)) {
      return std::nullopt;
    }
    return headerBlock_;
  }

 private:
  // Longer header blocks are only known as too long.
  static constexpr DWORD kKeptHeaderBytes = 64 * 1024;

  // Sends the current request; false (and finished) when it fails.
  bool SendOnce(const Text& headers, std::span<const std::uint8_t> body) {
    if (!LookedUpInTime(lookupHost_, budget_->LeftMs())) {
      Finish(TransferOutcome::kTimedOut);
      return false;
    }
    void* bytes = nullptr;
    DWORD size = 0;
    // GET never sends a body; POST always does, of length 0 when empty; HEAD only a non-empty one.
    if (method_ != "GET" && !(method_ == "HEAD" && body.empty())) {
      bytes = const_cast<std::uint8_t*>(body.data());
      size = static_cast<DWORD>(body.size());
    }
    const BOOL sent = WinInet<decltype(::HttpSendRequestA)>(gHttpSendRequest)(
        request_, headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()), bytes, size);
    if (!sent) {
      Finish(OutcomeOf(::GetLastError()));
      return false;
    }
    status_ = QueryStatus();
    if (status_ == 0) {
      // Wine's WinINet takes a connection closed before any answer as a sent request: with no
      // status line, nothing arrived.
      Finish(TransferOutcome::kFailed);
      return false;
    }
    return true;
  }

  static bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
  }

  Text QueryLocation() {
    std::vector<char> location(2048);
    for (;;) {
      DWORD size = static_cast<DWORD>(location.size());
      if (WinInet<decltype(::HttpQueryInfoA)>(gHttpQueryInfo)(request_, HTTP_QUERY_LOCATION, location.data(), &size,
                                                              nullptr)) {
        return Text(location.data(), std::min<std::size_t>(size, location.size()));
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kKeptHeaderBytes || size <= location.size()) {
        return {};
      }
      location.resize(size);
    }
  }

  // The Location of the current answer, read against the current request's address; nothing for
  // an empty one or one that is not http(s).
  std::optional<RedirectTarget> RedirectTargetOf(const Text& location) {
    if (location.empty()) return std::nullopt;
    char current[INTERNET_MAX_URL_LENGTH] = {};
    DWORD currentSize = sizeof current;
    if (!WinInet<decltype(::InternetQueryOptionA)>(gInternetQueryOption)(request_, INTERNET_OPTION_URL, current,
                                                                         &currentSize)) {
      return std::nullopt;
    }
    std::vector<char> combined(INTERNET_MAX_URL_LENGTH + location.size());
    DWORD combinedSize = static_cast<DWORD>(combined.size());
    if (!WinInet<decltype(::InternetCombineUrlA)>(gInternetCombineUrl)(current, location.c_str(), combined.data(),
                                                                       &combinedSize, ICU_NO_ENCODE)) {
      return std::nullopt;
    }
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::vector<char> path(combinedSize + 1);
    std::vector<char> extra(combinedSize + 1);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!WinInet<decltype(::InternetCrackUrlA)>(gInternetCrackUrl)(combined.data(), combinedSize, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) || host[0] == '\0') {
      return std::nullopt;
    }
    RedirectTarget target;
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target.host = host;
    target.port = parts.nPort;
    target.object = path[0] == '/' ? Text(path.data()) : Text("/") + path.data();
    target.object += extra.data();
    return target;
  }

  // Replaces the current request by one for `target` on a connection of its own.
  bool Reopen(const RedirectTarget& target) {
    HINTERNET connection = WinInet<decltype(::InternetConnectA)>(gInternetConnect)(
        session_, target.host.c_str(), static_cast<INTERNET_PORT>(target.port), "", "", INTERNET_SERVICE_HTTP, 0, 0);
    std::uint32_t flags = (flags_ & ~(kFlagSecure | kFlagIgnoreRedirectToHttps)) | kFlagNoAutoRedirect;
    flags |= target.secure ? kFlagSecure : kFlagIgnoreRedirectToHttps;
    HINTERNET request = connection == nullptr ? nullptr
                                              : WinInet<decltype(::HttpOpenRequestA)>(gHttpOpenRequest)(
                                                    connection, method_.c_str(), target.object.c_str(), "HTTP/1.1",
                                                    nullptr, nullptr, flags, reinterpret_cast<DWORD_PTR>(budget_.get()));
    CloseInternetHandle(request_);
    CloseInternetHandle(redirectConnection_);
    if (!lookupHost_.empty()) lookupHost_ = target.host;
    redirectConnection_ = connection;
    request_ = request;
    budget_->ForgetHandle();
    if (request_ == nullptr) {
      Finish(TransferOutcome::kFailed);
      return false;
    }
    budget_->Cap(request_);
    return true;
  }

  int QueryStatus() {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinInet<decltype(::HttpQueryInfoA)>(gHttpQueryInfo)(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                                             &status, &size, nullptr)) {
      return 0;
    }
    return static_cast<int>(status);
  }

  std::optional<Text> QueryRawHeaders() {
    std::vector<char> block(8192);
    for (;;) {
      DWORD size = static_cast<DWORD>(block.size());
      if (WinInet<decltype(::HttpQueryInfoA)>(gHttpQueryInfo)(request_, HTTP_QUERY_RAW_HEADERS_CRLF, block.data(),
                                                              &size, nullptr)) {
        return Text(block.data(), std::min<std::size_t>(size, block.size()));
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kKeptHeaderBytes || size <= block.size()) {
        return std::nullopt;
      }
      block.resize(size);
    }
  }

  std::int64_t QueryContentLength() {
    char digits[32] = {};
    DWORD size = sizeof digits - 1;
    if (!WinInet<decltype(::HttpQueryInfoA)>(gHttpQueryInfo)(request_, HTTP_QUERY_CONTENT_LENGTH, digits, &size,
                                                             nullptr)) {
      return -1;
    }
    std::int64_t length = 0;
    for (DWORD i = 0; i < size; ++i) {
      if (digits[i] < '0' || digits[i] > '9' || length > (INT64_MAX - 9) / 10) return -1;
      length = length * 10 + (digits[i] - '0');
    }
    return size == 0 ? -1 : length;
  }

  void Finish(TransferOutcome outcome) {
    finished_ = true;
    // A call that failed once the deadline had passed failed by time-out, whatever it says.
    outcome_ = budget_->Passed() ? TransferOutcome::kTimedOut : outcome;
  }

  HINTERNET session_;
  HINTERNET request_;
  std::unique_ptr<Budget> budget_;
  Text lookupHost_;
  HINTERNET redirectConnection_ = nullptr;  // the connection of a followed redirect
  Text method_;
  std::uint32_t flags_;
  bool follow_;
  bool sent_ = false;
  bool finished_ = false;
  int status_ = 0;
  std::optional<Text> headerBlock_;
  std::int64_t announced_ = -1;
  std::int64_t received_ = 0;
  TransferOutcome outcome_ = TransferOutcome::kNotSent;
};

class WinInetConnection final : public TransportConnection {
 public:
  WinInetConnection(HINTERNET session, HINTERNET connection, Text lookupHost)
      : session_(session), connection_(connection), lookupHost_(std::move(lookupHost)) {}
  ~WinInetConnection() override { CloseInternetHandle(connection_); }
  WinInetConnection(const WinInetConnection&) = delete;
  WinInetConnection& operator=(const WinInetConnection&) = delete;

  std::unique_ptr<TransportRequest> OpenRequest(const Text& method, const Text& object, const Text& version,
                                                std::uint32_t flags) override {
    const bool follow = (flags & kFlagNoAutoRedirect) == 0;
    auto budget = std::make_unique<Budget>();
    HINTERNET request = WinInet<decltype(::HttpOpenRequestA)>(gHttpOpenRequest)(
        connection_, method.c_str(), object.c_str(), version.c_str(), nullptr, nullptr, flags | kFlagNoAutoRedirect,
        reinterpret_cast<DWORD_PTR>(budget.get()));
    if (request == nullptr) return nullptr;
    return std::make_unique<WinInetRequest>(session_, request, std::move(budget), lookupHost_, method, flags, follow);
  }

 private:
  HINTERNET session_;
  HINTERNET connection_;
  Text lookupHost_;
};

class WinInetSession final : public TransportSession {
 public:
  WinInetSession(HINTERNET session, bool proxy) : session_(session), proxy_(proxy) {}
  ~WinInetSession() override { CloseInternetHandle(session_); }
  WinInetSession(const WinInetSession&) = delete;
  WinInetSession& operator=(const WinInetSession&) = delete;

  std::unique_ptr<TransportConnection> Connect(const Text& host, int port) override {
    if (host.empty() || port < 0 || port > 65535) return nullptr;
    HINTERNET connection = WinInet<decltype(::InternetConnectA)>(gInternetConnect)(
        session_, host.c_str(), static_cast<INTERNET_PORT>(port), "", "", INTERNET_SERVICE_HTTP, 0, 0);
    if (connection == nullptr) return nullptr;
    return std::make_unique<WinInetConnection>(session_, connection, proxy_ ? Text() : host);
  }

 private:
  HINTERNET session_;
  bool proxy_;
};

class WinInetTransport final : public Transport {
 public:
  std::unique_ptr<TransportSession> OpenSession(const Text& agent, ProxyAccess access,
                                                const Text& proxyText) override {
    const bool proxy = access == ProxyAccess::kProxy;
    HINTERNET session = WinInet<decltype(::InternetOpenA)>(gInternetOpen)(
        agent.c_str(), proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
        proxy ? proxyText.c_str() : nullptr, nullptr, 0);
    if (session == nullptr) return nullptr;
    // The handles made from the session take its callback and its time-outs.
    WinInet<decltype(::InternetSetStatusCallbackA)>(gInternetSetStatusCallback)(session, &OnStatus);
    SetTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, gConnectTimeoutMs.load());
    SetTimeout(session, INTERNET_OPTION_SEND_TIMEOUT, gIdleTimeoutMs.load());
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, gIdleTimeoutMs.load());
    return std::make_unique<WinInetSession>(session, proxy);
  }
};

}  // namespace

Transport& DefaultTransport() {
  static WinInetTransport transport;
  return transport;
}

void SetWebTimeoutsForTesting(std::int64_t connectMilliseconds, std::int64_t idleMilliseconds) {
  gConnectTimeoutMs = std::max<std::int64_t>(1, connectMilliseconds);
  gIdleTimeoutMs = std::max<std::int64_t>(1, idleMilliseconds);
}

void SetLongestDeadlineForTesting(std::int64_t milliseconds) {
  gLongestDeadlineMs = std::max<std::int64_t>(0, milliseconds);
}

// WinINet trusts only the system's store: the certificate goes into the machine's root store of
// the test's own Wine prefix.
void SetExtraCaFileForTesting(const std::string& path) {
  if (path.empty()) return;
  std::ifstream in(path, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto toBinary = DeclaredAs<decltype(&::CryptStringToBinaryA)>(gCryptStringToBinary);
  DWORD size = 0;
  if (!toBinary(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                nullptr)) {
    return;
  }
  std::vector<BYTE> der(size);
  toBinary(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
  HCERTSTORE store = DeclaredAs<decltype(&::CertOpenStore)>(gCertOpenStore)(
      CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (store == nullptr) return;
  DeclaredAs<decltype(&::CertAddEncodedCertificateToStore)>(gCertAddEncodedCertificateToStore)(
      store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  DeclaredAs<decltype(&::CertCloseStore)>(gCertCloseStore)(store, 0);
}

}  // namespace kestrin
