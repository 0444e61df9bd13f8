// 5,000 addresses to the same mock interface: the window's submitter, one request per address,
// against kestrin-cli's push, 2000 per request. The submitter is timed on an in-memory form and,
// when the window is built, on the real main window (offscreen), from a worker thread while the
// window thread waits in its event loop, as the submit button runs it. The push is timed as its
// work inside this process and as the whole kestrin-cli process that cron starts. Every push
// round sends 5,000 addresses the history has not seen, into a history that keeps the earlier
// rounds' rows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <thread>

#include "bench/cli_bench_mock.h"
#include "bench/interleaved.h"
#include "bench/median_reporter.h"
#include "cli/engines/baidu.h"
#include "cli/push.h"
#include "links/submitter.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"
#include "tests/support/memory_form.h"

#if KESTRIN_BENCH_WINDOW
#include <QApplication>
#include <QEventLoop>
#include <QWidget>

#include "app/bindings.h"
#include "app/layouts.h"
#include "notice/update_check.h"
#include "tests/support/list_site.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"
#endif

extern char** environ;

namespace kestrin {
namespace {

constexpr int kAddresses = 5000;
using bench::CliFolder;
using bench::CliMock;
using bench::kCliSite;
using bench::kCliToken;

// The addresses of round `round`; rounds never share one.
std::string AddressList(int round, const char* lineEnd) {
  std::string list;
  for (int i = 1; i <= kAddresses; ++i) {
    list += std::string(kCliSite) + "/article/" + std::to_string(round) + "/" + std::to_string(i) + ".html" + lineEnd;
  }
  return list;
}

void BM_WindowSubmitter(benchmark::State& state) {
  testsupport::MemoryForm form;
  form.SetRecording(false);
  form.Put(names::编辑框11, AddressList(0, "\r\n"));
  form.Put(names::编辑框9, cli::BaiduAddress(CliMock().Interface(), kCliSite, kCliToken, false));
  int requests = 0;
  for (auto _ : state) {
    const int before = CliMock().RequestCount();
    SubmitLinks(form, names::编辑框11, names::编辑框12);
    requests = CliMock().RequestCount() - before;
  }
  if (form.TextOf(names::编辑框12) != "") state.SkipWithError("an address failed");
  state.counters["requests"] = requests;
}

#if KESTRIN_BENCH_WINDOW
// The program's main window, loaded once with its notice page on a local site and a plain widget
// for the notice window's browser.
Controls& MainWindowForm() {
  static Controls* form = [] {
    static testsupport::ListSite site;
    site.SetNotice(LocalVersion);
    SetNoticePageAddressForTesting(site.NoticeAddress());
    ui::SetBrowserFactory([](QWidget* parent) { return new QWidget(parent); });
    ui::SetAddressOpener([](const Text&) {});
    ui::InstallProgram(app::KestrinProgram());
    return ui::LoadWindow(app::kMainWindow) ? &ui::FormControls(app::kMainWindow) : nullptr;
  }();
  return *form;
}

void BM_WindowSubmitterOnWindow(benchmark::State& state) {
  Controls& form = MainWindowForm();
  form.SetText(names::编辑框11, AddressList(0, "\r\n"));
  form.SetText(names::编辑框9, cli::BaiduAddress(CliMock().Interface(), kCliSite, kCliToken, false));
  form.SetText(names::编辑框12, "");
  int requests = 0;
  for (auto _ : state) {
    const int before = CliMock().RequestCount();
    QEventLoop loop;
    std::thread worker([&] {
      SubmitLinks(form, names::编辑框11, names::编辑框12);
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    requests = CliMock().RequestCount() - before;
  }
  if (form.ReadText(names::编辑框12) != "") state.SkipWithError("an address failed");
  state.counters["requests"] = requests;
}

BENCHMARK(BM_WindowSubmitterOnWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
#endif

int g_round = 0;  // shared by both push cases, so that neither meets addresses the other sent

void BM_CliPush(benchmark::State& state) {
  cli::SiteConfig site;
  site.site = kCliSite;
  site.token = kCliToken;
  site.interface = CliMock().Interface();
  cli::PushSettings settings;
  settings.historyPath = CliFolder().Path() + "/history.sqlite";
  int requests = 0;
  std::int64_t accepted = 0;
  for (auto _ : state) {
    state.PauseTiming();
    site.sources = {CliFolder().Write("list.txt", AddressList(++g_round, "\n"))};
    settings.sites = {site};
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    cli::Report report(out, err, false, false);
    const int before = CliMock().RequestCount();
    state.ResumeTiming();
    cli::RunPush(settings, cli::ToolNetwork(), in, report);
    requests = CliMock().RequestCount() - before;
    accepted = report.Totals().accepted;
  }
  if (accepted != kAddresses) state.SkipWithError("not every address was accepted");
  state.counters["requests"] = requests;
}

void BM_CliProcess(benchmark::State& state) {
  const std::string history = CliFolder().Path() + "/history.sqlite";
  const std::string interface = CliMock().Interface();
  int requests = 0;
  int status = -1;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string list = CliFolder().Write("list.txt", AddressList(++g_round, "\n"));
    std::vector<std::string> args{testsupport::CliPath(), "push",      "--site",    kCliSite, "--token", kCliToken,
                                  "--interface",          interface,   "--history", history, list};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    const int before = CliMock().RequestCount();
    state.ResumeTiming();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("kestrin-cli could not be started");
      return;
    }
    waitpid(pid, &status, 0);
    state.PauseTiming();
    posix_spawn_file_actions_destroy(&files);
    requests = CliMock().RequestCount() - before;
    state.ResumeTiming();
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("kestrin-cli did not exit with 0");
  state.counters["requests"] = requests;
}

BENCHMARK(BM_WindowSubmitter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_CliPush)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_CliProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
#if KESTRIN_BENCH_WINDOW
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
#endif
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* windowCase : {"BM_WindowSubmitter", "BM_WindowSubmitterOnWindow"}) {
    const auto* window = reporter.Of(windowCase);
    for (const char* cliCase : {"BM_CliPush", "BM_CliProcess"}) {
      const auto* cli = reporter.Of(cliCase);
      if (window == nullptr || cli == nullptr || cli->seconds <= 0) continue;
      std::printf("%s against %s: requests %.0f against %.0f; wall time %.1fx (aim: 100x)\n", windowCase, cliCase,
                  window->counters.at("requests"), cli->counters.at("requests"), window->seconds / cli->seconds);
    }
  }
  benchmark::Shutdown();
  return 0;
}
