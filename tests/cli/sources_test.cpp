#include "cli/sources.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli/dates.h"
#include "cli/text_source.h"
#include "cli/xml_source.h"
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

// A web of documents by address; anything else is a 404.
class FakeWeb {
 public:
  void Put(const std::string& address, std::string body) { pages_[address] = std::move(body); }
  Fetch AsFetch() {
    return [this](const std::string& address) {
      fetched_.push_back(address);
      const auto found = pages_.find(address);
      if (found == pages_.end()) return HttpReply{Transfer::kComplete, 404, ""};
      return HttpReply{Transfer::kComplete, 200, found->second};
    };
  }
  std::vector<std::string> fetched_;

 private:
  std::map<std::string, std::string> pages_;
};

SourceAddresses Read(const std::vector<std::string>& sources, FakeWeb& web, const SourceOptions& options = {},
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

  SourceOptions since;
  since.since = ParseIsoDay("2024-02-01");
  EXPECT_EQ(Read({"https://s.example/index.xml"}, web, since).addresses,
            (std::vector<std::string>{"https://s.example/2", "https://s.example/3"}));
}

TEST(ReadSources, LoopsDepthAndCountAreBounded) {
  FakeWeb web;
  web.Put("https://s.example/self.xml", "<sitemapindex><sitemap><loc>https://s.example/self.xml</loc></sitemap></sitemapindex>");
  const SourceAddresses loop = Read({"https://s.example/self.xml"}, web);
  EXPECT_TRUE(loop.addresses.empty());
  EXPECT_LE(web.fetched_.size(), 2u);

  // Each index names the next, deeper than allowed.
  for (int i = 0; i < 5; ++i) {
    web.Put("https://s.example/d" + std::to_string(i) + ".xml",
            "<sitemapindex><sitemap><loc>https://s.example/d" + std::to_string(i + 1) + ".xml</loc></sitemap></sitemapindex>");
  }
  SourceOptions shallow;
  shallow.maxDepth = 2;
  const SourceAddresses deep = Read({"https://s.example/d0.xml"}, web, shallow);
  ASSERT_EQ(deep.errors.size(), 1u);
  EXPECT_NE(deep.errors[0].find("deeper than 2"), std::string::npos) << deep.errors[0];

  std::string index = "<sitemapindex>";
  for (int i = 0; i < 5; ++i) index += "<sitemap><loc>https://s.example/m" + std::to_string(i) + ".xml</loc></sitemap>";
  web.Put("https://s.example/many.xml", index + "</sitemapindex>");
  SourceOptions few;
  few.maxSitemaps = 3;
  const SourceAddresses many = Read({"https://s.example/many.xml"}, web, few);
  EXPECT_EQ(many.errors.size(), 3u + 2u);  // three 404s, then two over the count
}

TEST(ReadSources, ListsFilesAndStandardInput) {
  testsupport::TempFolder folder;
  const std::string list = folder.Write("list.txt", "\xEF\xBB\xBFhttp://s.example/a\r\n\r\n# a comment\nftp://s.example/b\nhttp://s.example/a\nHTTPS://s.example/c\n");
  FakeWeb web;
  const SourceAddresses read = Read({list, "-", folder.Path() + "/missing.txt"}, web, {}, "http://s.example/d\n");
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
