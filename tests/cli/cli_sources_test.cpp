// The real kestrin-cli reading the local list site and sitemaps served over HTTP.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "runtime/codepage.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"
#include "tests/support/http_server.h"
#include "tests/support/list_site.h"
#include "tests/support/raw_server.h"

namespace kestrin {
namespace {

using testsupport::CliCall;
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
  EXPECT_NE(tooMany.err.find("more than 50000 entries in one file; 50000 addresses kept"), std::string::npos)
      << tooMany.err;
  EXPECT_EQ(Lines(tooMany.out).size(), 50002u) << "the first 50000, and the other source still read";
}

TEST(CliSitemap, BrokenAndFlakySourcesKeepWhatCameAndSayWhy) {
  testsupport::HttpServer server;
  std::atomic<int> flakyCalls{0};
  server.Answer("/flaky.xml", [&flakyCalls](const testsupport::RecordedRequest&) {
    if (++flakyCalls <= 2) return testsupport::ScriptedReply{.status = 503, .body = "busy"};
    return testsupport::ScriptedReply{.body = "<urlset><url><loc>https://s.example/f</loc></url></urlset>",
                                      .contentType = "application/xml"};
  });
  server.Reply("/cut.xml", {.body = "<urlset><url><loc>https://s.example/c1</loc></url>"
                                    "<url><loc>https://s.example/c2</loc></url><url><loc>https://s.exa",
                            .contentType = "application/xml"});
  server.Reply("/page", {.body = "<!DOCTYPE html>\n<html><body>\n<p>not a list<br></p>\n</body></html>\n",
                         .contentType = "text/html"});
  std::string badLines = "https://s.example/g\nbad\x1b[2J\n";
  for (int i = 1; i < 12; ++i) badLines += "bad" + std::to_string(i) + "\n";
  server.Reply("/bad.txt", {.body = badLines, .contentType = "text/plain"});
  testsupport::RawServer dropped(testsupport::scripts::Answer(
      "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nContent-Length: 5000\r\n\r\n"
      "<urlset><url><loc>https://s.example/d1</loc></url><url><loc>https://s.exa"));
  struct Row {
    const char* name;
    std::string address;
    int exitCode;
    std::vector<std::string> out;
    const char* err;  // a part of standard error
    int errLines = -1;  // lines on standard error; -1: one with `err`, else none
  };
  const Row rows[] = {
      {"503 twice, then read", server.Url("/flaky.xml"), 0, {"https://s.example/f"}, ""},
      {"cut short: the complete entries, and how many", server.Url("/cut.xml"), 1,
       {"https://s.example/c1", "https://s.example/c2"},
       "cut.xml: cut short: the file ends before its close tag; 2 addresses kept"},
      {"the connection dropped part way", dropped.Url("/d.xml"), 1, {"https://s.example/d1"},
       "d.xml: cut short: the connection broke; 1 addresses kept"},
      {"an HTML page: one line", server.Url("/page"), 1, {}, "page: not a sitemap, feed or list of addresses\n"},
      {"bad lines of a list: ten named, control bytes shown escaped, then one line for the rest",
       server.Url("/bad.txt"), 1, {"https://s.example/g"}, "bad.txt: not an http(s) address: bad\\x1B[2J\n", 11},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CliRun run = RunCli({.args = {"sitemap", row.address}, .env = {{"KESTRIN_CLI_BACKOFF_MS", "1"}}});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(Lines(run.out), row.out);
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), row.errLines >= 0 ? row.errLines : row.err[0] == '\0' ? 0 : 1)
        << run.err;
  }
  EXPECT_EQ(flakyCalls.load(), 3);

  // On a terminal, the sitemaps read and addresses found, written over and wiped at the end.
  if (testsupport::kWindows) GTEST_SKIP() << "no terminal to hand a run under Wine: a console's output cannot be read back";
  const CliRun shown = RunCli({.args = {"sitemap", server.Url("/cut.xml")}, .terminal = true});
  EXPECT_NE(shown.err.find("1 sitemaps read, 2 addresses found"), std::string::npos) << shown.err;
}

TEST(CliSitemap, FetchesTakeTheProxyAndTheRunsTimeoutAndTellInTheReadersLanguage) {
  const std::string sitemap = "<urlset><url><loc>https://s.example/p</loc></url></urlset>";
  testsupport::RawServer proxy([&sitemap](testsupport::RawConnection& connection) {
    // Only a request in a proxy's absolute form is answered.
    if (connection.ReadHead().find(" http://") == std::string::npos) return;
    connection.Send("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nConnection: close\r\nContent-Length: " +
                    std::to_string(sitemap.size()) + "\r\n\r\n" + sitemap);
  });
  testsupport::RawServer silent(testsupport::scripts::Silent());
  const std::string kept = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(sitemap.size()) + "\r\n\r\n" + sitemap;
  testsupport::RawServer keepsAlive([&kept](testsupport::RawConnection& c) { while (!c.ReadHead().empty() && c.Send(kept)) {} });
  std::vector<std::string> twenty{"sitemap"};
  for (int i = 1; i <= 20; ++i) twenty.push_back(keepsAlive.Url("/" + std::to_string(i) + ".xml"));
  const testsupport::RefusedPort noListener;
  const std::string closed = "http://127.0.0.1:" + std::to_string(noListener.Port()) + "/s.xml";
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int exitCode;
    std::vector<std::string> out;
    std::string err;  // a part of standard error
  };
  const Row rows[] = {
      {"http_proxy is honoured", {"sitemap", closed}, {{"http_proxy", proxy.Url("")}}, 0, {"https://s.example/p"}, ""},
      {"--proxy is honoured", {"sitemap", "--proxy", proxy.Url(""), closed}, {}, 0, {"https://s.example/p"}, ""},
      {"--timeout bounds the whole run", {"sitemap", "--timeout", "1", silent.Url("/s.xml")}, {}, 1, {},
       "--timeout was reached"},
      {"a source's message follows a Chinese locale", {"sitemap", "/nonexistent/list.txt"},
       {{"LANG", "zh_CN.UTF-8"}}, 1, {}, "list.txt: \xE6\x97\xA0\xE6\xB3\x95\xE6\x89\x93\xE5\xBC\x80"},  // 无法打开
      {"twenty sitemaps of one host, over one connection (below)", twenty, {}, 0, {"https://s.example/p"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::map<std::string, std::string> env = row.env;
    env["KESTRIN_CLI_BACKOFF_MS"] = "1";
    const CliRun run = RunCli({.args = row.args, .env = env, .timeoutMs = 20000});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(Lines(run.out), row.out);
    EXPECT_NE(run.err.find(testsupport::AsLogged(row.err)), std::string::npos) << run.err;
  }
  EXPECT_EQ(keepsAlive.ConnectionCount(), 1);
}

}  // namespace
}  // namespace kestrin
