#include "links/collector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "links/submitter.h"
#include "runtime/text_ops.h"
#include "tests/support/list_site.h"
#include "tests/support/memory_form.h"
#include "tests/support/raw_server.h"
#include "web/transport.h"

namespace kestrin {
namespace {

using testsupport::FormCall;
using testsupport::FormOp;
using testsupport::LinkForm;
using testsupport::ListLink;
using testsupport::ListSite;
using testsupport::MemoryForm;
using testsupport::PageEncoding;

const char* const kPattern = "/list/index_$.html";

std::vector<Text> LinesOf(const Text& box) {
  const TextArray lines = SplitText(box, "\r\n");
  return {lines.begin(), lines.end()};
}

std::string PagePath(long long page) { return "/list/index_" + std::to_string(page) + ".html"; }

Text Progress(const Text& label, int total) {
  return "正在采集第" + label + "页的内容,采集成功" + std::to_string(total) + "条数据";
}

Text Closing(int total) { return "全部采集完成！共采集" + std::to_string(total) + "条数据"; }

// A form filled as the window starts, pointed at the local site.
void FillDefaults(MemoryForm& form, const ListSite& site) {
  form.PutState(names::选择框1, true);
  form.PutState(names::选择框2, false);
  form.PutState(names::单选框1, false);
  form.Put(names::编辑框1, site.Address(kPattern));
  form.Put(names::编辑框2, "1");
  form.Put(names::编辑框3, "1");
  form.Put(names::编辑框4, "<div class=\"cca\">\r");
  form.Put(names::编辑框5, "</ul>");
  form.Put(names::编辑框6, "<li><a href=\"");
  form.Put(names::编辑框7, "\"");
}

class CollectorTest : public testing::Test {
 protected:
  void SetUp() override { FillDefaults(form_, site_); }

