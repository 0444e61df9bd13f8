// The real kestrin-cli reading the local list site and sitemaps served over HTTP.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/codepage.h"
#include "tests/cli/cli_process.h"
#include "tests/support/http_server.h"
#include "tests/support/list_site.h"

namespace kestrin {
namespace {

using testsupport::CliRun;
using testsupport::RunCli;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

struct CollectCase {
  const char* name;
  testsupport::PageEncoding encoding;
  testsupport::LinkForm form;
  std::vector<std::string> extra;
  bool reversed;
};

TEST(CliCollect, TheWindowsCollectorWithItsDefaultsPrintsEachAddressOnce) {
  const CollectCase cases[] = {
      {"UTF-8 pages, addresses relative to the root", testsupport::PageEncoding::kUtf8,
       testsupport::LinkForm::kRootRelative, {}, false},
      {"GBK pages, every form of address, reversed", testsupport::PageEncoding::kGbk, testsupport::LinkForm::kMixed,
       {"--gbk", "--reverse"}, true},
  };
  int run = 0;
  for (const CollectCase& row : cases) {
    SCOPED_TRACE(row.name);
    testsupport::ListSite site;
    const std::string pattern = "/list" + std::to_string(++run) + "/index_$.html";
    const std::vector<Text> expected = site.AddNumberedListPages(pattern, 2, 4, 5, row.encoding, row.form);
    std::vector<std::string> args{"collect", site.Address(pattern), "--from", "2", "--to", "4"};
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    const CliRun result = RunCli({.args = args});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> want;
    if (row.reversed) {
      for (int page = 2; page >= 0; --page) {
        want.insert(want.end(), expected.begin() + page * 5, expected.begin() + page * 5 + 5);
      }
    } else {
      want.assign(expected.begin(), expected.end());
    }
    EXPECT_EQ(Lines(result.out), want);
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << "no status line without a terminal";
    EXPECT_NE(result.err.find("15"), std::string::npos) << "only the closing count: " << result.err;
  }

  // The same page listed twice prints its addresses once; the default range is the window's 2 to 10.
  testsupport::ListSite site;
  const std::vector<Text> once = site.AddNumberedListPages("/same.html", 1, 1, 3);
  const CliRun repeated = RunCli({.args = {"collect", site.Address("/same.html")}});
  EXPECT_EQ(Lines(repeated.out), std::vector<std::string>(once.begin(), once.end()));
  EXPECT_EQ(site.Fetched().size(), 9u);
}

TEST(CliSitemap, FollowsRobotsAndIndexesAndReportsTheLimits) {
  testsupport::HttpServer server;
  server.Reply("/robots.txt", {.body = "User-agent: *\nSitemap: " + server.Url("/index.xml") + "\n",
                               .contentType = "text/plain"});
  server.Reply("/index.xml", {.body = "<sitemapindex><sitemap><loc>" + server.Url("/a.xml") +
                                      "</loc></sitemap><sitemap><loc>" + server.Url("/feed") +
                                      "</loc></sitemap></sitemapindex>",
                              .contentType = "application/xml"});
  server.Reply("/a.xml", {.body = "<urlset><url><loc>https://s.example/old</loc><lastmod>2023-12-31</lastmod></url>"
                                  "<url><loc>https://s.example/new</loc><lastmod>2024-01-01</lastmod></url></urlset>",
                          .contentType = "application/xml"});
  server.Reply("/feed", {.body = "<rss><channel><item><link>https://s.example/post</link>"
                                 "<pubDate>Mon, 01 Jan 2024 08:00:00 +0800</pubDate></item></channel></rss>",
                         .contentType = "application/rss+xml"});
  std::string many = "<urlset>";
  for (int i = 0; i <= 50000; ++i) many += "<url><loc>https://s.example/" + std::to_string(i) + "</loc></url>";
  server.Reply("/many.xml", {.body = many + "</urlset>", .contentType = "application/xml"});

  const CliRun all = RunCli({.args = {"sitemap", server.Url("/robots.txt")}});
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(Lines(all.out), (std::vector<std::string>{"https://s.example/old", "https://s.example/new",
                                                      "https://s.example/post"}));
  const CliRun since = RunCli({.args = {"sitemap", "--since", "2024-01-01", server.Url("/robots.txt")}});
  EXPECT_EQ(Lines(since.out), (std::vector<std::string>{"https://s.example/new", "https://s.example/post"}));

  const CliRun tooMany = RunCli({.args = {"sitemap", server.Url("/many.xml"), server.Url("/a.xml")}});
  EXPECT_EQ(tooMany.exitCode, 1);
  EXPECT_NE(tooMany.err.find("more than 50000 entries"), std::string::npos) << tooMany.err;
  EXPECT_EQ(Lines(tooMany.out).size(), 2u) << "the other source is still read";
}

}  // namespace
}  // namespace kestrin
