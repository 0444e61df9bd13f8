// The web request against a plain libcurl loop that opens a new handle for every request, both
// talking to the same loopback server in the same run: per-request overhead for small GETs and
// POSTs, and throughput and peak memory for a 50 MB body. Each iteration runs one request of
// each kind, in alternating order, and the "ratio" counter is ours over plain.
//
// Run with --peak <address> <ours|plain> (what main does by itself after the benchmarks) to
// print the growth of the peak resident size during one request in a fresh process.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "runtime/declared_functions.h"
#include "web/web_request.h"

namespace {

using kestrin::DeclaredAs;
using kestrin::DeclaredFunction;

// The plain loop reaches libcurl the way the program does, so neither pays for a different
// kind of call.
DeclaredFunction gGlobalInit{"libcurl.so.4", "curl_global_init", {}, {}};
DeclaredFunction gEasyInit{"libcurl.so.4", "curl_easy_init", {}, {}};
DeclaredFunction gEasySetopt{"libcurl.so.4", "curl_easy_setopt", {}, {}};
DeclaredFunction gEasyPerform{"libcurl.so.4", "curl_easy_perform", {}, {}};
DeclaredFunction gEasyCleanup{"libcurl.so.4", "curl_easy_cleanup", {}, {}};

constexpr std::size_t kLargeBody = 50u << 20;
const char* const kPostBody = "http://www.example.com/news/2026/1207/12345.html";

double Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

std::string PlainCurl(const std::string& address, bool post, long bufferSize = 0) {
  auto setopt = DeclaredAs<decltype(&curl_easy_setopt)>(gEasySetopt);
  CURL* easy = DeclaredAs<decltype(&curl_easy_init)>(gEasyInit)();
  std::string body;
  setopt(easy, CURLOPT_URL, address.c_str());
  setopt(easy, CURLOPT_PROXY, "");
  setopt(easy, CURLOPT_NOSIGNAL, 1L);
  if (bufferSize > 0) setopt(easy, CURLOPT_BUFFERSIZE, bufferSize);
  if (post) {
    setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(std::strlen(kPostBody)));
    setopt(easy, CURLOPT_POSTFIELDS, kPostBody);
  }
  setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
  setopt(easy, CURLOPT_WRITEDATA, &body);
  DeclaredAs<decltype(&curl_easy_perform)>(gEasyPerform)(easy);
  DeclaredAs<decltype(&curl_easy_cleanup)>(gEasyCleanup)(easy);
  return body;
}

std::size_t Ours(const std::string& address, bool post) {
  kestrin::WebRequestOptions options;
  if (post) {
    options.method = 1;
    options.textBody = kPostBody;
  }
  return kestrin::WebRequest(address, options).body.size();
}

// A plain cpp-httplib server: the recording test server would charge its own bookkeeping for
// every header line, and the routine sends more of them than the plain loop.
class Site {
 public:
  Site() {
    static const std::string piece(64 << 10, 'z');
    const auto small = [](const httplib::Request&, httplib::Response& response) {
      response.set_content("<html><body>small page</body></html>", "text/html");
    };
    server_.Get("/small", small);
    server_.Post("/small", small);
    server_.Get("/large", [](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(kLargeBody, "application/octet-stream",
                                    [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                      const std::size_t at = offset % piece.size();
                                      return sink.write(piece.data() + at, std::min(length, piece.size() - at));
                                    });
    });
    server_.Get("/large-chunked", [](const httplib::Request&, httplib::Response& response) {
      response.set_chunked_content_provider("application/octet-stream",
                                            [](std::size_t offset, httplib::DataSink& sink) {
                                              if (offset >= kLargeBody) {
                                                sink.done();
                                                return true;
                                              }
                                              return sink.write(piece.data(),
                                                                std::min(piece.size(), kLargeBody - offset));
                                            });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~Site() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

// Runs one request of ours and one plain request per iteration and reports both and the ratio.
template <typename OursFn, typename PlainFn>
void Compare(benchmark::State& state, OursFn ours, PlainFn plain, std::size_t bytes) {
  double oursTime = 0;
  double plainTime = 0;
  bool oursFirst = true;
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool runOurs = (turn == 0) == oursFirst;
      const double start = Now();
      const std::size_t received = runOurs ? ours() : plain();
      (runOurs ? oursTime : plainTime) += Now() - start;
      if (received != bytes) state.SkipWithError("a body came back short");
    }
    oursFirst = !oursFirst;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["ours_us"] = oursTime / n * 1e6;
  state.counters["plain_us"] = plainTime / n * 1e6;
  state.counters["ratio"] = oursTime / plainTime;
  if (bytes > 1000) state.counters["ours_MBps"] = static_cast<double>(bytes) * n / oursTime / 1e6;
}

Site* gServer = nullptr;

void BM_SmallGet(benchmark::State& state) {
  const std::string address = gServer->Url("/small");
  Compare(state, [&] { return Ours(address, false); }, [&] { return PlainCurl(address, false).size(); }, 36);
}
BENCHMARK(BM_SmallGet)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_SmallPost(benchmark::State& state) {
  const std::string address = gServer->Url("/small");
  Compare(state, [&] { return Ours(address, true); }, [&] { return PlainCurl(address, true).size(); }, 36);
}
BENCHMARK(BM_SmallPost)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Against curl's own buffer size and against the 1024-byte reads the routine asks for.
void BM_Body50MB(benchmark::State& state) {
  const std::string address = gServer->Url("/large");
  const long bufferSize = state.range(0);
  Compare(state, [&] { return Ours(address, false); },
          [&] { return PlainCurl(address, false, bufferSize).size(); }, kLargeBody);
}
BENCHMARK(BM_Body50MB)->Arg(0)->Arg(1024)->Iterations(5)->Unit(benchmark::kMillisecond);

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int MeasurePeak(const std::string& address, const std::string& who) {
  const long before = PeakKilobytes();
  const std::size_t size = who == "ours" ? Ours(address, false) : PlainCurl(address, false).size();
  const double grown = static_cast<double>(PeakKilobytes() - before) * 1024;
  std::printf("%-5s %-40s body %6.1f MB, peak grew %6.1f MB (%.2fx the body)\n", who.c_str(), address.c_str(),
              static_cast<double>(size) / 1e6, grown / 1e6, grown / static_cast<double>(size));
  return size == kLargeBody ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  DeclaredAs<decltype(&curl_global_init)>(gGlobalInit)(CURL_GLOBAL_DEFAULT);
  if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return MeasurePeak(argv[2], argv[3]);

  Site server;
  gServer = &server;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\nPeak resident size during one 50 MB request, each in a fresh process:\n");
  std::fflush(stdout);
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
  for (const char* path : {"/large", "/large-chunked"}) {
    for (const char* who : {"ours", "plain"}) {
      const std::string command = std::string(self) + " --peak " + server.Url(path) + " " + who;
      if (std::system(command.c_str()) != 0) std::printf("%s %s failed\n", who, path);
    }
  }
  return 0;
}
