#include "web/all_between.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "runtime/events.h"

namespace kestrin {
namespace {

using Pieces = std::vector<Text>;

struct BetweenCase {
  const char* name;
  const char* text;
  const char* left;
  const char* right;
  AllTextsOptions options;
  Pieces pieces;
};

const BetweenCase kCases[] = {
    {"two links in order", "<a href=\"/1.html\">a</a> <a href=\"/2.html\">b</a>", "href=\"", "\"", {},
     {"/1.html", "/2.html"}},
    {"right marker opens the next piece", "a\"b\"c\"d", "\"", "\"", {}, {"b", "c"}},
    {"spaces-only piece skipped, search goes on after its left marker", "\" \"x\"", "\"", "\"", {}, {"x"}},
    {"full-width spaces trimmed", "[\xA1\xA1 a b \xA1\xA1][\xA1\xA1]", "[", "]", {}, {"a b"}},
    {"left marker without right ends the search", "<b>1</b><b>2</b><b>3", "<b>", "</b>", {}, {"1", "2"}},
    {"markers found in any case", "<li>a</li><LI>b</LI>", "<LI>", "</li>", {}, {"a", "b"}},
    {"case sensitive when asked", "<li>a</li><LI>b</LI>", "<LI>", "</LI>", {.caseSensitive = true}, {"b"}},
    {"no left marker", "nothing here", "<a>", "</a>", {}, {}},
    {"too long pieces skipped, search goes on", "[123456789][1234567890][ok]", "[", "]", {.maximumLength = 10},
     {"123456789", "ok"}},
    {"prefix makes an empty piece count", "[ ]", "[", "]", {.prefix = "http://x"}, {"http://x"}},
    {"prefix and suffix around each piece", "[a][ b ]", "[", "]", {.prefix = "<", .suffix = ">"}, {"<a>", "<b>"}},
    {"markers put back as passed", "<li>a</li>", "<LI>", "</LI>", {.includeLeft = true, .includeRight = true}, {"<LI>a</LI>"}},
    {"only the left marker put back", "<li>a</li>", "<LI>", "</LI>", {.includeLeft = true}, {"<LI>a"}},
    {"length limit counts put-back markers", "[abc][ab]", "[", "]",
     {.maximumLength = 5, .includeLeft = true, .includeRight = true}, {"[ab]"}},
    {"start position skips earlier pieces", "x[a][b]", "[", "]", {.start = 4}, {"b"}},
    {"start below one searches everything", "x[a][b]", "[", "]", {.start = -5}, {"a", "b"}},
    {"start beyond the text", "x[a][b]", "[", "]", {.start = 50}, {}},
    {"quote word is not replaced", "a\"b\"c#引号d#引号", "#引号", "#引号", {}, {"d"}},
    {"marker byte inside a two-byte character is not a marker", "\x81@x@y@", "@", "@", {}, {"y"}},
    {"chinese markers and pieces", "【甲】【乙】", "【", "】", {}, {"甲", "乙"}},
};

TEST(AllTextsBetween, CutsEveryPieceBetweenMarkers) {
  for (const auto& c : kCases) {
    EXPECT_EQ(AllTextsBetween(c.text, c.left, c.right, c.options).Items(), c.pieces) << c.name;
  }
}

// A long list page as sites write them: markers in either case, addresses padded with spaces,
// Chinese titles, and now and then a long stretch of text between two links.
TEST(AllTextsBetween, LongPageGivesEveryAddressInOrder) {
  std::mt19937 rng(3);
  const char* const pads[] = {"", " ", "  ", "\xA1\xA1", " \xA1\xA1 "};
  Text page = "<ul>";
  Pieces expected;
  for (int i = 0; i < 400; ++i) {
    const Text address = "/news/" + std::to_string(i) + (i % 3 == 0 ? "/文章.html" : ".html");
    expected.push_back(address);
    page += i % 2 == 0 ? "<li><a href=\"" : "<LI><A HREF=\"";
    page += pads[rng() % 5] + address + pads[rng() % 5] + "\">标题" + std::to_string(i) + "</a></li>\r\n";
    if (rng() % 8 == 0) page += "<p>" + std::string(300 + rng() % 700, 'x') + "说明</p>";
  }
  EXPECT_EQ(AllTextsBetween(page, "<li><a href=\"", "\"").Items(), expected);
}

int eventRounds = 0;
void CountRound() { ++eventRounds; }

TEST(AllTextsBetween, LetsWindowEventsThroughOncePerRound) {
  const struct {
    const char* text;
    int rounds;
  } cases[] = {
      {"a\"b\"c\"d", 2},  // two pieces; the third round finds no right marker
      {"\" \"x\"", 2},    // one skipped piece, one kept
      {"no markers", 0},
  };
  SetProcessPendingEventsHook(&CountRound);
  for (const auto& c : cases) {
    eventRounds = 0;
    (void)AllTextsBetween(c.text, "\"", "\"");
    EXPECT_EQ(eventRounds, c.rounds) << c.text;
  }
  SetProcessPendingEventsHook(nullptr);
}

// Runs the search on a thread of its own; a search that never ends fails the test program
// instead of hanging it.
Pieces SearchWithWatchdog(const BetweenCase& c) {
  std::packaged_task<TextArray()> task([&c] { return AllTextsBetween(c.text, c.left, c.right, c.options); });
  std::future<TextArray> result = task.get_future();
  std::thread search(std::move(task));
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    std::fprintf(stderr, "AllTextsBetween did not return: %s\n", c.name);
    std::abort();
  }
  search.join();
  return result.get().Items();
}

// An empty marker matches where its search begins, and the search always moves on.
const BetweenCase kEmptyMarkerCases[] = {
    {"empty left gives the text up to the first right marker", "a\"b\"c", "", "\"", {}, {"a"}},
    {"empty left and a prefix", "a\"b", "", "\"", {.prefix = "p"}, {"pa", "p"}},
    {"empty left from a later start", "a\"b\"c", "", "\"", {.start = 3}, {"b"}},
    {"empty left on spaces only", " \"x\"", "", "\"", {}, {}},
    {"empty right gives empty pieces", "[a[b", "[", "", {}, {}},
    {"empty right and a prefix: one piece per left marker", "[a[b", "[", "", {.prefix = "p"}, {"p", "p"}},
    {"empty right and a suffix", "[a[b[", "[", "", {.suffix = "s"}, {"s", "s"}},
    {"both empty", "abc", "", "", {}, {}},
    {"both empty with prefix and suffix", "abc", "", "", {.prefix = "p", .suffix = "s"}, {"ps"}},
    {"both empty over an empty text", "", "", "", {.prefix = "p", .suffix = "s"}, {}},
};

TEST(AllTextsBetween, EmptyMarkersEndTheSearch) {
  for (const auto& c : kEmptyMarkerCases) EXPECT_EQ(SearchWithWatchdog(c), c.pieces) << c.name;
}

}  // namespace
}  // namespace kestrin