  ListSite site_;
  MemoryForm form_;
};

struct RangeCase {
  const char* name;
  const char* from;
  const char* to;
  bool reverse;
  std::vector<long long> pages;  // in the order they must be visited
};

const RangeCase kRangeCases[] = {
    {"Rising", "2", "10", false, {2, 3, 4, 5, 6, 7, 8, 9, 10}},
    {"Reversed", "2", "10", true, {10, 9, 8, 7, 6, 5, 4, 3, 2}},
    {"LastBelowFirst", "5", "4", false, {}},
    {"LastBelowFirstReversed", "5", "4", true, {}},
    {"OnePage", "3", "3", false, {3}},
    {"EmptyBoxesReadAsZero", "", "", false, {0}},
    {"NegativePages", "-2", "-1", false, {-2, -1}},
    {"LowestIntegers", "-2147483648", "-2147483646", false, {INT_MIN, INT_MIN + 1LL, INT_MIN + 2LL}},
    {"HighestIntegersReversed", "2147483645", "2147483647", true, {INT_MAX, INT_MAX - 1LL, INT_MAX - 2LL}},
};

class CollectorRangeTest : public CollectorTest, public testing::WithParamInterface<RangeCase> {};

TEST_P(CollectorRangeTest, VisitsThePagesInOrderAndReportsEachAddress) {
  const RangeCase& row = GetParam();
  std::vector<Text> expected;
  for (long long page : row.pages) {
    for (const Text& address : site_.AddNumberedListPages(kPattern, static_cast<int>(page), static_cast<int>(page), 2)) {
      expected.push_back(address);
    }
  }
  form_.Put(names::编辑框2, row.from);
  form_.Put(names::编辑框3, row.to);
  form_.PutState(names::选择框2, row.reverse);
  form_.Put(names::编辑框8, "kept\r\n");
  const int before = CollectedTotal.load();

  CollectLinks(form_);

  std::vector<std::string> fetched;
  for (long long page : row.pages) fetched.push_back(PagePath(page));
  EXPECT_EQ(site_.Fetched(), fetched);

  std::vector<Text> lines = {"kept"};
  lines.insert(lines.end(), expected.begin(), expected.end());
  EXPECT_EQ(LinesOf(form_.TextOf(names::编辑框8)), lines);

  std::vector<Text> status;
  int total = before;
  for (long long page : row.pages) {
    for (int k = 0; k < 2; ++k) status.push_back(Progress(std::to_string(page), ++total));
  }
  status.push_back(Closing(total));
  EXPECT_EQ(form_.StatusHistory(1), status);
  EXPECT_EQ(CollectedTotal.load() - before, static_cast<int>(expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Ranges, CollectorRangeTest, testing::ValuesIn(kRangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The whole 32-bit range is 2^32 pages, not an overflowed count of none; the run is cut short
// by the form after three pages.
TEST_F(CollectorTest, WholeIntegerRangeStartsAtTheLowestPage) {
  struct StopRun {};
  form_.Put(names::编辑框2, "-2147483648");
  form_.Put(names::编辑框3, "2147483647");
  int patternReads = 0;
  form_.OnCall([&patternReads](const FormCall& call) {
    if (call.op == FormOp::kReadText && call.control == names::编辑框1 && ++patternReads == 4) throw StopRun{};
  });

  EXPECT_THROW(CollectLinks(form_), StopRun);

  EXPECT_EQ(site_.Fetched(), (std::vector<std::string>{PagePath(INT_MIN), PagePath(INT_MIN + 1LL),
                                                       PagePath(INT_MIN + 2LL)}));
}

struct EditCase {
  const char* name;
  bool reverse;
  ControlName box;  // edited after the first page
  const char* value;
  std::vector<std::string> fetched;
};

const EditCase kEditCases[] = {
    {"FirstPageBeyondIntMax", false, names::编辑框2, "2147483647",
     {"/list/index_1.html", "/other/2147483648.html", "/other/2147483649.html"}},
    {"LastPageBelowIntMinReversed", true, names::编辑框3, "-2147483648",
     {"/list/index_3.html", "/other/-2147483649.html", "/other/-2147483650.html"}},
    {"OtherBoxIgnored", false, names::编辑框3, "100",
     {"/list/index_1.html", "/other/2.html", "/other/3.html"}},
};

class CollectorEditTest : public CollectorTest, public testing::WithParamInterface<EditCase> {};

// The count is fixed at the start; the page boxes and the pattern are read again for every page.
TEST_P(CollectorEditTest, EditsTakeEffectFromTheNextPage) {
  const EditCase& row = GetParam();
  form_.Put(names::编辑框2, "1");
  form_.Put(names::编辑框3, "3");
  form_.PutState(names::选择框2, row.reverse);
  bool edited = false;
  form_.OnCall([&](const FormCall& call) {
    if (!edited && call.op == FormOp::kReadText && call.control == names::编辑框4) {
      edited = true;
      form_.Put(row.box, row.value);
      form_.Put(names::编辑框1, site_.Address("/other/$.html"));
    }
  });

  CollectLinks(form_);

  EXPECT_EQ(site_.Fetched(), row.fetched);
}

INSTANTIATE_TEST_SUITE_P(Edits, CollectorEditTest, testing::ValuesIn(kEditCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Which controls are read, and in what order, for a run of one page in each direction.
TEST_F(CollectorTest, ReadsEachBoxAtItsMoment) {
  site_.AddNumberedListPages(kPattern, 1, 1, 1);
  for (bool reverse : {false, true}) {
    MemoryForm form;
    FillDefaults(form, site_);
    form.PutState(names::选择框2, reverse);

    CollectLinks(form);

    std::vector<std::string> reads;
    for (const FormCall& call : form.Calls()) {
      if (call.op == FormOp::kReadText || call.op == FormOp::kReadState) reads.push_back(call.control);
    }
    const std::vector<std::string> expected = {
        std::string(names::选择框1), std::string(names::编辑框3), std::string(names::编辑框2),
        std::string(names::选择框2), std::string(reverse ? names::编辑框3 : names::编辑框2),
        std::string(names::编辑框1), std::string(names::单选框1), std::string(names::编辑框4),
        std::string(names::编辑框5), std::string(names::编辑框6), std::string(names::编辑框7)};
    EXPECT_EQ(reads, expected) << "reverse " << reverse;
  }
}

TEST_F(CollectorTest, SinglePageModeFetchesThePatternUnchanged) {
  site_.SetListPage(kPattern, {{"/a.html", "甲"}, {"/b.html", "乙"}});
  form_.PutState(names::选择框1, false);
  form_.Put(names::编辑框2, "2");
  form_.Put(names::编辑框3, "9");
  const int before = CollectedTotal.load();

  CollectLinks(form_);

  EXPECT_EQ(site_.Fetched(), std::vector<std::string>{kPattern});
  EXPECT_EQ(LinesOf(form_.TextOf(names::编辑框8)),
            (std::vector<Text>{site_.Address("/a.html"), site_.Address("/b.html")}));
  EXPECT_EQ(form_.StatusHistory(1),
            (std::vector<Text>{Progress("1", before + 1), Progress("1", before + 2), Closing(before + 2)}));
  EXPECT_TRUE(form_.CallsOf(FormOp::kReadText, names::编辑框2).empty());
}

TEST_F(CollectorTest, EveryDollarIsReplaced) {
  site_.AddNumberedListPages("/p_$_$.html", 7, 7, 1);
  form_.Put(names::编辑框1, site_.Address("/p_$_$.html"));
  form_.Put(names::编辑框2, "7");
  form_.Put(names::编辑框3, "7");

  CollectLinks(form_);

  EXPECT_EQ(site_.Fetched(), std::vector<std::string>{"/p_7_7.html"});
  EXPECT_EQ(LinesOf(form_.TextOf(names::编辑框8)).size(), 1u);
}

// Each href on a page and the line it must give, page at /list/2.html.
struct LinkCase {
  const char* href;
  std::string line;  // "@" stands for the site's origin
};

TEST_F(CollectorTest, AddressesAreResolvedAgainstTheirPage) {
  const std::vector<LinkCase> cases = {
      {"/a.html", "@/a.html"},
      {"a.html", "@/list/a.html"},
      {" /spaced.html ", "@/spaced.html"},
      {"../up.html", "@/up.html"},
      {"?page=3", "@/list/2.html?page=3"},
      {"//cdn.example/x.html", "http://cdn.example/x.html"},
      {"https://site.example/a.html", "https://site.example/a.html"},
      {"HTTP://Site.Example/A.html", "HTTP://Site.Example/A.html"},
      {"http://site.example/go?u=http://x/", "http://site.example/go?u=http://x/"},
      {"文章/第一篇.html", "@/list/文章/第一篇.html"},
      {"/a.html", "@/a.html"},  // listed twice, written twice
      // A line break inside an href must not make two lines of one address.
      {"/cr\r\nlf.html", "@/crlf.html"},
      {"\tb\n.html", "@/list/b.html"},
      {"http://site.example/c\r\n.html", "http://site.example/c.html"},
  };
  std::vector<ListLink> links;
  std::vector<Text> expected;
  for (const LinkCase& row : cases) {
    links.push_back({row.href, "标题"});
    expected.push_back(row.line[0] == '@' ? site_.Origin() + row.line.substr(1) : row.line);
  }
  for (PageEncoding encoding : {PageEncoding::kUtf8, PageEncoding::kGbk}) {
    MemoryForm form;
    FillDefaults(form, site_);
    form.PutState(names::单选框1, encoding == PageEncoding::kGbk);
    form.Put(names::编辑框2, "2");
    form.Put(names::编辑框3, "2");
    site_.SetListPage("/list/2.html", links, encoding);
    form.Put(names::编辑框1, site_.Address("/list/$.html"));
    const int before = CollectedTotal.load();

    CollectLinks(form);

    EXPECT_EQ(LinesOf(form.TextOf(names::编辑框8)), expected) << static_cast<int>(encoding);
    EXPECT_EQ(CollectedTotal.load() - before, static_cast<int>(cases.size()));
  }
}

// A pattern that is no absolute address leaves nothing to resolve against: the site root of
// the pattern box goes in front of what lacks "http://", as the box reads at that moment.
TEST_F(CollectorTest, UnresolvablePageFallsBackToTheSiteRoot) {
  site_.SetListPage("/list/2.html", {{"/a.html", "甲"},
                                     {"https://b.example/b.html", "乙"},
                                     {"http://c.example/", "丙"},
                                     {"/cr\r\nlf.html", "丁"}});
  const Text pattern = "127.0.0.1:" + std::to_string(site_.Port()) + "/list/$.html";
  form_.Put(names::编辑框1, pattern);
  form_.Put(names::编辑框2, "2");
  form_.Put(names::编辑框3, "2");

  CollectLinks(form_);

  EXPECT_EQ(LinesOf(form_.TextOf(names::编辑框8)),
            (std::vector<Text>{"http:///a.html", "https://b.example/b.html", "http://c.example/", "http:///crlf.html"}));
  // Read once for the pattern and once for each address that needed the site root.
  EXPECT_EQ(form_.CallsOf(FormOp::kReadText, names::编辑框1).size(), 3u);
}

struct EncodingCase {
  const char* name;
  PageEncoding served;
  bool gbkSelected;
  bool titlesIntact;
};

const EncodingCase kEncodingCases[] = {
    {"Utf8PageAsUtf8", PageEncoding::kUtf8, false, true},
    {"GbkPageAsGbk", PageEncoding::kGbk, true, true},
    {"GbkPageAsUtf8", PageEncoding::kGbk, false, false},
};

class CollectorEncodingTest : public CollectorTest, public testing::WithParamInterface<EncodingCase> {};

// Chinese text cut from a page survives only when the page is read in its own encoding.
TEST_P(CollectorEncodingTest, ChineseSurvivesOnlyInTheRightEncoding) {
  const EncodingCase& row = GetParam();
  site_.SetListPage("/list/1.html", {{"/中文/一.html", "第一篇"}, {"/b.html", "第二篇"}}, row.served);
  form_.Put(names::编辑框1, site_.Address("/list/$.html"));
  form_.PutState(names::单选框1, row.gbkSelected);
  form_.Put(names::编辑框6, "\" title=\"");
  form_.Put(names::编辑框7, "\">");

  CollectLinks(form_);

  const std::vector<Text> titles = LinesOf(form_.TextOf(names::编辑框8));
  ASSERT_EQ(titles.size(), 2u);
  const bool intact = titles[1] == site_.Address("/list/第二篇");
  EXPECT_EQ(intact, row.titlesIntact) << titles[1];
}

INSTANTIATE_TEST_SUITE_P(Encodings, CollectorEncodingTest, testing::ValuesIn(kEncodingCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct MarkerCase {
  const char* name;
  const char* listStart;
  const char* addressStart;
  size_t lines;
};

const MarkerCase kMarkerCases[] = {
    {"AsOnThePage", "<div class=\"cca\">\r", "<li><a href=\"", 2},
    {"AddressMarkerInOtherCase", "<div class=\"cca\">\r", "<LI><A HREF=\"", 2},
    {"ListMarkerInOtherCase", "<DIV CLASS=\"cca\">\r", "<li><a href=\"", 0},
    {"ListMarkerMissing", "<div class=\"nothere\">", "<li><a href=\"", 0},
    {"AddressMarkerMissing", "<div class=\"cca\">\r", "<li><b href=\"", 0},
};

class CollectorMarkerTest : public CollectorTest, public testing::WithParamInterface<MarkerCase> {};

TEST_P(CollectorMarkerTest, ListMarkersKeepCaseAddressMarkersIgnoreIt) {
  const MarkerCase& row = GetParam();
  site_.AddNumberedListPages(kPattern, 1, 1, 2);
  form_.Put(names::编辑框4, row.listStart);
  form_.Put(names::编辑框6, row.addressStart);
  const int before = CollectedTotal.load();

  CollectLinks(form_);

  EXPECT_EQ(LinesOf(form_.TextOf(names::编辑框8)).size(), row.lines);
  EXPECT_EQ(CollectedTotal.load() - before, static_cast<int>(row.lines));
  EXPECT_EQ(form_.StatusHistory(1).size(), row.lines + 1);
}

INSTANTIATE_TEST_SUITE_P(Markers, CollectorMarkerTest, testing::ValuesIn(kMarkerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A missing page, an empty list and an unreachable site give nothing, and the run goes on.
TEST_F(CollectorTest, PagesWithoutAddressesAreSkipped) {
  site_.AddNumberedListPages(kPattern, 1, 1, 1);
  site_.SetListPage(PagePath(2), {});
  site_.AddNumberedListPages(kPattern, 4, 4, 1);  // page 3 is missing: 404
  form_.Put(names::编辑框3, "4");
  const int before = CollectedTotal.load();

  CollectLinks(form_);

  EXPECT_EQ(site_.Fetched(), (std::vector<std::string>{PagePath(1), PagePath(2), PagePath(3), PagePath(4)}));
  EXPECT_EQ(form_.StatusHistory(1),
            (std::vector<Text>{Progress("1", before + 1), Progress("4", before + 2), Closing(before + 2)}));

  int closedPort = 0;
  {
    const ListSite gone;
    closedPort = gone.Port();
  }
  MemoryForm unreachable;
  FillDefaults(unreachable, site_);
  unreachable.Put(names::编辑框1, "http://127.0.0.1:" + std::to_string(closedPort) + "/list/$.html");
  unreachable.Put(names::编辑框3, "2");
  CollectLinks(unreachable);
  EXPECT_EQ(unreachable.TextOf(names::编辑框8), "");
  EXPECT_EQ(unreachable.StatusHistory(1), std::vector<Text>{Closing(CollectedTotal.load())});
}

// The counter goes on from one run to the next; nothing resets it.
TEST_F(CollectorTest, SecondRunCountsOn) {
  site_.AddNumberedListPages(kPattern, 1, 3, 10);
  form_.Put(names::编辑框3, "3");
  const int before = CollectedTotal.load();

  CollectLinks(form_);
  CollectLinks(form_);

  EXPECT_EQ(LinesOf(form_.TextOf(names::编辑框8)).size(), 60u);
  EXPECT_EQ(form_.StatusText(1), Closing(before + 60));
}

// A list page that never ends, in size or in time, is a page that could not be fetched: the run
// goes on, and what it collected stays.
TEST(CollectorServerTest, APageThatNeverEndsFailsAndTheRunGoesOn) {
  const std::string page = ListSite::ListPageText({{"/a.html", "甲"}}, PageEncoding::kGbk);
  testsupport::RawServer server([&page](testsupport::RawConnection& connection) {
    const std::string head = connection.ReadHead();
    if (head.starts_with("GET /list/2.html ")) {  // endless
      connection.Send("HTTP/1.1 200 OK\r\n\r\n<div class=\"cca\">\r\n");
      const std::string piece(64 * 1024, 'x');
      while (!connection.Stopping() && connection.Send(piece)) {
      }
    } else if (head.starts_with("GET /list/3.html ")) {  // trickling
      connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
      while (!connection.Stopping() && connection.Send("x")) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } else {
      connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page);
    }
  });
  MemoryForm form;
  form.PutState(names::选择框1, true);
  form.PutState(names::单选框1, true);
  form.Put(names::编辑框1, server.Url("/list/$.html"));
  form.Put(names::编辑框2, "1");
  form.Put(names::编辑框3, "4");
  form.Put(names::编辑框4, "<div class=\"cca\">\r");
  form.Put(names::编辑框5, "</ul>");
  form.Put(names::编辑框6, "<li><a href=\"");
  form.Put(names::编辑框7, "\"");
  SetLongestDeadlineForTesting(1500);

  CollectLinks(form);

  SetLongestDeadlineForTesting(0);
  const Text line = server.Url("/a.html");
  EXPECT_EQ(LinesOf(form.TextOf(names::编辑框8)), (std::vector<Text>{line, line}));
  EXPECT_EQ(server.ConnectionCount(), 4);
  EXPECT_EQ(form.StatusText(1), Closing(CollectedTotal.load()));
}

// Two collections on one window and both submit buttons on another, all side by side: every
// line whole, every address counted once.
TEST(LinksConcurrentTest, OverlappingRunsKeepExactTotals) {
  ListSite site;
  constexpr int kPages = 5;
  constexpr int kPerPage = 20;
  const std::vector<Text> collected = site.AddNumberedListPages(kPattern, 1, kPages, kPerPage,
                                                                PageEncoding::kUtf8, LinkForm::kMixed);
  MemoryForm collecting;
  FillDefaults(collecting, site);
  collecting.Put(names::编辑框3, std::to_string(kPages));

  constexpr int kSubmitted = 40;
  Text first;
  Text second;
  for (int i = 1; i <= kSubmitted; ++i) {
    first += "http://www.example.com/a/" + std::to_string(i) + ".html\r\n";
    second += "http://www.example.com/b/" + std::to_string(i) + ".html\r\n";
  }
  second += "http://www.example.com/rejected.html\r\n";
  site.SetAnswerFor("http://www.example.com/rejected.html", testsupport::answers::kNoneAccepted);
  MemoryForm submitting;
  submitting.Put(names::编辑框9, site.InterfaceAddress());
  submitting.Put(names::编辑框8, first);
  submitting.Put(names::编辑框11, second);

  const int collectedBefore = CollectedTotal.load();
  const int submittedBefore = SubmittedTotal.load();
  {
    std::vector<std::jthread> runs;
    runs.emplace_back([&collecting] { CollectLinks(collecting); });
    runs.emplace_back([&collecting] { CollectLinks(collecting); });
    runs.emplace_back([&submitting] { SubmitLinks(submitting, names::编辑框8, names::编辑框10); });
    runs.emplace_back([&submitting] { SubmitLinks(submitting, names::编辑框11, names::编辑框12); });
  }

  const int collectedCount = 2 * kPages * kPerPage;
  EXPECT_EQ(CollectedTotal.load() - collectedBefore, collectedCount);
  EXPECT_EQ(SubmittedTotal.load() - submittedBefore, 2 * kSubmitted);

  std::vector<Text> lines = LinesOf(collecting.TextOf(names::编辑框8));
  ASSERT_EQ(lines.size(), static_cast<size_t>(collectedCount));
  std::sort(lines.begin(), lines.end());
  std::vector<Text> expected = collected;
  expected.insert(expected.end(), collected.begin(), collected.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);

  EXPECT_EQ(submitting.TextOf(names::编辑框10), "");
  EXPECT_EQ(submitting.TextOf(names::编辑框12), "推送失败http://www.example.com/rejected.html\r\n");
  EXPECT_EQ(site.Submissions().size(), static_cast<size_t>(2 * kSubmitted + 1));

  // Whichever closing or success text read its counter last saw every raise of both runs.
  const std::string closing = "全部采集完成！共采集";
  int highestClosing = 0;
  for (const Text& text : collecting.StatusHistory(1)) {
    if (text.rfind(closing, 0) == 0) highestClosing = std::max(highestClosing, ToInteger(text.substr(closing.size())));
  }
  const std::string success = " 软件已为您成功推送";
  int highestSubmitted = 0;
  for (const Text& text : submitting.StatusHistory(1)) {
    const auto at = text.rfind(success);
    ASSERT_NE(at, std::string::npos) << text;
    highestSubmitted = std::max(highestSubmitted, ToInteger(text.substr(at + success.size())));
  }
  EXPECT_EQ(highestClosing, collectedBefore + collectedCount);
  EXPECT_EQ(highestSubmitted, submittedBefore + 2 * kSubmitted);
}

}  // namespace
}  // namespace kestrin
