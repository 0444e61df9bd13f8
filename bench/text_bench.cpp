// The text searches and edits on a large list page, against plain byte scans of the same bytes.
// Searches should keep at least half of memmem's throughput while staying unit-aware; the edits
// should be no slower than a naive std::string find/append loop.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/text_ops.h"
#include "web/between.h"

namespace {

using kestrin::Text;

constexpr std::size_t kPageBytes = 4 << 20;

void AppendGbk(std::string& out, std::mt19937& rng, int chars) {
  for (int i = 0; i < chars; ++i) {
    out.push_back(static_cast<char>(0xB0 + rng() % 0x48));  // the common hanzi rows
    out.push_back(static_cast<char>(0xA1 + rng() % 0x5E));
  }
}

// A list page the size of a long archive: markup and addresses with Chinese titles and a
// little Chinese prose, the paging block only at the very end.
const Text& Page() {
  static const Text page = [] {
    std::mt19937 rng(7);
    Text out = "<html><head><meta charset=\"gb2312\"><title>";
    AppendGbk(out, rng, 8);
    out += "</title></head>\r\n<body><ul class=\"list\">\r\n";
    for (int id = 100000; out.size() < kPageBytes - 200; ++id) {
      out += "<li class=\"item\"><a href=\"/news/2026/1207/" + std::to_string(id) + ".html\" target=\"_blank\">";
      AppendGbk(out, rng, 6 + static_cast<int>(rng() % 12));
      out += "</a><span class=\"date\">2026-12-07</span></li>\r\n";
      if (id % 16 == 0) {
        out += "<p class=\"summary\">";
        AppendGbk(out, rng, 20 + static_cast<int>(rng() % 30));
        out += " (more...)</p>\r\n";
      }
    }
    out += "</ul>\r\n<div class=\"pages\"><a href=\"list_2.html\">下一页</a></div></body></html>\r\n";
    return out;
  }();
  return page;
}

const std::string kAsciiNeedle = "<div class=\"pages\">";
const std::string kGbkNeedle = "下一页";
// Every byte of it is common on the page, and it is not there: the search meets many near misses.
const std::string kAbsentNeedle = "<span class=\"date\">2026-12-08</span>";

void SetThroughput(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(Page().size()));
}

void BM_Memmem(benchmark::State& state, const std::string& needle) {
  const Text& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(memmem(page.data(), page.size(), needle.data(), needle.size()));
  }
  SetThroughput(state);
}

void BM_FindText(benchmark::State& state, const std::string& needle, bool ignoreCase) {
  const Text& page = Page();
  const bool expected = needle != kAbsentNeedle;
  if ((kestrin::FindText(page, needle, std::nullopt, ignoreCase) != -1) != expected) state.SkipWithError("wrong answer");
  for (auto _ : state) {
    benchmark::DoNotOptimize(kestrin::FindText(page, needle, std::nullopt, ignoreCase));
  }
  SetThroughput(state);
}

void BM_TextBetween(benchmark::State& state) {
  const Text& page = Page();
  if (kestrin::TextBetween(page, "<div class=#引号pages#引号>", "</div>").empty()) state.SkipWithError("no piece");
  for (auto _ : state) {
    benchmark::DoNotOptimize(kestrin::TextBetween(page, "<div class=#引号pages#引号>", "</div>"));
  }
  SetThroughput(state);
}

const std::string kSought = "href=\"/news/";
const std::string kReplacement = "href=\"http://shop/news/";

void BM_ReplaceText(benchmark::State& state) {
  const Text& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(kestrin::ReplaceText(page, kSought, kReplacement));
  }
  SetThroughput(state);
}

void BM_NaiveReplace(benchmark::State& state) {
  const Text& page = Page();
  for (auto _ : state) {
    std::string out;
    out.reserve(page.size());
    std::size_t p = 0;
    for (std::size_t q; (q = page.find(kSought, p)) != std::string::npos; p = q + kSought.size()) {
      out.append(page, p, q - p);
      out += kReplacement;
    }
    out.append(page, p, std::string::npos);
    benchmark::DoNotOptimize(out);
  }
  SetThroughput(state);
}

