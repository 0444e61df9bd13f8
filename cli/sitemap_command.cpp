#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/console/messages.h"
#include "cli/console/report.h"
#include "cli/sources/dates.h"
#include "cli/sources/source_fetch.h"

namespace kestrin::cli {
namespace {

// Standard output through a buffer of its own: a million lines through iostreams cost more than
// reading them. Each address goes out whole, and everything by the end.
class LineOutput {
 public:
  ~LineOutput() { Flush(); }
  void Line(std::string_view text) {
    buffer_.append(text);
    buffer_ += '\n';
    if (buffer_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    std::size_t written = 0;
    while (good_ && written < buffer_.size()) {
      const ssize_t n = write(STDOUT_FILENO, buffer_.data() + written, buffer_.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) good_ = false;
      if (n > 0) written += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }
  [[nodiscard]] bool Good() const { return good_; }

 private:
  static constexpr std::size_t kFlushBytes = 64 * 1024;
  std::string buffer_;
  bool good_ = true;
};

// The line "sitemaps read, addresses found" on a terminal, at most ten times a second, written
// over itself and wiped before any other message and at the end.
class ProgressLine {
 public:
  explicit ProgressLine(bool terminal) : terminal_(terminal) {}
  ~ProgressLine() { Wipe(); }

  void Show(int documents, std::size_t addresses) {
    if (!terminal_) return;
    const std::int64_t now = SteadyMs();
    if (shown_ && now - last_ < 100) return;
    last_ = now;
    shown_ = true;
    std::cerr << '\r'
              << Tr(std::to_string(documents) + " sitemaps read, " + std::to_string(addresses) + " addresses found",
                    "已读取 " + std::to_string(documents) + " 个站点地图，找到 " + std::to_string(addresses) + " 个地址")
              << "\x1b[K" << std::flush;
  }
  void Wipe() {
    if (!shown_) return;
    std::cerr << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

 private:
  bool terminal_;
  bool shown_ = false;
  std::int64_t last_ = 0;
};

// The addresses of the sources, one per line; 1 when a source could not be read whole.
int RunSitemap(const std::vector<std::string>& sources, const SourceOptions& options) {
  LineOutput out;
  // Addresses printed to the terminal itself show the progress well enough, and would run into the line.
  ProgressLine progress(isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) != 1);
  bool failed = false;
  InvalidLog invalid;
  const auto tell = [&](const std::string& line) {
    failed = true;
    if (line.empty()) return;
    progress.Wipe();
    // What was found before the error goes out first, so that both streams read in order.
    out.Flush();
    std::cerr << line << '\n';
  };
  const SourceSink sink{
      [&out](std::string_view address) { out.Line(address); },
      [&](const std::string& line) { tell("kestrin-cli: " + line); },
      [&](InvalidEntry&& entry) {
        tell(invalid.Tell(entry.source, entry.entry, Tr("not an http(s) address", "不是 http(s) 地址")));
      },
      [&progress](int documents, std::size_t addresses) { progress.Show(documents, addresses); },
  };
  ReadSources(sources, options, OpenWebSource, std::cin, sink);
  out.Flush();
  progress.Wipe();
  for (const std::string& line : invalid.Rest()) std::cerr << line << '\n';
  return !failed && out.Good() ? 0 : 1;
}

}  // namespace

Command AddSitemap(CLI::App& app) {
  struct Options {
    std::vector<std::string> sources;
    SourceFlags sourceFlags;
    NetworkFlags network;
  };
  auto given = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "sitemap", Tr("print the addresses of sitemaps, feeds, robots.txt or lists", "输出站点地图、订阅源、robots.txt 或列表中的地址"));
  command->add_option("SOURCES", given->sources, Tr("file, - for standard input, or http(s) address",
                                                    "文件、- 表示标准输入，或 http(s) 地址"))
      ->required();
  AddSourceFlags(*command, given->sourceFlags);
  AddNetworkFlags(*command, given->network);
  return {command, [given] {
            SourceOptions options;
            if (!ReadSourceFlags(given->sourceFlags, options)) return int{kExitUsage};
            UseNetworkSettings(given->network);
            return RunSitemap(given->sources, options);
          }};
}

}  // namespace kestrin::cli
