// The web request on WinINet against a plain WinINet loop, both talking to the same loopback
// server in the same run. The plain loop does the work that every web request must do and
// nothing else: a new session (the program's agent), connection and request (its flags) per GET,
// the four default header lines, reads of 1024 bytes to the end, the raw response header block.
// What is left of the difference is ours. Rounds alternate the two, so each sees the same drift of
// the machine; prints the median time per GET of each and "ratio" (ours over plain).
// Run under Wine: wine-run.sh kestrin_wininet_bench.exe [rounds]
#include "runtime/windows/windows_api.h"

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/declared_functions.h"
#include "tests/support/raw_server.h"
#include "web/web_request.h"

namespace {

using kestrin::DeclaredAs;
using kestrin::DeclaredFunction;

// The plain loop reaches WinINet the way the program does, with the same request flags, so
// neither pays for a different kind of call.
DeclaredFunction gOpen{"wininet.dll", "InternetOpenA", {}, {}};
DeclaredFunction gConnect{"wininet.dll", "InternetConnectA", {}, {}};
DeclaredFunction gOpenRequest{"wininet.dll", "HttpOpenRequestA", {}, {}};
DeclaredFunction gSend{"wininet.dll", "HttpSendRequestA", {}, {}};
DeclaredFunction gRead{"wininet.dll", "InternetReadFile", {}, {}};
DeclaredFunction gQueryInfo{"wininet.dll", "HttpQueryInfoA", {}, {}};
DeclaredFunction gClose{"wininet.dll", "InternetCloseHandle", {}, {}};

template <typename Fn>
Fn* Call(DeclaredFunction& entry) {
  return DeclaredAs<Fn*>(entry);
}

std::size_t PlainGet(int port, const std::string& address) {
  HINTERNET session = Call<decltype(::InternetOpenA)>(gOpen)("Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
                                                             INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection = Call<decltype(::InternetConnectA)>(gConnect)(session, "127.0.0.1", static_cast<INTERNET_PORT>(port),
                                                                       "", "", INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = Call<decltype(::HttpOpenRequestA)>(gOpenRequest)(
      connection, "GET", "/page", "HTTP/1.1", nullptr, nullptr,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS, 0);
  const std::string headers = "Accept: */*\r\nReferer: " + address +
                              "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";
  std::size_t total = 0;
  if (Call<decltype(::HttpSendRequestA)>(gSend)(request, headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0)) {
    char buffer[1024];
    DWORD got = 0;
    while (Call<decltype(::InternetReadFile)>(gRead)(request, buffer, sizeof buffer, &got) && got > 0) total += got;
    char block[5000];
    DWORD size = sizeof block;
    Call<decltype(::HttpQueryInfoA)>(gQueryInfo)(request, HTTP_QUERY_RAW_HEADERS_CRLF, block, &size, nullptr);
  }
  auto close = Call<decltype(::InternetCloseHandle)>(gClose);
  close(request);
  close(connection);
  close(session);
  return total;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  const std::string page(2000, 'x');
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page;
  kestrin::testsupport::RawServer server([&answer](kestrin::testsupport::RawConnection& connection) {
    while (!connection.ReadHead().empty()) {
      if (!connection.Send(answer)) return;
    }
  });
  const std::string address = server.Url("/page");
  using Clock = std::chrono::steady_clock;
  std::vector<double> ours, plain;
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursFirst = round % 2 == 0;
      const auto start = Clock::now();
      const std::size_t got = (turn == 0) == oursFirst ? kestrin::WebRequest(address).body.size()
                                                                 : PlainGet(server.Port(), address);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      if (got != page.size()) {
        std::fprintf(stderr, "a GET came back with %zu bytes\n", got);
        return 1;
      }
      ((turn == 0) == oursFirst ? ours : plain).push_back(ms);
    }
  }
  const double a = Median(ours);
  const double b = Median(plain);
  std::printf("small GET, %d rounds: web request %.3f ms, plain WinINet %.3f ms, ratio %.2f\n", rounds, a, b, a / b);
  return 0;
}
