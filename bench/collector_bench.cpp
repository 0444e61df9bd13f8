// The collector over 1,000 local list pages of 50 links each, against fetching the same pages
// and doing nothing with them: what collecting costs on top of the requests themselves.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "links/collector.h"
#include "tests/support/list_site.h"
#include "tests/support/memory_form.h"
#include "web/page_fetch.h"

namespace kestrin {
namespace {

using testsupport::LinkForm;
using testsupport::ListSite;
using testsupport::MemoryForm;
using testsupport::PageEncoding;

constexpr int kPages = 1000;
constexpr int kLinksPerPage = 50;
const char* const kPattern = "/list/index_$.html";

ListSite& Site() {
  static ListSite site;
  static const bool filled = [] {
    site.AddNumberedListPages(kPattern, 1, kPages, kLinksPerPage, PageEncoding::kUtf8, LinkForm::kMixed);
    return true;
  }();
  static_cast<void>(filled);
  return site;
}

void BM_FetchPages(benchmark::State& state) {
  std::vector<Text> addresses;
  for (int page = 1; page <= kPages; ++page) {
    addresses.push_back(Site().Address("/list/index_" + std::to_string(page) + ".html"));
  }
  for (auto _ : state) {
    for (const Text& address : addresses) benchmark::DoNotOptimize(FetchPageText(address));
  }
  state.SetItemsProcessed(state.iterations() * kPages);
}

void BM_CollectLinks(benchmark::State& state) {
  MemoryForm form;
  form.SetRecording(false);
  form.PutState(names::选择框1, true);
  form.Put(names::编辑框1, Site().Address(kPattern));
  form.Put(names::编辑框2, "1");
  form.Put(names::编辑框3, std::to_string(kPages));
  form.Put(names::编辑框4, "<div class=\"cca\">\r");
  form.Put(names::编辑框5, "</ul>");
  form.Put(names::编辑框6, "<li><a href=\"");
  form.Put(names::编辑框7, "\"");
  for (auto _ : state) {
    state.PauseTiming();
    form.Put(names::编辑框8, "");
    state.ResumeTiming();
    CollectLinks(form);
  }
  if (form.TextOf(names::编辑框8).empty()) state.SkipWithError("nothing was collected");
  state.SetItemsProcessed(state.iterations() * kPages);
}

// The ratio compares the medians of the repetitions.
BENCHMARK(BM_FetchPages)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(7);
BENCHMARK(BM_CollectLinks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(7);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
        times_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio() const {
    const auto collect = times_.find("BM_CollectLinks");
    const auto fetch = times_.find("BM_FetchPages");
    if (collect == times_.end() || fetch == times_.end() || fetch->second.real <= 0) return;
    // The client thread's CPU time leaves out the server and the machine's other work.
    std::printf("\nCollector time over the bare fetch loop: %.3f (target 1.2 at most); client CPU time %.3f\n",
                collect->second.real / fetch->second.real, collect->second.cpu / fetch->second.cpu);
  }

 private:
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> times_;
};

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::Site();
  kestrin::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  return 0;
}
