#include "cli/sources/sources.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "cli/console/messages.h"
#include "cli/sources/seen_addresses.h"
#include "cli/sources/source_fetch.h"
#include "cli/sources/source_stream.h"
#include "cli/sources/text_source.h"
#include "cli/sources/xml_source.h"

namespace kestrin::cli {
namespace {

constexpr std::size_t kProgressEvery = 8192;
constexpr std::size_t kLongestQuoted = 200;

// A byte-order mark or a first '<' (in UTF-16 too, where libxml2 can tell the order from it).
bool LooksLikeXml(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return true;
  if (bytes.starts_with(std::string_view("<\0", 2)) || bytes.starts_with(std::string_view("\0<", 2))) return true;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const auto first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '<';
}

// Remote text quoted in a message: cut after kLongestQuoted bytes.
std::string Quoted(std::string_view text) {
  return text.size() > kLongestQuoted ? std::string(text.substr(0, kLongestQuoted)) + "..." : std::string(text);
}

std::string TooLarge(bool gzipped) {
  return gzipped ? Tr("larger than 50 MB uncompressed", "解压后大于 50 MB") : Tr("larger than 50 MB", "大于 50 MB");
}

std::string Kept(std::size_t count) {
  return Tr("; " + std::to_string(count) + " addresses kept", "；已保留 " + std::to_string(count) + " 个地址");
}

class SourceReader {
 public:
  SourceReader(const SourceOptions& options, const OpenSource& open, std::istream& input, const SourceSink& sink)
      : options_(options), open_(open), input_(input), sink_(sink), seen_(sink.kept) {}

  void Read(const std::string& source) {
    const bool web = IsWebAddress(source);
    if (web) {
      if (!visited_.insert(source).second) return;
      reading_.push_back(source);
    }
    Take(source, Open(source), 0);
    if (web) reading_.pop_back();
  }

  void Finish() const {
    if (sink_.progress) sink_.progress(documents_, seen_.Size());
  }

 private:
  void Fail(const std::string& source, const std::string& why) { sink_.error(Printable(source + ": " + why)); }

  // The bytes of a source as a stream, or nullptr once the failure is noted.
  std::unique_ptr<SourceStream> Open(const std::string& source) {
    ended_ = nullptr;
    if (source == "-") return SourceStream::OfInput(input_, kMaxFileBytes);
    if (IsWebAddress(source)) {
      OpenedSource opened;
      int attempts = 0;
      const HttpReply reply = SendWithRetries(
          [&] {
            ++attempts;
            opened = open_(source);
            return opened.reply;
          },
          options_.retry, options_.wait);
      if (!opened.body) {
        Fail(source, reply.transfer == Transfer::kTooLarge ? TooLarge(false) : DescribeFailure(source, reply, attempts));
        return nullptr;
      }
      ended_ = opened.ended;
      return std::move(opened.body);
    }
    auto stream = SourceStream::OfFile(source, kMaxFileBytes);
    if (!stream) Fail(source, Tr("cannot be opened", "无法打开"));
    return stream;
  }

  // Notes a stream's failure, with the entries read before it; true when there was one.
  bool Failed(const std::string& source, const SourceStream& stream, std::size_t kept = 0) {
    const std::string tail = kept > 0 ? Kept(kept) : std::string();
    switch (stream.Failure()) {
      case StreamFailure::kNone: return false;
      case StreamFailure::kUnreadable:
        if (ended_ && *ended_ != Transfer::kComplete) {
          const bool late = *ended_ == Transfer::kTimedOut;
          Fail(source, (late ? Tr("cut short: timed out", "文件不完整：超时")
                             : Tr("cut short: the connection broke", "文件不完整：连接中断")) +
                           Kept(kept));
        } else {
          Fail(source, Tr("cannot be read", "无法读取") + tail);
        }
        break;
      case StreamFailure::kTooLarge:
        Fail(source, TooLarge(stream.Gzipped()) + tail);
        break;
      case StreamFailure::kCorrupt: Fail(source, Tr("damaged gzip data", "gzip 数据已损坏") + tail); break;
    }
    return true;
  }

  // XML goes to the parser as it is read; the small rest (lists, robots.txt) is read whole.
  void Take(const std::string& source, std::unique_ptr<SourceStream> stream, int depth) {
    if (!stream) return;
    ++documents_;
    if (LooksLikeXml(stream->Peek(4096))) {
      TakeXml(source, *stream, depth);
    } else {
      TakeText(source, *stream, depth);
    }
    if (sink_.progress) sink_.progress(documents_, seen_.Size());
  }

  void TakeText(const std::string& source, SourceStream& stream, int depth) {
    const std::string bytes = stream.ReadRest();
    if (Failed(source, stream)) return;
    if (LooksLikeRobots(bytes)) {
      for (const std::string& sitemap : SitemapsInRobots(bytes)) Follow(source, sitemap, depth + 1);
      return;
    }
    // A page that is not a list (an HTML error page, a binary file) is one error, not one a line.
    const std::vector<std::string_view> lines = ListLines(bytes);
    const bool addresses = std::any_of(lines.begin(), lines.end(), [](std::string_view line) { return IsWebAddress(line); });
    if (!lines.empty() && (!addresses || bytes.find('\0') != std::string::npos)) {
      return Fail(source, Tr("not a sitemap, feed or list of addresses", "不是站点地图、订阅源或地址列表"));
    }
    for (const std::string_view line : lines) Add(source, line, kNoDay);
  }