// Header names and markers are matched in any case; a search that looked for the rare case of a
// letter to the end of the page at every match would turn quadratic here.
void BM_ReplaceTextIgnoringCase(benchmark::State& state) {
  const Text& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(kestrin::ReplaceText(page, kSought, kReplacement, std::nullopt, std::nullopt, false));
  }
  SetThroughput(state);
}

void BM_NaiveReplaceIgnoringCase(benchmark::State& state) {
  const Text& page = Page();
  const auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  for (auto _ : state) {
    std::string out;
    out.reserve(page.size());
    auto p = page.begin();
    for (auto q = page.begin(); (q = std::search(p, page.end(), kSought.begin(), kSought.end(), same)) != page.end();
         p = q + static_cast<std::ptrdiff_t>(kSought.size())) {
      out.append(p, q);
      out += kReplacement;
    }
    out.append(p, page.end());
    benchmark::DoNotOptimize(out);
  }
  SetThroughput(state);
}

void BM_SplitText(benchmark::State& state) {
  const Text& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(kestrin::SplitText(page, "\r\n"));
  }
  SetThroughput(state);
}

void BM_NaiveSplit(benchmark::State& state) {
  const Text& page = Page();
  const std::string delimiter = "\r\n";
  for (auto _ : state) {
    std::vector<std::string> parts;
    std::size_t p = 0;
    for (std::size_t q; (q = page.find(delimiter, p)) != std::string::npos; p = q + delimiter.size()) {
      parts.emplace_back(page, p, q - p);
    }
    if (p < page.size()) parts.emplace_back(page, p, std::string::npos);
    benchmark::DoNotOptimize(parts);
  }
  SetThroughput(state);
}

BENCHMARK_CAPTURE(BM_Memmem, ascii, kAsciiNeedle);
BENCHMARK_CAPTURE(BM_FindText, ascii, kAsciiNeedle, false);
BENCHMARK_CAPTURE(BM_FindText, ascii_ignore_case, kAsciiNeedle, true);
BENCHMARK(BM_TextBetween);
BENCHMARK_CAPTURE(BM_Memmem, gbk, kGbkNeedle);
BENCHMARK_CAPTURE(BM_FindText, gbk, kGbkNeedle, false);
BENCHMARK_CAPTURE(BM_Memmem, absent, kAbsentNeedle);
BENCHMARK_CAPTURE(BM_FindText, absent, kAbsentNeedle, false);
BENCHMARK(BM_NaiveReplace);
BENCHMARK(BM_ReplaceText);
BENCHMARK(BM_NaiveReplaceIgnoringCase);
BENCHMARK(BM_ReplaceTextIgnoringCase);
BENCHMARK(BM_NaiveSplit);
BENCHMARK(BM_SplitText);

// Prints each case's speed relative to its baseline from the same run. CPU time, because the
// machine is shared and wall time swings with the load.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the case; otherwise its one run does.
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        times_[name] = run.GetAdjustedCPUTime();
        medians_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && medians_.count(name) == 0) {
        times_[name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const struct {
      const char* name;
      const char* baseline;
    } pairs[] = {
        {"BM_FindText/ascii", "BM_Memmem/ascii"},
        {"BM_FindText/ascii_ignore_case", "BM_Memmem/ascii"},
        {"BM_TextBetween", "BM_Memmem/ascii"},
        {"BM_FindText/gbk", "BM_Memmem/gbk"},
        {"BM_FindText/absent", "BM_Memmem/absent"},
        {"BM_ReplaceText", "BM_NaiveReplace"},
        {"BM_ReplaceTextIgnoringCase", "BM_NaiveReplaceIgnoringCase"},
        {"BM_SplitText", "BM_NaiveSplit"},
    };
    std::printf("\nSpeed relative to the baseline (above 1 is faster):\n");
    for (const auto& p : pairs) {
      const auto a = times_.find(p.name), b = times_.find(p.baseline);
      if (a == times_.end() || b == times_.end() || a->second <= 0) continue;
      std::printf("  %-32s vs %-18s %.2f\n", p.name, p.baseline, b->second / a->second);
    }
  }

 private:
  std::map<std::string, double> times_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
