#include "links/submitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/list_site.h"
#include "tests/support/raw_server.h"
#include "tests/support/memory_form.h"
#include "web/transport.h"

namespace kestrin {
namespace {

using testsupport::FormCall;
using testsupport::FormOp;
using testsupport::InterfaceAnswer;
using testsupport::ListSite;
using testsupport::MemoryForm;
namespace answers = testsupport::answers;

Text Status(const Text& remaining, const Text& response, int total) {
  return "今日推送还剩：" + remaining + "推送完毕，百度返回文本为：" + response + " 软件已为您成功推送" +
         std::to_string(total) + "条数据";
}

int ClosedPort() {
  const ListSite gone;
  return gone.Port();
}

class SubmitterTest : public testing::Test {
 protected:
  void SetUp() override {
    form_.Put(names::编辑框9, site_.InterfaceAddress());
    form_.Put(names::编辑框10, "earlier\r\n");
  }

  ListSite site_;
  MemoryForm form_;
};

// One answer of the interface and what it must make of a one-line list.
struct AnswerCase {
  const char* name;
  InterfaceAnswer answer;
  bool accepted;
  const char* remaining;
};

const AnswerCase kAnswerCases[] = {
    {"Accepted", answers::kAccepted, true, "4999"},
    {"AcceptedQuotaLast", {200, R"({"success":1,"remain":4999})"}, true, "4999"},
    {"AcceptedSeveralQuotaLast", {200, R"({"success":3, "remain" : 12})"}, true, "12"},
    {"NoneAccepted", answers::kNoneAccepted, false, ""},
    {"NoneAcceptedQuotaLast", {200, R"({"success":0,"remain":4999})"}, false, ""},
    {"BadToken", answers::kBadToken, false, ""},
    {"OverQuota", answers::kOverQuota, false, ""},
    {"EmptyAnswer", {200, ""}, false, ""},
    {"WordOutsideJson", {200, "<html>success remain\":77,</html>"}, true, "77"},
    {"WordOutsideJsonNoComma", {200, "<html>success remain\":77</html>"}, true, ""},
    {"CountAsStringIsNoSuccess", {200, R"({"success":"yes","remain":5})"}, false, ""},
    {"ZeroAsStringIsNoSuccess", {200, R"({"remain":4999,"success":"0"})"}, false, ""},
    {"CutOffAfterZero", {200, R"({"remain":4999,"success":0)"}, false, ""},
    {"ZeroBesideAnOverflowingNumber", {200, R"({"remain":1e999,"success":0})"}, false, ""},
    {"UnsuccessfulPage", {200, "<html><h1>Request unsuccessful</h1></html>"}, false, ""},
    {"ServerErrorWithTheWord", {500, "success: internal error"}, false, ""},
    {"ServerErrorWithACount", {500, R"({"remain":4999,"success":1})"}, false, ""},
    {"DailyCountAccepts", {200, R"({"remain_daily":9,"success_daily":1})"}, true, ""},
    {"ArrayIsPlainText", {200, R"(["success"])"}, true, ""},
    {"UpperCaseWordIsNoSuccess", {200, R"({"SUCCESS":1,"remain":5})"}, false, ""},
    {"GbkMessageQuotaLast", {200, "{\"success\":1,\"message\":\"成功\",\"remain\":4998}"}, true, "4998"},
    // The second byte of this GBK character is a backslash, which must not escape the quote.
    {"GbkTrailBackslashNoneAccepted", {200, "{\"remain\":4998,\"success\":0,\"message\":\"\x81\x5C\"}"}, false, ""},
    {"Utf8MessageNoneAccepted", {200, "{\"remain\":4998,\"success\":0,\"message\":\"\xE5\xA4\xB1\xE8\xB4\xA5\"}"}, false, ""},
};

class SubmitterAnswerTest : public SubmitterTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(SubmitterAnswerTest, ReadsTheCountAndTheQuota) {
  const AnswerCase& row = GetParam();
  site_.SetDefaultAnswer(row.answer);
  form_.Put(names::编辑框8, "http://www.example.com/a.html\r\n");
  const int before = SubmittedTotal.load();

  SubmitLinks(form_, names::编辑框8, names::编辑框10);

