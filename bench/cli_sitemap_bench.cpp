// robots.txt, an index and 20 sitemaps of 50,000 addresses each (about 140 MB plain), served on
// 127.0.0.1 plain and gzipped: whole `kestrin-cli sitemap` runs against `xmllint --stream`
// reading the same sitemaps from disk, each with its peak memory, and the ratios of one run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "bench/median_reporter.h"
#include "tests/cli/cli_process.h"
#include "tests/support/http_server.h"

extern char** environ;

namespace kestrin {
namespace {

constexpr int kSitemaps = 20;
constexpr int kPerSitemap = 50000;
constexpr const char* kXmllint = "/usr/bin/xmllint";

struct Site {
  testsupport::TempFolder folder;
  testsupport::HttpServer server;
  std::vector<std::string> plain;  // the sitemaps' files
  std::vector<std::string> gzipped;
};

std::string SitemapText(int number) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  for (int i = 0; i < kPerSitemap; ++i) {
    xml += "  <url>\n    <loc>https://www.example.com/news/2024/03/article-" + std::to_string(number) + "-" +
           std::to_string(i) + "-a-title-of-some-length.html</loc>\n    <lastmod>2024-03-01T08:00:00+08:00</lastmod>\n"
           "    <changefreq>weekly</changefreq>\n  </url>\n";
  }
  return xml + "</urlset>\n";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Site& TheSite() {
  static Site* site = [] {
    auto* made = new Site;
    made->server.KeepNoRecords();
    std::string index[2] = {"<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n",
                            "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"};
    std::size_t bytes = 0;
    for (int n = 0; n < kSitemaps; ++n) {
      const std::string name = "sitemap-" + std::to_string(n) + ".xml";
      std::string xml = SitemapText(n);
      bytes += xml.size();
      made->plain.push_back(made->folder.Write(name, xml));
      made->gzipped.push_back(made->folder.Path() + "/" + name + ".gz");
      gzFile gz = gzopen(made->gzipped.back().c_str(), "wb6");
      gzwrite(gz, xml.data(), static_cast<unsigned>(xml.size()));
      gzclose(gz);
      made->server.Reply("/" + name, {.body = std::move(xml), .contentType = "application/xml"});
      made->server.Reply("/" + name + ".gz", {.body = ReadFile(made->gzipped.back()), .contentType = "application/gzip"});
      index[0] += "  <sitemap><loc>" + made->server.Url("/" + name) + "</loc></sitemap>\n";
      index[1] += "  <sitemap><loc>" + made->server.Url("/" + name + ".gz") + "</loc></sitemap>\n";
    }
    for (int gz = 0; gz < 2; ++gz) {
      const std::string suffix = gz == 1 ? "-gz" : "";
      made->server.Reply("/index" + suffix + ".xml", {.body = index[gz] + "</sitemapindex>\n", .contentType = "application/xml"});
      made->server.Reply("/robots" + suffix + ".txt",
                         {.body = "User-agent: *\nDisallow:\nSitemap: " + made->server.Url("/index" + suffix + ".xml") + "\n",
                          .contentType = "text/plain"});
    }
    std::printf("%d sitemaps, %d addresses, %zu bytes plain\n", kSitemaps, kSitemaps * kPerSitemap, bytes);
    return made;
  }();
  return *site;
}

struct Finished {
  bool ok = false;
  double peakMiB = 0;
};

// Runs `args` with standard output to `output` and standard error to /dev/null; its peak RSS.
// A child's peak starts from that of the process it was forked from: this one, holding the
// site, is too large for that, so the runs are started by a small process forked at the start.
class Runner {
 public:
  Runner() {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(toChild[1]);
      close(fromChild[0]);
      Serve(toChild[0], fromChild[1]);
      _exit(0);
    }
    close(toChild[0]);
    close(fromChild[1]);
    to_ = toChild[1];
    from_ = fromChild[0];
  }

  Finished Run(const std::vector<std::string>& args, const std::string& output) const {
    std::string request = output;
    for (const std::string& arg : args) request += '\0' + arg;
    const auto size = static_cast<std::uint32_t>(request.size());
    Finished finished;
    if (write(to_, &size, sizeof size) != sizeof size ||
        write(to_, request.data(), request.size()) != static_cast<ssize_t>(request.size()) ||
        read(from_, &finished, sizeof finished) != sizeof finished) {
      return {};
    }
    return finished;
  }

