// Deduplicating 50,000 addresses (half of them known) against a history of 1,000,000 rows.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>

#include "bench/median_reporter.h"
#include "cli/history/history.h"
#include "tests/cli/cli_process.h"

namespace kestrin {
namespace {

constexpr int kRows = 1000000;
constexpr int kNew = 50000;

std::string Url(int i) { return "https://www.example.com/news/2024/article-" + std::to_string(i) + ".html"; }

const std::string& HistoryFile() {
  static testsupport::TempFolder* folder = new testsupport::TempFolder;
  static const std::string path = [] {
    const std::string file = folder->Path() + "/history.sqlite";
    { cli::History create(file); }
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO address (engine, url, site, state, reason, time) "
                       "VALUES ('baidu', ?, 'www.example.com', 'accepted', '', 1)",
                       -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const std::string url = Url(i);
      sqlite3_bind_text(insert, 1, url.c_str(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return file;
  }();
  return path;
}

// A push's own step: claiming the new addresses among the candidates, let go after each round.
void BM_ClaimNew(benchmark::State& state) {
  cli::History history(HistoryFile());
  std::vector<std::string> candidates;
  for (int i = kRows - kNew / 2; i < kRows + kNew / 2; ++i) candidates.push_back(Url(i));
  std::size_t claimed = 0;
  for (auto _ : state) {
    const cli::Claim claim = history.ClaimBatch({.engine = "baidu",
                                                 .site = "www.example.com",
                                                 .candidates = candidates,
                                                 .limit = candidates.size(),
                                                 .force = false,
                                                 .runStartMs = 0,
                                                 .quota = {},
                                                 .day = 0});
    history.Release(claim.id);
    claimed = claim.urls.size();
  }
  if (claimed != kNew / 2) state.SkipWithError("wrong number of new addresses");
}

BENCHMARK(BM_ClaimNew)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("history: %s\n", kestrin::HistoryFile().c_str());
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (const auto* unsent = reporter.Of("BM_ClaimNew")) {
    std::printf("\n50,000 against 1,000,000 rows: %.3f s (target 1 s at most)\n", unsent->seconds);
  }
  benchmark::Shutdown();
  return 0;
}
