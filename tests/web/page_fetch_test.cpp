#include "web/page_fetch.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/http_server.h"
#include "tests/support/raw_server.h"

namespace kestrin {
namespace {

TEST(FetchPageText, GivesThePageUpToItsFirstNul) {
  testsupport::HttpServer server;
  struct Row {
    const char* name;
    testsupport::ScriptedReply reply;
    std::string text;
  };
  const Row rows[] = {
      {"a page", {.body = "<ul><li>a</li></ul>"}, "<ul><li>a</li></ul>"},
      {"an error page is a page", {.status = 404, .body = "<h1>404</h1>"}, "<h1>404</h1>"},
      {"UTF-16 text ends after its first letter", {.body = std::string("A\0B\0", 4)}, "A"},
      {"a GBK page keeps its bytes", {.body = "\xd6\xd0\xce\xc4"}, "\xd6\xd0\xce\xc4"},
      {"an empty page", {.body = ""}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server.Reply("/page", row.reply);
    EXPECT_EQ(FetchPageText(server.Url("/page")), row.text);
    EXPECT_EQ(server.LastRequest().requestLine, "GET /page HTTP/1.1");
    EXPECT_EQ(server.LastRequest().body, "");
  }
}

TEST(FetchPageText, APageBeyondItsLimitsIsEmpty) {
  testsupport::HttpServer server;
  server.Reply("/page", {.body = std::string(2000, 'a')});
  testsupport::RawServer silent(testsupport::scripts::Silent());
  EXPECT_EQ(FetchPageText(server.Url("/page"), {.maxBodyBytes = 2000}).size(), 2000u);
  EXPECT_EQ(FetchPageText(server.Url("/page"), {.maxBodyBytes = 1999}), "");
  EXPECT_EQ(FetchPageText(silent.Url("/page"), {.timeoutMs = 300}), "");
}

TEST(FetchPageText, AnUnreachablePageIsEmpty) {
  EXPECT_EQ(FetchPageText("http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/"), "");
}

}  // namespace
}  // namespace kestrin
