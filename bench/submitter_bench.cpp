// The submitter posting 5,000 addresses to the local mock interface, against a plain libcurl
// loop that opens a new handle for every request, and against one curl process per address.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "links/submitter.h"
#include "runtime/declared_functions.h"
#include "tests/support/list_site.h"
#include "tests/support/memory_form.h"

extern char** environ;

namespace kestrin {
namespace {

using testsupport::ListSite;
using testsupport::MemoryForm;

constexpr int kAddresses = 5000;
constexpr int kProcessSample = 300;  // processes are slow; a sample gives the rate

ListSite& Site() {
  static ListSite site;
  return site;
}

std::vector<std::string> Addresses(int count) {
  std::vector<std::string> out;
  for (int i = 1; i <= count; ++i) out.push_back("http://www.example.com/article/" + std::to_string(i) + ".html");
  return out;
}

// libcurl through the program's own table of declared functions, as the web request reaches it.
DeclaredFunction g_globalInit{"libcurl.so.4", "curl_global_init"};
DeclaredFunction g_easyInit{"libcurl.so.4", "curl_easy_init"};
DeclaredFunction g_easySetopt{"libcurl.so.4", "curl_easy_setopt"};
DeclaredFunction g_easyPerform{"libcurl.so.4", "curl_easy_perform"};
DeclaredFunction g_easyCleanup{"libcurl.so.4", "curl_easy_cleanup"};

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void BM_CurlLoop(benchmark::State& state) {
  const auto globalInit = DeclaredAs<CURLcode (*)(long)>(g_globalInit);
  const auto easyInit = DeclaredAs<CURL* (*)()>(g_easyInit);
  const auto setopt = DeclaredAs<CURLcode (*)(CURL*, CURLoption, ...)>(g_easySetopt);
  const auto perform = DeclaredAs<CURLcode (*)(CURL*)>(g_easyPerform);
  const auto cleanup = DeclaredAs<void (*)(CURL*)>(g_easyCleanup);
  globalInit(CURL_GLOBAL_DEFAULT);
  const std::string url = Site().InterfaceAddress();
  const std::vector<std::string> addresses = Addresses(kAddresses);
  int accepted = 0;
  for (auto _ : state) {
    for (const std::string& address : addresses) {
      CURL* handle = easyInit();
      std::string answer;
      setopt(handle, CURLOPT_URL, url.c_str());
      setopt(handle, CURLOPT_PROXY, "");
      setopt(handle, CURLOPT_POSTFIELDS, address.c_str());
      setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(address.size()));
      setopt(handle, CURLOPT_WRITEFUNCTION, &Collect);
      setopt(handle, CURLOPT_WRITEDATA, &answer);
      perform(handle);
      cleanup(handle);
      accepted += answer.find("success") != std::string::npos;
    }
  }
  if (accepted == 0) state.SkipWithError("no request was answered");
  state.SetItemsProcessed(state.iterations() * kAddresses);
}

void BM_SubmitLinks(benchmark::State& state) {
  MemoryForm form;
  form.SetRecording(false);
  std::string list;
  for (const std::string& address : Addresses(kAddresses)) list += address + "\r\n";
  form.Put(names::编辑框8, list);
  form.Put(names::编辑框9, Site().InterfaceAddress());
  const int before = SubmittedTotal.load();
  for (auto _ : state) SubmitLinks(form, names::编辑框8, names::编辑框10);
  if (SubmittedTotal.load() - before != static_cast<int>(state.iterations()) * kAddresses) {
    state.SkipWithError("not every address was accepted");
  }
  state.SetItemsProcessed(state.iterations() * kAddresses);
}

void BM_CurlProcess(benchmark::State& state) {
  const std::string url = Site().InterfaceAddress();
  const std::vector<std::string> addresses = Addresses(kProcessSample);
  for (auto _ : state) {
    for (const std::string& address : addresses) {
      std::vector<std::string> args = {"curl", "-s", "-o", "/dev/null", "--noproxy", "*", "-d", address, url};
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      pid_t pid = 0;
      if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
        state.SkipWithError("curl could not be started");
        return;
      }
      int status = 0;
      waitpid(pid, &status, 0);
    }
  }
  state.SetItemsProcessed(state.iterations() * kProcessSample);
}

BENCHMARK(BM_CurlLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_SubmitLinks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_CurlProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

// Requests per second of each case, from the median of its repetitions.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
        const auto items = run.counters.find("items_per_second");
        if (items != run.counters.end()) rates_[run.run_name.function_name] = items->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const auto submit = rates_.find("BM_SubmitLinks");
    if (submit == rates_.end() || submit->second <= 0) return;
    std::printf("\nRequests per second: submitter %.0f", submit->second);
    if (const auto loop = rates_.find("BM_CurlLoop"); loop != rates_.end()) {
      std::printf(", libcurl loop %.0f (loop over submitter %.3f, target 1.15 at most)", loop->second,
                  loop->second / submit->second);
    }
    if (const auto process = rates_.find("BM_CurlProcess"); process != rates_.end()) {
      std::printf(", curl process %.0f (submitter over processes %.1f; %d processes sampled)", process->second,
                  submit->second / process->second, kProcessSample);
    }
    std::printf("\n");
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
