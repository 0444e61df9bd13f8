// kestrin-cli push against what it replaces: the interface's documented curl line, run on a list
// split into parts of 2000 (`split -l 2000`, then one `curl --data-binary @part` per part). Both
// send 100,000 addresses to the same local mock interface, as whole processes started from a shell
// as cron starts them. kestrin-cli is timed twice: with every address new (its history growing by
// them) and with every address accepted before, where it sends nothing and the loop sends all
// again.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>

#include "bench/cli_bench_mock.h"
#include "bench/interleaved.h"
#include "bench/median_reporter.h"
#include "cli/engines/baidu.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"

extern char** environ;

namespace kestrin {
namespace {

constexpr int kAddresses = 100000;
using bench::CliFolder;
using bench::CliMock;
using bench::kCliSite;
using bench::kCliToken;

std::string History() { return CliFolder().Path() + "/history.sqlite"; }

// The list of round `round`; rounds never share an address.
std::string WriteList(int round) {
  std::string list;
  list.reserve(static_cast<std::size_t>(kAddresses) * 48);
  for (int i = 1; i <= kAddresses; ++i) {
    list += std::string(kCliSite) + "/news/" + std::to_string(round) + "/article-" + std::to_string(i) + ".html\n";
  }
  return CliFolder().Write("list-" + std::to_string(round) + ".txt", list);
}

// Runs `args` with standard output and error thrown away; its exit status, or -1.
int Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&files);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int g_round = 0;

void BM_CurlLoop(benchmark::State& state) {
  const std::string address = cli::BaiduAddress(CliMock().Interface(), kCliSite, kCliToken, false);
  int requests = 0;
  int status = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string list = WriteList(++g_round);
    const std::string parts = CliFolder().Path() + "/parts-" + std::to_string(g_round);
    Run({"mkdir", parts});
    const int before = CliMock().RequestCount();
    state.ResumeTiming();
    status = Run({"sh", "-c",
                  "cd '" + parts + "' && split -l 2000 '" + list +
                      "' part_ && for p in part_*; do curl -s -H 'Content-Type:text/plain' --data-binary @$p '" +
                      address + "' || exit 1; done"});
    state.PauseTiming();
    requests = CliMock().RequestCount() - before;
    Run({"rm", "-r", parts, list});
    state.ResumeTiming();
  }
  if (status != 0) state.SkipWithError("the loop failed");
  state.counters["requests"] = requests;
}

int PushStatus(const std::string& list) {
  return Run({testsupport::CliPath(), "push", "--site", kCliSite, "--token", kCliToken, "--interface", CliMock().Interface(),
              "--history", History(), list});
}

void BM_CliAllNew(benchmark::State& state) {
  int requests = 0;
  int status = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string list = WriteList(++g_round);
    const int before = CliMock().RequestCount();
    state.ResumeTiming();
    status = PushStatus(list);
    state.PauseTiming();
    requests = CliMock().RequestCount() - before;
    Run({"rm", list});
    state.ResumeTiming();
  }
  if (status != 0) state.SkipWithError("kestrin-cli did not exit with 0");
  state.counters["requests"] = requests;
}

void BM_CliNothingNew(benchmark::State& state) {
  static const std::string list = [] {
    const std::string sent = WriteList(0);
    PushStatus(sent);
    return sent;
  }();
  int requests = 0;
  int status = 0;
  for (auto _ : state) {
    const int before = CliMock().RequestCount();
    status = PushStatus(list);
    state.PauseTiming();
    requests = CliMock().RequestCount() - before;
    state.ResumeTiming();
  }
  if (status != 0) state.SkipWithError("kestrin-cli did not exit with 0");
  state.counters["requests"] = requests;
}

BENCHMARK(BM_CurlLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);
BENCHMARK(BM_CliAllNew)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);
BENCHMARK(BM_CliNothingNew)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto* loop = reporter.Of("BM_CurlLoop");
  for (const auto& [name, aim] : {std::pair{"BM_CliAllNew", 1.1}, std::pair{"BM_CliNothingNew", 0.1}}) {
    const auto* cli = reporter.Of(name);
    if (loop == nullptr || cli == nullptr || loop->seconds <= 0) continue;
    std::printf("%s against BM_CurlLoop: requests %.0f against %.0f; wall time %.2fx (aim: at most %.1fx)\n", name,
                cli->counters.at("requests"), loop->counters.at("requests"), cli->seconds / loop->seconds, aim);
  }
  benchmark::Shutdown();
  return 0;
}
