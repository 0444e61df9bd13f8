#include "web/web_request.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "runtime/text_ops.h"
#include "web/address.h"
#include "web/between.h"
#include "web/cookies.h"
#include "web/transport.h"

namespace kestrin {
namespace {

constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr int kReadChunkSize = 1024;
constexpr int kResponseHeaderCapacity = 5000;
// A body announced as longer gets its room as it arrives: an announcement is only a claim.
constexpr std::int64_t kLargestReservation = 64 * 1024 * 1024;

// Whether `text` holds `sought` anywhere, ASCII case ignored. Matches of the GBK-aware search are
// a subset of these, so a miss here spares that search.
bool MayContainIgnoringCase(std::string_view text, std::string_view sought) {
  const auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  return std::search(text.begin(), text.end(), sought.begin(), sought.end(), same) != text.end();
}

// The case-sensitive, GBK-aware search, asked only when the bytes occur at all.
bool ContainsText(const Text& text, std::string_view sought) {
  return text.find(sought) != Text::npos && FindText(text, sought) != -1;
}

// The agent named in the header text, or the default one when it names none.
Text AgentOf(const Text& headers) {
  if (!MayContainIgnoringCase(headers, "User-Agent:")) return Text(kDefaultAgent);
  const int named = FindText(headers, "User-Agent:", std::nullopt, true);
  if (named == -1) return Text(kDefaultAgent);
  Text agent = TrimBoth(TextBetween(headers, "User-Agent:", "\r\n"));
  if (!agent.empty()) return agent;
  // Only the rest of the line that names the agent: taking the text after the first colon of
  // the whole header text would put other lines, CR LF and all, into the agent's header line.
  const Text rest = MidText(headers, named + 11, TextLength(headers));
  const int lineEnd = FindText(rest, "\r\n");
  return TrimBoth(lineEnd == -1 ? rest : LeftText(rest, lineEnd - 1));
}

// The caller's header text with the default lines it lacks; each test is case-sensitive.
Text CompleteHeaders(Text headers, const Text& address, const Text& cookies) {
  if (headers.empty()) {
    headers = "Accept: */*";
  } else if (!ContainsText(headers, "Accept:")) {
    headers += "\r\nAccept: */*";
  }
  if (!ContainsText(headers, "Referer:")) headers += JoinTexts("\r\nReferer: ", address);
  if (!ContainsText(headers, "Accept-Language:")) headers += "\r\nAccept-Language: zh-cn";
  if (!ContainsText(headers, "Content-Type:")) headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  if (!cookies.empty()) headers += JoinTexts("\r\nCookie: ", cookies);
  return headers;
}

// The name=value items of the Set-Cookie lines, joined by "; ".
Text ReceivedCookiesOf(const Text& responseHeaders) {
  if (responseHeaders.find("Set-Cookie") == Text::npos) return Text();
  Text received;
  for (const Text& line : SplitText(responseHeaders, "\r\n")) {
    if (FindText(line, "Set-Cookie") == -1) continue;
    const Text item = FindText(line, ";") != -1
                          ? TrimBoth(TextBetween(line, "Set-Cookie:", ";"))
                          : TrimBoth(ReplaceText(line, "Set-Cookie:", "", std::nullopt, std::nullopt, false));
    received += JoinTexts(item, "; ");
  }
  return LeftText(received, TextLength(received) - 2);
}

bool HoldsControlByte(const Text& address) {
  return std::any_of(address.begin(), address.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

// The body up to `cap` bytes; false as soon as it is known to be longer, from its announced
// length or from what arrived.
bool ReadBody(TransportRequest& request, std::int64_t cap, ByteBuffer& body) {
  std::array<std::uint8_t, kReadChunkSize> chunk{};
  bool sized = false;
  for (;;) {
    const int n = request.Read(chunk);
    if (n <= 0) return true;
    if (!sized) {
      sized = true;
      const std::int64_t announced = request.AnnouncedLength();
      if (announced > cap) return false;
      if (announced > 0) body.reserve(static_cast<std::size_t>(std::min(announced, kLargestReservation)));
    }
    if (static_cast<std::int64_t>(body.size()) + n > cap) return false;
    body.insert(body.end(), chunk.begin(), chunk.begin() + n);
  }
}

}  // namespace

WebResponse WebRequest(const Text& address, const WebRequestOptions& options, Text* cookies) {
  static constexpr const char* kMethodTexts[] = {"GET", "POST", "HEAD"};
  WebResponse response;
  response.requestHeaders = options.headers;
  response.byteBodySent = options.byteBody;
  if (HoldsControlByte(address)) return response;
  const RequestLimits limits{options.timeoutMs > 0 ? options.timeoutMs : kDefaultRequestTimeoutMs};
  const std::int64_t cap = options.maxBodyBytes > 0 ? options.maxBodyBytes : kDefaultMaxBodyBytes;

  const int method = options.method < 0 || options.method > 2 ? 0 : options.method;
  const Text methodText = kMethodTexts[method];
  const AddressParts parts = SplitAddress(address);
  const bool secure = parts.secure;
  const Text agent = AgentOf(options.headers);

  ProxyAccess access = ProxyAccess::kDirect;
  Text proxyText;
  if (!options.proxy.empty()) {
    access = ProxyAccess::kProxy;
    proxyText = secure ? options.proxy : JoinTexts("http=", options.proxy);
  }

  std::uint32_t flags = kFlagReload | kFlagNeedFile;
  if (cookies != nullptr) flags |= kFlagNoCookies;
  if (options.noRedirect) flags |= kFlagNoAutoRedirect;
  flags |= secure ? kFlagSecure : kFlagIgnoreRedirectToHttps;

  // Handles close newest first on every path, as the unique_ptrs unwind in reverse order.
  auto session = DefaultTransport().OpenSession(agent, access, proxyText);
  if (!session) return response;
  auto connection = session->Connect(parts.host, parts.port);
  if (!connection) return response;
  auto request = connection->OpenRequest(methodText, parts.path, "HTTP/1.1", flags);
  if (!request) return response;

  response.requestHeaders = CompleteHeaders(options.headers, address, cookies != nullptr ? *cookies : Text());
  if (methodText == "GET") {
    request->Send(response.requestHeaders, {}, limits);
  } else {
    if (response.byteBodySent.empty()) response.byteBodySent = ToByteBuffer(options.textBody);
    request->Send(response.requestHeaders, response.byteBodySent, limits);
  }

  if (ReadBody(*request, cap, response.body)) {
    response.outcome = request->Outcome();
  } else {
    response.outcome = TransferOutcome::kTooLarge;
  }
  response.status = request->Status();
  // A body cut short is no answer: a caller that reads it would take a fragment for the whole.
  if (!response.Completed()) ByteBuffer().swap(response.body);

  // The block ends at its first NUL, as a C string would.
  const std::optional<Text> raw = request->RawHeaders(kResponseHeaderCapacity);
  response.responseHeaders = raw ? MakeText(*raw) : SpaceText(kResponseHeaderCapacity);
  if (MayContainIgnoringCase(response.responseHeaders, "Set-Cookie")) {
    response.responseHeaders =
        ReplaceText(response.responseHeaders, "Set-Cookie", "Set-Cookie", std::nullopt, std::nullopt, false);
  }

  request.reset();
  connection.reset();
  session.reset();

  response.receivedCookies = ReceivedCookiesOf(response.responseHeaders);
  if (cookies != nullptr) MergeCookies(*cookies, response.receivedCookies);
  return response;
}

}  // namespace kestrin