 private:
  static bool ReadAll(int fd, void* into, std::size_t size) {
    auto* bytes = static_cast<char*>(into);
    while (size > 0) {
      const ssize_t n = read(fd, bytes, size);
      if (n <= 0) return false;
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  static void Serve(int in, int out) {
    for (std::uint32_t size = 0; ReadAll(in, &size, sizeof size);) {
      std::string request(size, '\0');
      if (!ReadAll(in, request.data(), size)) return;
      std::vector<std::string> parts;
      for (std::size_t at = 0; at <= request.size();) {
        const std::size_t end = std::min(request.find('\0', at), request.size());
        parts.push_back(request.substr(at, end - at));
        at = end + 1;
      }
      const std::string output = parts.front();
      parts.erase(parts.begin());
      const Finished finished = Spawn(parts, output);
      if (write(out, &finished, sizeof finished) != sizeof finished) return;
    }
  }

  static Finished Spawn(const std::vector<std::string>& args, const std::string& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Finished finished;
    if (spawned != 0) return finished;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return finished;
    finished.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    finished.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return finished;
  }

  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

const Runner& TheRunner() {
  static const Runner* runner = new Runner;
  return *runner;
}

Finished Run(const std::vector<std::string>& args, const std::string& output) {
  return TheRunner().Run(args, output);
}

std::vector<std::string> KestrinArgs(bool gzipped) {
  return {testsupport::CliPath(), "sitemap", TheSite().server.Url(gzipped ? "/robots-gz.txt" : "/robots.txt")};
}

void Measure(benchmark::State& state, const std::vector<std::string>& args) {
  double peak = 0;
  for (auto _ : state) {
    const Finished finished = Run(args, "/dev/null");
    if (!finished.ok) {
      state.SkipWithError("the run failed");
      return;
    }
    peak = std::max(peak, finished.peakMiB);
  }
  state.counters["peak_MiB"] = peak;
}

void BM_XmllintStream(benchmark::State& state) {
  if (access(kXmllint, X_OK) != 0) {
    state.SkipWithError("no xmllint: apt-get install libxml2-utils");
    return;
  }
  std::vector<std::string> args{kXmllint, "--stream", "--noout"};
  const auto& files = state.range(0) == 0 ? TheSite().plain : TheSite().gzipped;
  args.insert(args.end(), files.begin(), files.end());
  Measure(state, args);
}

void BM_KestrinCliSitemap(benchmark::State& state) { Measure(state, KestrinArgs(state.range(0) == 1)); }

BENCHMARK(BM_XmllintStream)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_KestrinCliSitemap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// Every address once, before anything is timed.
bool Check() {
  for (const bool gzipped : {false, true}) {
    const std::string output = TheSite().folder.Path() + "/out.txt";
    if (!Run(KestrinArgs(gzipped), output).ok) return false;
    std::ifstream in(output);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    std::remove(output.c_str());
    if (lines != static_cast<std::size_t>(kSitemaps) * kPerSitemap) {
      std::printf("kestrin-cli printed %zu addresses, not %d\n", lines, kSitemaps * kPerSitemap);
      return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  kestrin::TheRunner();
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  if (!kestrin::Check()) return 1;
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* arg : {"0", "1"}) {
    const auto* xmllint = reporter.Of(std::string("BM_XmllintStream/") + arg);
    const auto* ours = reporter.Of(std::string("BM_KestrinCliSitemap/") + arg);
    if (xmllint == nullptr || ours == nullptr || xmllint->seconds <= 0) continue;
    std::printf("%s: kestrin-cli sitemap over HTTP / xmllint --stream from disk %.2fx (target 1.2x at most); "
                "peak RSS %.1f MiB (target 128), xmllint's %.1f MiB\n",
                arg[0] == '0' ? "plain" : "gzipped", ours->seconds / xmllint->seconds, ours->counters.at("peak_MiB"),
                xmllint->counters.at("peak_MiB"));
  }
  benchmark::Shutdown();
  return 0;
}