  if (row.accepted) {
    EXPECT_EQ(SubmittedTotal.load(), before + 1);
    EXPECT_EQ(form_.StatusHistory(1), std::vector<Text>{Status(row.remaining, row.answer.body, before + 1)});
    EXPECT_EQ(form_.TextOf(names::编辑框10), "earlier\r\n");
  } else {
    EXPECT_EQ(SubmittedTotal.load(), before);
    EXPECT_TRUE(form_.StatusHistory(1).empty());
    EXPECT_EQ(form_.TextOf(names::编辑框10), "earlier\r\n推送失败http://www.example.com/a.html\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, SubmitterAnswerTest, testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ListCase {
  const char* name;
  const char* list;
  std::vector<std::string> bodies;  // one request per line, in order
};

const ListCase kListCases[] = {
    {"Empty", "", {}},
    {"ThreeWithTrailingBreak", "http://s/1.html\r\nhttp://s/2.html\r\nhttp://s/3.html\r\n",
     {"http://s/1.html", "http://s/2.html", "http://s/3.html"}},
    {"ThreeWithoutTrailingBreak", "http://s/1.html\r\nhttp://s/2.html\r\nhttp://s/3.html",
     {"http://s/1.html", "http://s/2.html", "http://s/3.html"}},
    {"EmptyMiddleLine", "http://s/1.html\r\n\r\nhttp://s/3.html\r\n", {"http://s/1.html", "", "http://s/3.html"}},
    {"TrailingSpacesSent", "http://s/1.html  \r\n http://s/2.html\r\n", {"http://s/1.html  ", " http://s/2.html"}},
    {"BareLineFeedSeparatesNothing", "http://s/1.html\nhttp://s/2.html\r\n", {"http://s/1.html\nhttp://s/2.html"}},
    {"DuplicatesSentTwice", "http://s/1.html\r\nhttp://s/1.html", {"http://s/1.html", "http://s/1.html"}},
    {"GbkBytesSentAsTheyAre", "http://s/中文.html\r\n", {"http://s/中文.html"}},
};

class SubmitterListTest : public SubmitterTest, public testing::WithParamInterface<ListCase> {};

TEST_P(SubmitterListTest, PostsEveryLineAsItIs) {
  const ListCase& row = GetParam();
  form_.Put(names::编辑框11, row.list);
  const int before = SubmittedTotal.load();

  SubmitLinks(form_, names::编辑框11, names::编辑框12);

  std::vector<std::string> bodies;
  for (const auto& submission : site_.Submissions()) {
    EXPECT_EQ(submission.target, "/urls?site=www.example.com&token=abcdefghijklmnop");
    bodies.push_back(submission.body);
  }
  EXPECT_EQ(bodies, row.bodies);
  EXPECT_EQ(SubmittedTotal.load() - before, static_cast<int>(row.bodies.size()));
  EXPECT_EQ(form_.StatusHistory(1).size(), row.bodies.size());
  EXPECT_EQ(form_.TextOf(names::编辑框12), "");
}

INSTANTIATE_TEST_SUITE_P(Lists, SubmitterListTest, testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Failures go to the run's own failure box, a line each, in list order; an empty line's failure
// line is the bare word.
TEST_F(SubmitterTest, FailuresAreListedInOrder) {
  site_.SetAnswerFor("", answers::kBadToken);
  site_.SetAnswerFor("http://s/2.html", answers::kNoneAccepted);
  form_.Put(names::编辑框11, "http://s/1.html\r\n\r\nhttp://s/2.html\r\nhttp://s/3.html\r\n");
  const int before = SubmittedTotal.load();

  SubmitLinks(form_, names::编辑框11, names::编辑框12);

  EXPECT_EQ(form_.TextOf(names::编辑框12), "推送失败\r\n推送失败http://s/2.html\r\n");
  EXPECT_EQ(form_.TextOf(names::编辑框10), "earlier\r\n");
  EXPECT_EQ(form_.StatusHistory(1), (std::vector<Text>{Status("4999", answers::kAccepted.body, before + 1),
                                                        Status("4999", answers::kAccepted.body, before + 2)}));
}

// An interface that never finishes its answer, or answers without end, costs each line a failure
// and nothing more: the run goes on to the next line.
TEST_F(SubmitterTest, AnInterfaceThatNeverFinishesFailsEachLine) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{\"remain\":4999,\"success\":1";
  struct Row {
    const char* name;
    testsupport::RawServer::Script script;
  };
  const Row rows[] = {
      {"trickling", testsupport::scripts::Trickle(head, 50)},
      {"silent", testsupport::scripts::Silent()},
      {"endless", testsupport::scripts::Endless("HTTP/1.1 200 OK\r\n\r\n{\"success\":1,\"pad\":\"")},
  };
  SetLongestDeadlineForTesting(400);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::RawServer server(row.script);
    MemoryForm form;
    form.Put(names::编辑框9, server.Url("/urls?site=a&token=b"));
    form.Put(names::编辑框8, "http://s/1.html\r\nhttp://s/2.html");
    const int before = SubmittedTotal.load();

    SubmitLinks(form, names::编辑框8, names::编辑框10);

    EXPECT_EQ(form.TextOf(names::编辑框10), "推送失败http://s/1.html\r\n推送失败http://s/2.html\r\n");
    EXPECT_EQ(SubmittedTotal.load(), before);
    EXPECT_EQ(server.ConnectionCount(), 2);
  }
  SetLongestDeadlineForTesting(0);
}

TEST_F(SubmitterTest, UnusableInterfaceFailsEveryLine) {
  const std::vector<Text> addresses = {"", "not an address", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/urls",
                                       // a pasted line break must not become a header line of the request
                                       "x\r\nInjected: 1\r\n" + site_.InterfaceAddress()};
  for (const Text& address : addresses) {
    MemoryForm form;
    form.Put(names::编辑框9, address);
    form.Put(names::编辑框8, "http://s/1.html\r\nhttp://s/2.html");
    const int before = SubmittedTotal.load();

    SubmitLinks(form, names::编辑框8, names::编辑框10);

    EXPECT_EQ(form.TextOf(names::编辑框10), "推送失败http://s/1.html\r\n推送失败http://s/2.html\r\n") << address;
    EXPECT_EQ(SubmittedTotal.load(), before);
    EXPECT_TRUE(form.StatusHistory(1).empty());
  }
  EXPECT_TRUE(site_.Submissions().empty());
}

// The list is read once at the start; the interface box before every request.
TEST_F(SubmitterTest, InterfaceBoxIsReadBeforeEveryRequest) {
  form_.Put(names::编辑框11, "http://s/1.html\r\nhttp://s/2.html\r\nhttp://s/3.html");
  int interfaceReads = 0;
  form_.OnCall([&](const FormCall& call) {
    if (call.op == FormOp::kReadText && call.control == names::编辑框9 && ++interfaceReads == 1) {
      form_.Put(names::编辑框9, site_.InterfaceAddress("www.example.com", "changedchangedch"));
      form_.Put(names::编辑框11, "");
    }
  });

  SubmitLinks(form_, names::编辑框11, names::编辑框12);

  std::vector<std::string> targets;
  for (const auto& submission : site_.Submissions()) targets.push_back(submission.target);
  EXPECT_EQ(targets, (std::vector<std::string>{"/urls?site=www.example.com&token=abcdefghijklmnop",
                                               "/urls?site=www.example.com&token=changedchangedch",
                                               "/urls?site=www.example.com&token=changedchangedch"}));
  EXPECT_EQ(form_.CallsOf(FormOp::kReadText, names::编辑框11).size(), 1u);
  EXPECT_EQ(interfaceReads, 3);
}

// Both buttons raise one counter: five from one page and three from the other end on eight more.
TEST_F(SubmitterTest, BothButtonsShareTheCounter) {
  form_.Put(names::编辑框8, "1\r\n2\r\n3\r\n4\r\n5\r\n");
  form_.Put(names::编辑框11, "6\r\n7\r\n8\r\n");
  const int before = SubmittedTotal.load();

  SubmitLinks(form_, names::编辑框8, names::编辑框10);
  SubmitLinks(form_, names::编辑框11, names::编辑框12);

  EXPECT_EQ(form_.StatusText(1), Status("4999", answers::kAccepted.body, before + 8));
}

}  // namespace
}  // namespace kestrin
