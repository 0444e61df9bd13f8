// Converting a large UTF-8 list page to GBK, against one direct ICU UTF-8 to GBK call on the
// same page in the same run.
#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>

#include <time.h>

#include <string>

#include "web/encoding.h"

namespace {

// About 4 MB of list-page markup around Chinese titles, as the collector receives it.
std::string ChineseListPage() {
  const auto* row = reinterpret_cast<const char*>(
      u8"<li><a href=\"/news/2026/1207/12345.html\" title=\"站长工具链接推送\">"
      u8"百度搜索资源平台普通收录接口提交新文章的方法，每天推送额度有限</a><span>2026-12-07</span></li>\n");
  std::string page = "<html><head><meta charset=\"utf-8\"></head><body><ul class=\"list\">\n";
  while (page.size() < (4u << 20)) page += row;
  page += "</ul></body></html>";
  return page;
}

std::string DirectIcu(const std::string& utf8) {
  std::string out(utf8.size() * 2 + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_convert("GBK", "UTF-8", out.data(), static_cast<int32_t>(out.size()), utf8.data(),
                                 static_cast<int32_t>(utf8.size()), &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
  return out;
}

// Seconds on the monotonic clock.
double Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_Utf8ToGbk(benchmark::State& state) {
  const std::string page = ChineseListPage();
  if (kestrin::Utf8ToGbk(page) != DirectIcu(page)) {
    state.SkipWithError("conversion differs from ICU's");
    return;
  }
  double ours = 0;
  double direct = 0;
  for (auto _ : state) {
    const double start = Now();
    kestrin::Text gbk = kestrin::Utf8ToGbk(page);
    benchmark::DoNotOptimize(gbk.data());
    ours += Now() - start;

    state.PauseTiming();
    const double directStart = Now();
    std::string baseline = DirectIcu(page);
    benchmark::DoNotOptimize(baseline.data());
    direct += Now() - directStart;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
  state.counters["page_MB"] = static_cast<double>(page.size()) / 1e6;
  state.counters["time_vs_direct_icu"] = ours / direct;
}
BENCHMARK(BM_Utf8ToGbk)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