  void TakeXml(const std::string& source, SourceStream& stream, int depth) {
    std::vector<std::string> sitemaps;
    const XmlOutcome outcome = ReadXml(
        [&stream](char* buffer, int size) {
          return static_cast<int>(stream.Read(buffer, static_cast<std::size_t>(size)));
        },
        [&](XmlKind kind, ListedAddress&& entry) {
          if (kind == XmlKind::kSitemapIndex) return sitemaps.push_back(std::move(entry.address));
          if (options_.since && (!entry.day || *entry.day < *options_.since)) return;
          Add(source, entry.address, entry.day.value_or(kNoDay));
        },
        options_.since.has_value() || sink_.day != nullptr);
    if (!outcome.error.empty() && stream.Failure() == StreamFailure::kNone) {
      // A file past the size limit is that before it is malformed: libxml2 gives up on a huge
      // text node long before 50 MB. The rest is read only to tell which.
      std::string rest(64 * 1024, '\0');
      while (stream.Read(rest.data(), rest.size()) > 0) {
      }
    }
    const std::size_t kept = outcome.kind == XmlKind::kSitemapIndex ? 0 : outcome.entries;
    if (!Failed(source, stream, kept)) {
      if (outcome.kind == XmlKind::kOther) {
        Fail(source, Tr("not a sitemap, feed or list of addresses", "不是站点地图、订阅源或地址列表"));
      } else if (outcome.cutShort) {
        Fail(source, Tr("cut short: the file ends before its close tag", "文件不完整：在结束标签之前就结束了") + Kept(kept));
      } else if (!outcome.error.empty()) {
        Fail(source, outcome.error + (kept > 0 ? Kept(kept) : std::string()));
      }
    }
    // The sitemaps an index listed before it broke off are complete addresses: they are read.
    for (const std::string& sitemap : sitemaps) Follow(source, sitemap, depth + 1);
  }

  void Follow(const std::string& from, const std::string& sitemap, int depth) {
    if (!IsWebAddress(sitemap)) return Fail(from, Tr("not an http(s) address: ", "不是 http(s) 地址：") + Quoted(sitemap));
    if (std::find(reading_.begin(), reading_.end(), sitemap) != reading_.end()) {
      // The address stays out of Tr: it is UTF-8 already, the Chinese text GBK.
      return Fail(from, Tr("sitemap loop: it lists ", "站点地图循环：其中列出的 ") + sitemap +
                            Tr(", which leads back to it; not read again", " 又指回它本身，不再重复读取"));
    }
    if (depth > options_.maxDepth) {
      return Fail(sitemap, Tr("nested deeper than " + std::to_string(options_.maxDepth),
                              "嵌套超过 " + std::to_string(options_.maxDepth) + " 层"));
    }
    if (!visited_.insert(sitemap).second) return;  // listed by two indexes: read once
    if (++followed_ > options_.maxSitemaps) {
      return Fail(sitemap, Tr("more than " + std::to_string(options_.maxSitemaps) + " sitemaps followed",
                              "跟随的站点地图超过 " + std::to_string(options_.maxSitemaps) + " 个"));
    }
    reading_.push_back(sitemap);
    Take(sitemap, Open(sitemap), depth);
    reading_.pop_back();
  }

  void Add(const std::string& source, std::string_view address, int day) {
    if (!IsWebAddress(address)) return sink_.invalid(InvalidEntry{source, std::string(address)});
    if (options_.form != nullptr && !options_.formed(address)) return Hand(options_.form(address), day);
    Hand(address, day);
  }

  // Hands over an address in its form, the first time it is met.
  void Hand(std::string_view address, int day) {
    if (!seen_.Insert(address)) return;
    sink_.address(address);
    if (sink_.day) sink_.day(day);
    if (sink_.progress && seen_.Size() % kProgressEvery == 0) sink_.progress(documents_, seen_.Size());
  }

  const SourceOptions& options_;
  const OpenSource& open_;
  std::shared_ptr<Transfer> ended_;  // how the latest web source's transfer ended
  std::istream& input_;
  const SourceSink& sink_;
  SeenAddresses seen_;
  std::unordered_set<std::string> visited_;
  std::vector<std::string> reading_;  // the sitemaps being read, each inside the one before
  int followed_ = 0;
  int documents_ = 0;
};

}  // namespace

HttpReply FetchSource(const std::string& address) {
  return HttpGet(address, HttpLimits{.timeoutMs = 60000, .maxBodyBytes = static_cast<std::int64_t>(kMaxFileBytes)});
}

OpenSource Opening(const Fetch& fetch) {
  return [fetch](const std::string& address) {
    OpenedSource opened;
    opened.reply = fetch(address);
    if (opened.reply.transfer == Transfer::kComplete && opened.reply.status >= 200 && opened.reply.status <= 299) {
      opened.body = SourceStream::OfBytes(std::move(opened.reply.body), kMaxFileBytes);
    }
    opened.reply.body.clear();
    return opened;
  };
}

void ReadSources(const std::vector<std::string>& sources, const SourceOptions& options, const OpenSource& open,
                 std::istream& input, const SourceSink& sink) {
  SourceReader reader(options, open, input, sink);
  for (const std::string& source : sources) reader.Read(source);
  reader.Finish();
}

SourceAddresses ReadSources(const std::vector<std::string>& sources, const SourceOptions& options,
                            const Fetch& fetch, std::istream& input) {
  SourceAddresses out;
  const SourceSink sink{[&out](std::string_view address) { out.addresses.emplace_back(address); },
                        [&out](const std::string& line) { out.errors.push_back(line); },
                        [&out](InvalidEntry&& entry) { out.invalid.push_back(std::move(entry)); },
                        nullptr,
                        [&out](std::size_t n) { return std::string_view(out.addresses[n]); },
                        [&out](int day) { out.days.push_back(day); }};
  ReadSources(sources, options, Opening(fetch), input, sink);
  return out;
}

}  // namespace kestrin::cli
