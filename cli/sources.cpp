#include "cli/sources.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_set>

#include "cli/gzip.h"
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

  void Read(const std::string& source) {
    std::string bytes;
    if (!Load(source, bytes)) return;
    Take(source, std::move(bytes), 0);
  }

  SourceAddresses Result() && {
    out_.addresses.reserve(kept_.size());
    for (std::string& address : kept_) out_.addresses.push_back(std::move(address));
    return std::move(out_);
  }

 private:
  void Fail(const std::string& source, const std::string& why) { out_.errors.push_back(source + ": " + why); }

  bool Load(const std::string& source, std::string& bytes) {
    if (source == "-") {
      bytes.assign(std::istreambuf_iterator<char>(input_), std::istreambuf_iterator<char>());
      return true;
    }
    if (IsWebAddress(source)) {
      const HttpReply reply = fetch_(source);
      if (reply.transfer != Transfer::kComplete || reply.status < 200 || reply.status > 299) {
        Fail(source, reply.transfer == Transfer::kTooLarge ? "larger than 50 MB" : DescribeReply(reply));
        return false;
      }
      bytes = reply.body;
      return true;
    }
    std::ifstream file(source, std::ios::binary);
    if (!file) {
      Fail(source, "cannot be opened");
      return false;
    }
    // Read no further than the limit: a list has no use for more, a sitemap may not have it. The
    // buffer grows as bytes come, so a small file costs no 50 MB of zeros.
    constexpr std::size_t kChunk = 1 << 20;
    while (bytes.size() <= kMaxFileBytes && file) {
      const std::size_t used = bytes.size();
      bytes.resize(used + std::min(kChunk, kMaxFileBytes + 1 - used));
      file.read(bytes.data() + used, static_cast<std::streamsize>(bytes.size() - used));
      bytes.resize(used + static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
      Fail(source, "cannot be read");
      return false;
    }
    return true;
  }

  void Take(const std::string& source, std::string bytes, int depth) {
    if (bytes.size() > kMaxFileBytes) return Fail(source, "larger than 50 MB");
    if (IsGzip(bytes)) {
      Inflated inflated = Gunzip(bytes, kMaxFileBytes);
      if (inflated.tooLarge) return Fail(source, "larger than 50 MB uncompressed");
      if (inflated.corrupt) return Fail(source, "damaged gzip data");
      bytes = std::move(inflated.bytes);
    }
    if (LooksLikeXml(bytes)) return TakeXml(source, bytes, depth);
    if (LooksLikeRobots(bytes)) {
      for (const std::string& sitemap : SitemapsInRobots(bytes)) Follow(source, sitemap, depth + 1);
      return;
    }
    for (std::string& line : ListLines(bytes)) Add(source, std::move(line));
  }

  void TakeXml(const std::string& source, const std::string& bytes, int depth) {
    XmlDocument document = ReadXmlDocument(bytes);
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
    std::string bytes;
    if (Load(sitemap, bytes)) Take(sitemap, std::move(bytes), depth);
  }

  void Add(const std::string& source, std::string address) {
    if (!IsWebAddress(address)) return Fail(source, "not an http(s) address: " + address);
    // The set looks at the kept strings themselves; a deque never moves them.
    if (seen_.contains(address)) return;
    kept_.push_back(std::move(address));
    seen_.insert(kept_.back());
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
