#include "cli/sources/sources.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "cli/sources/dates.h"
#include "cli/sources/text_source.h"
#include "cli/sources/xml_source.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/gzip.h"

namespace kestrin::cli {
namespace {

std::string UrlSet(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out = "<urlset>";
  for (const auto& [loc, lastmod] : entries) {
    out += "<url><loc>" + loc + "</loc>" + (lastmod.empty() ? "" : "<lastmod>" + lastmod + "</lastmod>") + "</url>";
  }
  return out + "</urlset>";
}

// A web of documents by address; anything else is a 404. Failures queued for an address come
// first, one per fetch.
class FakeWeb {
 public:
  void Put(const std::string& address, std::string body) { pages_[address] = std::move(body); }
  void Fail(const std::string& address, std::vector<HttpReply> replies) { failures_[address] = std::move(replies); }
  Fetch AsFetch() {
    return [this](const std::string& address) {
      fetched_.push_back(address);
      if (auto& queued = failures_[address]; !queued.empty()) {
        HttpReply reply = queued.front();
        queued.erase(queued.begin());
        return reply;
      }
      const auto found = pages_.find(address);
      if (found == pages_.end()) return HttpReply{Transfer::kComplete, 404, ""};
      return HttpReply{Transfer::kComplete, 200, found->second};
    };
  }
  std::vector<std::string> fetched_;

