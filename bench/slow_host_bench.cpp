// The submitter and the collector against a slow host, a loopback server that stands in for a
// distant one: every answer comes 20 ms after its request (the round trip), and the first on a
// connection 40 ms later still (the TCP and TLS handshakes). Each job makes 100 requests; the
// baseline is a libcurl loop that keeps one handle, so one connection, for its 100 requests.
// Every case gets servers of its own, so each starts without a connection, as a run does.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/interleaved.h"
#include "bench/median_reporter.h"
#include "links/collector.h"
#include "links/submitter.h"
#include "runtime/declared_functions.h"
#include "tests/support/memory_form.h"
#include "tests/support/raw_server.h"

namespace kestrin {
namespace {

using testsupport::MemoryForm;
using testsupport::RawServer;

constexpr int kRequests = 100;

// The slow host keeps its connections. A request's body, if any, is read as the start of the
// next request's head.
RawServer::Script SlowHost(std::string answer) {
  return [answer = std::move(answer)](testsupport::RawConnection& connection) {
    for (int n = 0; !connection.ReadHead().empty(); ++n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(n == 0 ? 20 + 40 : 20));
      if (!connection.Send(answer)) return;
    }
  };
}

std::string Answer(const std::string& contentType, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

const std::string kSubmitAnswer = Answer("application/json", R"({"remain":4999,"success":1})");
const std::string kListPage = Answer("text/html",
                                     "<html><body><div class=\"list\"><ul>"
                                     "<li><a href=\"/a/1.html\">one</a></li><li><a href=\"/a/2.html\">two</a></li>"
                                     "</ul></div></body></html>");

DeclaredFunction gGlobalInit{"libcurl.so.4", "curl_global_init", {}, {}};
DeclaredFunction gEasyInit{"libcurl.so.4", "curl_easy_init", {}, {}};
DeclaredFunction gEasySetopt{"libcurl.so.4", "curl_easy_setopt", {}, {}};
DeclaredFunction gEasyPerform{"libcurl.so.4", "curl_easy_perform", {}, {}};
DeclaredFunction gEasyCleanup{"libcurl.so.4", "curl_easy_cleanup", {}, {}};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One handle for all the requests: libcurl keeps its connection between them.
void BM_CurlKeptHandle(benchmark::State& state) {
  const bool post = state.range(0) == 1;
  RawServer server(SlowHost(post ? kSubmitAnswer : kListPage));
  const auto setopt = DeclaredAs<decltype(&curl_easy_setopt)>(gEasySetopt);
  const std::string body = "http://www.example.com/article/1.html";
  int answered = 0;
  for (auto _ : state) {
    CURL* easy = DeclaredAs<decltype(&curl_easy_init)>(gEasyInit)();
    std::string answer;
    setopt(easy, CURLOPT_PROXY, "");
    setopt(easy, CURLOPT_NOSIGNAL, 1L);
    setopt(easy, CURLOPT_WRITEFUNCTION, &Append);
    setopt(easy, CURLOPT_WRITEDATA, &answer);
    for (int i = 1; i <= kRequests; ++i) {
      const std::string address = server.Url(post ? "/urls?site=s&token=t" : "/list/index_" + std::to_string(i) + ".html");
      setopt(easy, CURLOPT_URL, address.c_str());
      if (post) {
        setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
      }
      answer.clear();
      DeclaredAs<decltype(&curl_easy_perform)>(gEasyPerform)(easy);
      answered += answer.empty() ? 0 : 1;
    }
    DeclaredAs<decltype(&curl_easy_cleanup)>(gEasyCleanup)(easy);
  }
  if (answered != kRequests * static_cast<int>(state.iterations())) state.SkipWithError("a request went unanswered");
  state.counters["connections"] = server.ConnectionCount();
}

void BM_SubmitLinks(benchmark::State& state) {
  RawServer server(SlowHost(kSubmitAnswer));
  MemoryForm form;
  form.SetRecording(false);
  std::string list;
  for (int i = 1; i <= kRequests; ++i) list += "http://www.example.com/article/" + std::to_string(i) + ".html\r\n";
  form.Put(names::编辑框11, list);
  form.Put(names::编辑框9, server.Url("/urls?site=s&token=t"));
  const int before = SubmittedTotal.load();
  for (auto _ : state) SubmitLinks(form, names::编辑框11, names::编辑框12);
  if (SubmittedTotal.load() - before != kRequests * static_cast<int>(state.iterations())) {
    state.SkipWithError("not every address was accepted");
  }
  state.counters["connections"] = server.ConnectionCount();
}

void BM_CollectLinks(benchmark::State& state) {
  RawServer server(SlowHost(kListPage));
  MemoryForm form;
  form.SetRecording(false);
  form.PutState(names::选择框1, true);
  form.Put(names::编辑框1, server.Url("/list/index_$.html"));
  form.Put(names::编辑框2, "1");
  form.Put(names::编辑框3, std::to_string(kRequests));
  form.Put(names::编辑框4, "<ul>");
  form.Put(names::编辑框5, "</ul>");
  form.Put(names::编辑框6, "<a href=\"");
  form.Put(names::编辑框7, "\"");
  const int before = CollectedTotal.load();
  for (auto _ : state) CollectLinks(form);
  if (CollectedTotal.load() - before != 2 * kRequests * static_cast<int>(state.iterations())) {
    state.SkipWithError("not every page was collected");
  }
  state.counters["connections"] = server.ConnectionCount();
}

BENCHMARK(BM_CurlKeptHandle)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_SubmitLinks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_CollectLinks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

void PrintRatio(const bench::MedianReporter& reporter, const char* job, const char* baseline) {
  const bench::MedianReporter::Median* ours = reporter.Of(job);
  const bench::MedianReporter::Median* kept = reporter.Of(baseline);
  if (ours == nullptr || kept == nullptr || kept->seconds <= 0) return;
  std::printf("%-16s %6.2f s over %.0f connections, the kept handle %5.2f s: %.2fx (target 1.10 at most)\n", job,
              ours->seconds, ours->counters.at("connections"), kept->seconds, ours->seconds / kept->seconds);
}

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  kestrin::DeclaredAs<decltype(&curl_global_init)>(kestrin::gGlobalInit)(CURL_GLOBAL_DEFAULT);
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%d requests each, 20 ms a round trip, 40 ms more a new connection:\n", kestrin::kRequests);
  kestrin::PrintRatio(reporter, "BM_SubmitLinks", "BM_CurlKeptHandle/1");
  kestrin::PrintRatio(reporter, "BM_CollectLinks", "BM_CurlKeptHandle/0");
  benchmark::Shutdown();
  return 0;
}
