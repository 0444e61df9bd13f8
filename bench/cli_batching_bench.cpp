// 5,000 addresses to the same mock interface: the window's submitter, one request per address,
// against kestrin-cli's push, 2000 per request.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <sstream>

#include "bench/interleaved.h"
#include "bench/median_reporter.h"
#include "cli/baidu.h"
#include "cli/push.h"
#include "links/submitter.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"
#include "tests/support/memory_form.h"

namespace kestrin {
namespace {

constexpr int kAddresses = 5000;
constexpr const char* kToken = "benchtoken123456";

testsupport::MockBaidu& Mock() {
  static testsupport::MockBaidu mock("http://127.0.0.1", kToken, std::int64_t{1} << 40, 10);
  return mock;
}

std::vector<std::string> Addresses() {
  std::vector<std::string> out;
  for (int i = 1; i <= kAddresses; ++i) out.push_back("http://127.0.0.1/article/" + std::to_string(i) + ".html");
  return out;
}

void BM_WindowSubmitter(benchmark::State& state) {
  testsupport::MemoryForm form;
  form.SetRecording(false);
  std::string list;
  for (const std::string& address : Addresses()) list += address + "\r\n";
  form.Put(names::编辑框11, list);
  form.Put(names::编辑框9, cli::BaiduAddress(Mock().Interface(), "http://127.0.0.1", kToken, false));
  int requests = 0;
  for (auto _ : state) {
    const int before = Mock().RequestCount();
    SubmitLinks(form, names::编辑框11, names::编辑框12);
    requests = Mock().RequestCount() - before;
  }
  if (form.TextOf(names::编辑框12) != "") state.SkipWithError("an address failed");
  state.counters["requests"] = requests;
}

void BM_CliPush(benchmark::State& state) {
  testsupport::TempFolder folder;
  const std::string list = folder.Write("list.txt", [] {
    std::string text;
    for (const std::string& address : Addresses()) text += address + "\n";
    return text;
  }());
  cli::SiteConfig site;
  site.site = "http://127.0.0.1";
  site.token = kToken;
  site.interface = Mock().Interface();
  site.sources = {list};
  cli::PushSettings settings;
  settings.sites = {site};
  settings.historyPath = folder.Path() + "/history.sqlite";
  settings.force = true;  // every iteration sends all again
  int requests = 0;
  std::int64_t accepted = 0;
  for (auto _ : state) {
    const int before = Mock().RequestCount();
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    cli::Report report(out, err, false, false);
    cli::RunPush(settings, cli::ToolNetwork(), in, report);
    requests = Mock().RequestCount() - before;
    accepted = report.Totals().accepted;
  }
  if (accepted != kAddresses) state.SkipWithError("not every address was accepted");
  state.counters["requests"] = requests;
}

BENCHMARK(BM_WindowSubmitter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_CliPush)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto* window = reporter.Of("BM_WindowSubmitter");
  const auto* cli = reporter.Of("BM_CliPush");
  if (window != nullptr && cli != nullptr && cli->seconds > 0) {
    std::printf("\nRequests: window %.0f, kestrin-cli %.0f. Wall time window/kestrin-cli: %.1fx (target 100x at least)\n",
                window->counters.at("requests"), cli->counters.at("requests"), window->seconds / cli->seconds);
  }
  benchmark::Shutdown();
  return 0;
}
