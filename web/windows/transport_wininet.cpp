// The transport on WinINet, bound from "wininet.dll" through the table of declared library
// functions. WinINet has no deadline of its own. Each call gets at most the time left as its
// time-outs, and the deadline is checked between calls.
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
#include <cstdint>
#include <fstream>
#include <iterator>
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
  // connections of its own made from the session.
  WinInetRequest(HINTERNET session, HINTERNET request, Text method, std::uint32_t flags, bool follow)
      : session_(session), request_(request), method_(std::move(method)), flags_(flags), follow_(follow) {}
  ~WinInetRequest() override {
    CloseInternetHandle(request_);
    CloseInternetHandle(redirectConnection_);
  }
  WinInetRequest(const WinInetRequest&) = delete;
  WinInetRequest& operator=(const WinInetRequest&) = delete;

  void Send(const Text& headers, std::span<const std::uint8_t> body, const RequestLimits& limits) override {
    if (sent_) return;
    sent_ = true;
    StartDeadline(limits.deadlineMs);
    CapTimeouts();
    if (!SendOnce(headers, body)) return;
    for (int redirects = 0; follow_ && IsRedirect(status_); ++redirects) {
      const std::optional<RedirectTarget> target = RedirectTargetOf(QueryLocation());
      if (!target) break;  // an answer that points nowhere we can go is the answer
      if (redirects == kMostRedirects || DeadlinePassed()) {
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
    if (DeadlinePassed()) {
      Finish(TransferOutcome::kTimedOut);
      return 0;
    }
    // All that was announced has come: asking for more would wait on a connection kept open.
    if (announced_ >= 0 && received_ >= announced_ && method_ != "HEAD") {
      Finish(TransferOutcome::kComplete);
      return 0;
    }
    CapTimeouts();
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
                                                    nullptr, nullptr, flags, 0);
    CloseInternetHandle(request_);
    CloseInternetHandle(redirectConnection_);
    redirectConnection_ = connection;
    request_ = request;
    timeoutsHandle_ = nullptr;
    if (request_ == nullptr) {
      Finish(TransferOutcome::kFailed);
      return false;
    }
    CapTimeouts();
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
    outcome_ = DeadlinePassed() ? TransferOutcome::kTimedOut : outcome;
  }

  [[nodiscard]] bool DeadlinePassed() const { return deadline_ && std::chrono::steady_clock::now() >= *deadline_; }

  // The request's time-outs, none longer than the time left. They are set on a new handle and
  // again only when the time left cuts them shorter: the calls cost, and most reads change nothing.
  void CapTimeouts() {
    std::int64_t left = INT64_MAX;
    if (deadline_) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
      left = std::max<std::int64_t>(1, ms.count());
    }
    const std::int64_t connect = std::min(gConnectTimeoutMs.load(), left);
    const std::int64_t idle = std::min(gIdleTimeoutMs.load(), left);
    if (timeoutsHandle_ == request_ && connect >= timeoutsConnectMs_ && idle >= timeoutsIdleMs_) return;
    SetTimeout(request_, INTERNET_OPTION_CONNECT_TIMEOUT, connect);
    SetTimeout(request_, INTERNET_OPTION_SEND_TIMEOUT, idle);
    SetTimeout(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, idle);
    timeoutsHandle_ = request_;
    timeoutsConnectMs_ = connect;
    timeoutsIdleMs_ = idle;
  }

  void StartDeadline(std::int64_t deadlineMs) {
    if (const std::int64_t longest = gLongestDeadlineMs.load(); longest > 0 && (deadlineMs <= 0 || deadlineMs > longest)) {
      deadlineMs = longest;
    }
    if (deadlineMs > 0) deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
  }

  HINTERNET session_;
  HINTERNET request_;
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
  std::optional<std::chrono::steady_clock::time_point> deadline_;

  HINTERNET timeoutsHandle_ = nullptr;  // the handle whose time-outs were set, and to what
  std::int64_t timeoutsConnectMs_ = 0;
  std::int64_t timeoutsIdleMs_ = 0;
};

class WinInetConnection final : public TransportConnection {
 public:
  WinInetConnection(HINTERNET session, HINTERNET connection) : session_(session), connection_(connection) {}
  ~WinInetConnection() override { CloseInternetHandle(connection_); }
  WinInetConnection(const WinInetConnection&) = delete;
  WinInetConnection& operator=(const WinInetConnection&) = delete;

  std::unique_ptr<TransportRequest> OpenRequest(const Text& method, const Text& object, const Text& version,
                                                std::uint32_t flags) override {
    const bool follow = (flags & kFlagNoAutoRedirect) == 0;
    HINTERNET request = WinInet<decltype(::HttpOpenRequestA)>(gHttpOpenRequest)(
        connection_, method.c_str(), object.c_str(), version.c_str(), nullptr, nullptr, flags | kFlagNoAutoRedirect, 0);
    if (request == nullptr) return nullptr;
    return std::make_unique<WinInetRequest>(session_, request, method, flags, follow);
  }

 private:
  HINTERNET session_;
  HINTERNET connection_;
};

class WinInetSession final : public TransportSession {
 public:
  explicit WinInetSession(HINTERNET session) : session_(session) {}
  ~WinInetSession() override { CloseInternetHandle(session_); }
  WinInetSession(const WinInetSession&) = delete;
  WinInetSession& operator=(const WinInetSession&) = delete;

  std::unique_ptr<TransportConnection> Connect(const Text& host, int port) override {
    if (host.empty() || port < 0 || port > 65535) return nullptr;
    HINTERNET connection = WinInet<decltype(::InternetConnectA)>(gInternetConnect)(
        session_, host.c_str(), static_cast<INTERNET_PORT>(port), "", "", INTERNET_SERVICE_HTTP, 0, 0);
    if (connection == nullptr) return nullptr;
    return std::make_unique<WinInetConnection>(session_, connection);
  }

 private:
  HINTERNET session_;
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
    // The handles made from the session take its time-outs.
    SetTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, gConnectTimeoutMs.load());
    SetTimeout(session, INTERNET_OPTION_SEND_TIMEOUT, gIdleTimeoutMs.load());
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, gIdleTimeoutMs.load());
    return std::make_unique<WinInetSession>(session);
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
