#include "cli/sources.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_set>

#include "cli/source_stream.h"
#include "cli/text_source.h"
#include "cli/xml_source.h"

namespace kestrin::cli {
namespace {

bool LooksLikeXml(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const auto first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '<';
}

class SourceReader {
 public:
  SourceReader(const SourceOptions& options, const Fetch& fetch, std::istream& input)
      : options_(options), fetch_(fetch), input_(input) {}

  void Read(const std::string& source) { Take(source, Open(source), 0); }

  SourceAddresses Result() && {
    out_.addresses.reserve(kept_.size());
    for (std::string& address : kept_) out_.addresses.push_back(std::move(address));
    return std::move(out_);
  }

 private:
  void Fail(const std::string& source, const std::string& why) { out_.errors.push_back(source + ": " + why); }

  // The bytes of a source as a stream, or nullptr once the failure is noted.
  std::unique_ptr<SourceStream> Open(const std::string& source) {
    if (source == "-") return SourceStream::OfInput(input_, kMaxFileBytes);
    if (IsWebAddress(source)) {
      HttpReply reply = fetch_(source);
      if (reply.transfer != Transfer::kComplete || reply.status < 200 || reply.status > 299) {
        Fail(source, reply.transfer == Transfer::kTooLarge ? "larger than 50 MB" : DescribeReply(reply));
        return nullptr;
      }
      return SourceStream::OfBytes(std::move(reply.body), kMaxFileBytes);
    }
    auto stream = SourceStream::OfFile(source, kMaxFileBytes);
    if (!stream) Fail(source, "cannot be opened");
    return stream;
  }

  // Notes a stream's failure; true when there was one.
  bool Failed(const std::string& source, const SourceStream& stream) {
    switch (stream.Failure()) {
      case StreamFailure::kNone: return false;
      case StreamFailure::kUnreadable: Fail(source, "cannot be read"); break;
      case StreamFailure::kTooLarge:
        Fail(source, stream.Gzipped() ? "larger than 50 MB uncompressed" : "larger than 50 MB");
        break;
      case StreamFailure::kCorrupt: Fail(source, "damaged gzip data"); break;
    }
    return true;
  }

  // XML goes to the parser as it is read; the small rest (lists, robots.txt) is read whole.
  void Take(const std::string& source, std::unique_ptr<SourceStream> stream, int depth) {
    if (!stream) return;
    if (LooksLikeXml(stream->Peek(4096))) return TakeXml(source, *stream, depth);
    const std::string bytes = stream->ReadRest();
    if (Failed(source, *stream)) return;
    if (LooksLikeRobots(bytes)) {
      for (const std::string& sitemap : SitemapsInRobots(bytes)) Follow(source, sitemap, depth + 1);
      return;
    }
    for (std::string& line : ListLines(bytes)) Add(source, std::move(line));
  }

  void TakeXml(const std::string& source, SourceStream& stream, int depth) {
    XmlDocument document = ReadXmlDocument(
        [&stream](char* buffer, int size) {
          return static_cast<int>(stream.Read(buffer, static_cast<std::size_t>(size)));
        },
        options_.since.has_value());
    if (!document.error.empty() && stream.Failure() == StreamFailure::kNone) {
      // A file past the size limit is that before it is malformed: libxml2 gives up on a huge
      // text node long before 50 MB. The rest is read only to tell which.
      std::string rest(64 * 1024, '\0');
      while (stream.Read(rest.data(), rest.size()) > 0) {
      }
    }
    if (Failed(source, stream)) return;
    if (!document.error.empty()) return Fail(source, document.error);
    switch (document.kind) {
      case XmlKind::kSitemapIndex:
        for (const ListedAddress& sitemap : document.addresses) Follow(source, sitemap.address, depth + 1);
        return;
      case XmlKind::kUrlSet:
      case XmlKind::kRss:
      case XmlKind::kAtom:
        seen_.reserve(seen_.size() + document.addresses.size());
        for (ListedAddress& entry : document.addresses) {
          if (options_.since && (!entry.day || *entry.day < *options_.since)) continue;
          Add(source, std::move(entry.address));
        }
        return;
      case XmlKind::kOther:
        return Fail(source, "neither a sitemap nor an RSS or Atom feed");
    }
  }

  void Follow(const std::string& from, const std::string& sitemap, int depth) {
    if (!IsWebAddress(sitemap)) return Fail(from, "not an http(s) address: " + sitemap);
    if (depth > options_.maxDepth) return Fail(sitemap, "nested deeper than " + std::to_string(options_.maxDepth));
    if (!visited_.insert(sitemap).second) return;  // an index that lists itself, or a loop
    if (++followed_ > options_.maxSitemaps) {
      return Fail(sitemap, "more than " + std::to_string(options_.maxSitemaps) + " sitemaps followed");
    }
    Take(sitemap, Open(sitemap), depth);
  }

  void Add(const std::string& source, std::string address) {
    if (!IsWebAddress(address)) return out_.invalid.push_back({source, std::move(address)});
    // The set looks at the kept strings themselves; a deque never moves them. Kept first, the
    // address is hashed once.
    kept_.push_back(std::move(address));
    if (!seen_.insert(kept_.back()).second) kept_.pop_back();
  }

  const SourceOptions& options_;
  const Fetch& fetch_;
  std::istream& input_;
  SourceAddresses out_;
  std::deque<std::string> kept_;
  std::unordered_set<std::string_view> seen_;
  std::unordered_set<std::string> visited_;
  int followed_ = 0;
};

}  // namespace

HttpReply FetchSource(const std::string& address) {
  return HttpGet(address, HttpLimits{.timeoutMs = 60000, .maxBodyBytes = static_cast<std::int64_t>(kMaxFileBytes)});
}

SourceAddresses ReadSources(const std::vector<std::string>& sources, const SourceOptions& options,
                            const Fetch& fetch, std::istream& input) {
  SourceReader reader(options, fetch, input);
  for (const std::string& source : sources) reader.Read(source);
  return std::move(reader).Result();
}

}  // namespace kestrin::cli