 private:
  std::map<std::string, std::string> pages_;
  std::map<std::string, std::vector<HttpReply>> failures_;
};

// Waits between fetches are noted, not slept.
SourceOptions NoWaits(std::vector<std::int64_t>* waits = nullptr) {
  SourceOptions options;
  options.retry = RetryPolicy{};
  options.wait = [waits](std::int64_t ms) {
    if (waits != nullptr) waits->push_back(ms);
  };
  return options;
}

SourceAddresses Read(const std::vector<std::string>& sources, FakeWeb& web, const SourceOptions& options = NoWaits(),
                     const std::string& input = "") {
  std::istringstream in(input);
  return ReadSources(sources, options, web.AsFetch(), in);
}

TEST(ReadSources, RobotsIndexSitemapsAndGzipInOrderEachOnce) {
  FakeWeb web;
  web.Put("https://s.example/robots.txt",
          "User-agent: *\nDisallow: /private\nsitemap: https://s.example/index.xml\n");
  web.Put("https://s.example/index.xml",
          "<sitemapindex><sitemap><loc>https://s.example/a.xml</loc></sitemap>"
          "<sitemap><loc>https://s.example/b.xml.gz</loc></sitemap></sitemapindex>");
  web.Put("https://s.example/a.xml", UrlSet({{"https://s.example/1", "2024-01-01"}, {"https://s.example/2", "2024-02-01"}}));
  web.Put("https://s.example/b.xml.gz",
          Gzip(UrlSet({{"https://s.example/2", "2024-02-01"}, {"https://s.example/3", "2024-03-01"}})));

  const SourceAddresses all = Read({"https://s.example/robots.txt"}, web);
  EXPECT_TRUE(all.errors.empty());
  EXPECT_EQ(all.addresses, (std::vector<std::string>{"https://s.example/1", "https://s.example/2", "https://s.example/3"}));

  SourceOptions since = NoWaits();
  since.since = ParseIsoDay("2024-02-01");
  EXPECT_EQ(Read({"https://s.example/index.xml"}, web, since).addresses,
            (std::vector<std::string>{"https://s.example/2", "https://s.example/3"}));
}

std::string Index(const std::vector<std::string>& sitemaps) {
  std::string out = "<sitemapindex>";
  for (const std::string& sitemap : sitemaps) out += "<sitemap><loc>" + sitemap + "</loc></sitemap>";
  return out + "</sitemapindex>";
}

TEST(ReadSources, LoopsDepthAndCountAreBounded) {
  FakeWeb web;
  web.Put("https://s.example/self.xml", Index({"https://s.example/self.xml"}));
  web.Put("https://s.example/l1.xml", Index({"https://s.example/l2.xml", "https://s.example/page.xml"}));
  web.Put("https://s.example/l2.xml", Index({"https://s.example/l3.xml"}));
  web.Put("https://s.example/l3.xml", Index({"https://s.example/l1.xml", "https://s.example/page.xml"}));
  web.Put("https://s.example/page.xml", UrlSet({{"https://s.example/p", ""}}));
  struct LoopCase {
    const char* source;
    const char* closer;  // the sitemap that lists one it is read from
    const char* listed;
    std::size_t addresses;
  };
  const LoopCase loops[] = {
      {"https://s.example/self.xml", "https://s.example/self.xml", "https://s.example/self.xml", 0},
      {"https://s.example/l1.xml", "https://s.example/l3.xml", "https://s.example/l1.xml", 1},
  };
  for (const LoopCase& row : loops) {
    SCOPED_TRACE(row.source);
    web.fetched_.clear();
    const SourceAddresses loop = Read({row.source}, web);
    EXPECT_EQ(loop.addresses.size(), row.addresses);
    ASSERT_EQ(loop.errors.size(), 1u) << "one report for one loop";
    EXPECT_EQ(loop.errors[0].rfind(std::string(row.closer) + ": sitemap loop", 0), 0u) << loop.errors[0];
    EXPECT_NE(loop.errors[0].find(std::string("lists ") + row.listed), std::string::npos) << loop.errors[0];
    EXPECT_EQ(std::set<std::string>(web.fetched_.begin(), web.fetched_.end()).size(), web.fetched_.size())
        << "each fetched once";
  }

  // Each index names the next, deeper than allowed.
  for (int i = 0; i < 5; ++i) {
    web.Put("https://s.example/d" + std::to_string(i) + ".xml",
            "<sitemapindex><sitemap><loc>https://s.example/d" + std::to_string(i + 1) + ".xml</loc></sitemap></sitemapindex>");
  }
  SourceOptions shallow = NoWaits();
  shallow.maxDepth = 2;
  const SourceAddresses deep = Read({"https://s.example/d0.xml"}, web, shallow);
  ASSERT_EQ(deep.errors.size(), 1u);
  EXPECT_NE(deep.errors[0].find("deeper than 2"), std::string::npos) << deep.errors[0];

  std::string index = "<sitemapindex>";
  for (int i = 0; i < 5; ++i) index += "<sitemap><loc>https://s.example/m" + std::to_string(i) + ".xml</loc></sitemap>";
  web.Put("https://s.example/many.xml", index + "</sitemapindex>");
  SourceOptions few = NoWaits();
  few.maxSitemaps = 3;
  const SourceAddresses many = Read({"https://s.example/many.xml"}, web, few);
  EXPECT_EQ(many.errors.size(), 3u + 2u);  // three 404s, then two over the count
}

TEST(ReadSources, ListsFilesAndStandardInput) {
  testsupport::TempFolder folder;
  const std::string list = folder.Write("list.txt", "\xEF\xBB\xBFhttp://s.example/a\r\n\r\n# a comment\nftp://s.example/b\nhttp://s.example/a\nHTTPS://s.example/c\n");
  FakeWeb web;
  const SourceAddresses read = Read({list, "-", folder.Path() + "/missing.txt"}, web, NoWaits(), "http://s.example/d\n");
  EXPECT_EQ(read.addresses, (std::vector<std::string>{"http://s.example/a", "HTTPS://s.example/c", "http://s.example/d"}));
  ASSERT_EQ(read.errors.size(), 1u);
  EXPECT_NE(read.errors[0].find("cannot be opened"), std::string::npos);
  ASSERT_EQ(read.invalid.size(), 1u);
  EXPECT_EQ(read.invalid[0].entry, "ftp://s.example/b");
}

TEST(ReadSources, OversizedAndDamagedFilesEndInAClearError) {
  FakeWeb web;
  // 60 MB of spaces inside a url set: a small download that inflates past the limit.
  std::string bomb = "<urlset>" + std::string(60 * 1024 * 1024, ' ') + "</urlset>";
  web.Put("https://s.example/bomb.xml.gz", Gzip(bomb));
  bomb.clear();
  bomb.shrink_to_fit();
  std::string cut = Gzip(UrlSet({{"https://s.example/1", ""}}));
  cut.resize(cut.size() / 2);
  web.Put("https://s.example/cut.xml.gz", cut);
  const SourceAddresses read = Read({"https://s.example/bomb.xml.gz", "https://s.example/cut.xml.gz"}, web);
  ASSERT_EQ(read.errors.size(), 2u);
  EXPECT_NE(read.errors[0].find("larger than 50 MB uncompressed"), std::string::npos) << read.errors[0];
  EXPECT_NE(read.errors[1].find("damaged gzip"), std::string::npos) << read.errors[1];
}

struct SourceCase {
  const char* name;
  std::string body;
  std::vector<std::string> addresses;
  const char* error;  // a part of the one error line; "" for none
  std::size_t invalid = 0;  // lines kept apart as no http(s) address
};

TEST(ReadSources, EachDocumentIsTakenForWhatItIs) {
  std::string html = "Warning: something went wrong\n<html>\n";
  for (int i = 0; i < 1000; ++i) html += "<p>line " + std::to_string(i) + "</p>\n";
  std::string badLines = "http://s.example/1\n";
  for (int i = 0; i < 12; ++i) badLines += "bad" + std::to_string(i) + "\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : UrlSet({{"https://s.example/u16", ""}})) utf16 += std::string{c, '\0'};
  const SourceCase cases[] = {
      {"an HTML page with text before it is one error", html, {}, "not a sitemap, feed or list of addresses"},
      {"a binary file is one error, with no raw bytes", std::string("\x01\x02\0\x1b[2Jhttp://x\n", 13), {},
       "not a sitemap, feed or list of addresses"},
      {"a bad line is kept apart as written", "http://s.example/1\nhttp://s.example/2\nbad\x1b[2J\n",
       {"http://s.example/1", "http://s.example/2"}, "", 1},
      {"UTF-16 with a byte-order mark is XML", utf16, {"https://s.example/u16"}, ""},
      {"a list with many bad lines is still a list, each bad line kept apart", badLines, {"http://s.example/1"}, "", 12},
      {"an empty Atom 0.3 feed is no error", "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"/>", {}, ""},
      {"an internal entity is expanded",
       "<!DOCTYPE urlset [<!ENTITY s \"news\">]><urlset><url><loc>http://s.example/&s;/1.html</loc></url></urlset>",
       {"http://s.example/news/1.html"}, ""},
      {"a cut file keeps its complete entries and says how many",
       "<urlset><url><loc>https://s.example/a</loc></url><url><loc>https://s.example/b</loc></url><url><loc>https://s",
       {"https://s.example/a", "https://s.example/b"}, "cut short: the file ends before its close tag; 2 addresses kept"},
      {"robots.txt names a sitemap as Site-map too", "User-agent: *\nSite-map: https://s.example/page.xml\n",
       {"https://s.example/p"}, ""},
  };
  for (const SourceCase& row : cases) {
    SCOPED_TRACE(row.name);
    FakeWeb web;
    web.Put("https://s.example/doc", row.body);
    web.Put("https://s.example/page.xml", UrlSet({{"https://s.example/p", ""}}));
    const SourceAddresses read = Read({"https://s.example/doc"}, web);
    EXPECT_EQ(read.addresses, row.addresses);
    EXPECT_EQ(read.invalid.size(), row.invalid);
    if (row.error[0] == '\0') {
      EXPECT_TRUE(read.errors.empty()) << read.errors[0];
      continue;
    }
    std::string errors;
    for (const std::string& line : read.errors) {
      for (const char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line;
      errors += "\n" + line;
    }
    EXPECT_EQ(read.errors.size(), row.addresses.empty() ? 1u : read.errors.size()) << "a page that is no list: one line";
    EXPECT_NE(errors.find(row.error), std::string::npos) << errors;
  }
}

TEST(ReadSources, FetchesThatMayPassAreTriedFourTimesInAll) {
  const HttpReply unavailable{Transfer::kComplete, 503, ""};
  struct RetryCase {
    const char* name;
    std::vector<HttpReply> failures;
    std::size_t fetches;
    bool read;
  };
  const RetryCase cases[] = {
      {"503, 429 and a dropped connection, then the sitemap",
       {unavailable, {Transfer::kComplete, 429, ""}, {Transfer::kBroken, 0, ""}}, 4, true},
      {"four 503s", {unavailable, unavailable, unavailable, unavailable}, 4, false},
      {"a 404 is not tried again", {{Transfer::kComplete, 404, ""}}, 1, false},
  };
  for (const RetryCase& row : cases) {
    SCOPED_TRACE(row.name);
    FakeWeb web;
    web.Put("https://s.example/a.xml", UrlSet({{"https://s.example/1", ""}}));
    web.Fail("https://s.example/a.xml", row.failures);
    std::vector<std::int64_t> waits;
    const SourceAddresses read = Read({"https://s.example/a.xml"}, web, NoWaits(&waits));
    EXPECT_EQ(web.fetched_.size(), row.fetches);
    EXPECT_EQ(waits.size(), row.fetches - 1);
    EXPECT_EQ(read.addresses.size(), row.read ? 1u : 0u);
    EXPECT_EQ(read.errors.size(), row.read ? 0u : 1u);
  }
}

struct AddressCase {
  const char* text;
  bool web;
};

TEST(IsWebAddress, AbsoluteHttpWithAHostAndNoSpaces) {
  const AddressCase cases[] = {
      {"http://a.example", true},     {"HTTPS://a.example/x?y", true}, {"http:///x", false},
      {"https://", false},            {"//a.example/x", false},        {"mailto:x@a.example", false},
      {"http://a.example/x y", false}, {"http://a.example/\x7f", false}, {"/relative", false},
  };
  for (const AddressCase& row : cases) EXPECT_EQ(IsWebAddress(row.text), row.web) << row.text;
}

}  // namespace
}  // namespace kestrin::cli
