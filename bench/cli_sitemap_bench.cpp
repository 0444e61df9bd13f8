// A 50,000-address sitemap (about 8 MB), plain and gzipped: kestrin-cli's source reading against
// a bare libxml2 reader loop over the same file.
#include <benchmark/benchmark.h>
#include <libxml/xmlreader.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/interleaved.h"
#include "bench/median_reporter.h"
#include "cli/sources.h"
#include "tests/cli/cli_process.h"

namespace kestrin {
namespace {

constexpr int kAddresses = 50000;

struct Files {
  testsupport::TempFolder folder;
  std::string plain;
  std::string gzipped;
};

const Files& SitemapFiles() {
  static const Files* files = [] {
    auto* made = new Files;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < kAddresses; ++i) {
      xml += "  <url>\n    <loc>https://www.example.com/news/2024/03/article-" + std::to_string(i) +
             "-a-title-of-some-length.html</loc>\n    <lastmod>2024-03-01T08:00:00+08:00</lastmod>\n"
             "    <changefreq>weekly</changefreq>\n  </url>\n";
    }
    xml += "</urlset>\n";
    made->plain = made->folder.Write("sitemap.xml", xml);
    gzFile gz = gzopen((made->folder.Path() + "/sitemap.xml.gz").c_str(), "wb6");
    gzwrite(gz, xml.data(), static_cast<unsigned>(xml.size()));
    gzclose(gz);
    made->gzipped = made->folder.Path() + "/sitemap.xml.gz";
    std::printf("sitemap: %zu bytes, %d addresses\n", xml.size(), kAddresses);
    return made;
  }();
  return *files;
}

const std::string& FileOf(const benchmark::State& state) {
  return state.range(0) == 0 ? SitemapFiles().plain : SitemapFiles().gzipped;
}

// Every node of the file read once, nothing kept: what any reader of the file must pay. The
// second loop skips blank text as kestrin-cli does, which spares the reader half its nodes.
void BareLoop(benchmark::State& state, int options) {
  const std::string& file = FileOf(state);
  for (auto _ : state) {
    xmlTextReaderPtr reader = xmlReaderForFile(file.c_str(), nullptr, options);
    int nodes = 0;
    while (xmlTextReaderRead(reader) == 1) ++nodes;
    xmlFreeTextReader(reader);
    benchmark::DoNotOptimize(nodes);
  }
}

void BM_BareReaderLoop(benchmark::State& state) { BareLoop(state, XML_PARSE_NONET); }
void BM_BareReaderLoopNoBlanks(benchmark::State& state) {
  BareLoop(state, XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_COMPACT | XML_PARSE_NOBLANKS);
}

void BM_ReadSources(benchmark::State& state) {
  const std::string& file = FileOf(state);
  std::size_t count = 0;
  for (auto _ : state) {
    std::istringstream none;
    const cli::SourceAddresses read = cli::ReadSources({file}, {}, cli::FetchSource, none);
    count = read.addresses.size();
  }
  if (count != kAddresses) state.SkipWithError("not every address was read");
}

BENCHMARK(BM_BareReaderLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_BareReaderLoopNoBlanks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_ReadSources)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
  if (!kestrin::bench::InitializeInterleaved(argc, argv)) return 1;
  kestrin::SitemapFiles();
  kestrin::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* arg : {"0", "1"}) {
    const auto* bare = reporter.Of(std::string("BM_BareReaderLoop/") + arg);
    const auto* noBlanks = reporter.Of(std::string("BM_BareReaderLoopNoBlanks/") + arg);
    const auto* ours = reporter.Of(std::string("BM_ReadSources/") + arg);
    if (bare != nullptr && noBlanks != nullptr && ours != nullptr && bare->seconds > 0 && noBlanks->seconds > 0) {
      std::printf("%s: kestrin-cli/bare libxml2 loop %.2fx (target 1.5x at most); against the loop that also "
                  "skips blanks %.2fx\n",
                  arg[0] == '0' ? "plain" : "gzipped", ours->seconds / bare->seconds,
                  ours->seconds / noBlanks->seconds);
    }
  }
  benchmark::Shutdown();
  return 0;
}
