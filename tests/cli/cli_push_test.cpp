// The real kestrin-cli pushing to the local mocks, run as cron runs it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"
#include "tests/support/raw_server.h"

namespace kestrin {
namespace {

using testsupport::CliCall;
using testsupport::CliProcess;
using testsupport::CliRun;
using testsupport::MockBaidu;
using testsupport::MockIndexNow;
using testsupport::RunCli;
using testsupport::TempFolder;

constexpr const char* kToken = "tokenABCDEFGH12345";
const std::map<std::string, std::string> kFastRetries = {{"KESTRIN_CLI_BACKOFF_MS", "10"}};

std::vector<std::string> Addresses(const std::string& origin, int from, int count) {
  std::vector<std::string> out;
  for (int i = from; i < from + count; ++i) out.push_back(origin + "/article/" + std::to_string(i) + ".html");
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The JSON lines of a run: the state of every address, and the closing summary.
struct JsonOutput {
  std::map<std::string, std::string> states;  // "engine url" -> state
  std::map<std::string, std::string> reasons;
  nlohmann::json summary;
};

JsonOutput ParseJson(const std::string& out) {
  JsonOutput parsed;
  std::size_t start = 0;
  while (start < out.size()) {
    const auto end = out.find('\n', start);
    const auto line = nlohmann::json::parse(out.substr(start, end - start));
    if (line.contains("summary")) {
      parsed.summary = line["summary"];
    } else {
      const std::string key = line["engine"].get<std::string>() + " " + line["url"].get<std::string>();
      EXPECT_EQ(parsed.states.count(key), 0u) << "two states for " << key;
      parsed.states[key] = line["state"];
      parsed.reasons[key] = line["reason"];
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parsed;
}

class CliPushTest : public testing::Test {
 protected:
  // The site as the mock interface knows it: the host the addresses are on.
  std::string Site() const { return "http://127.0.0.1"; }
  std::string Origin() const { return "http://127.0.0.1"; }

  CliCall Push(std::vector<std::string> extra, const std::string& input = "") const {
    std::vector<std::string> args{"push",      "--site",    Site(), "--token", kToken, "--interface",
                                  baidu_.Interface(), "--history", history_, "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return CliCall{.args = args, .env = kFastRetries, .input = input};
  }

  // Moves everything the history holds `days` days, as if that much time had passed the other way.
  void ShiftDays(int days, const std::string& history = "") const {
    const std::string ms = std::to_string(days * 86400000LL);
    Execute("UPDATE quota SET day = day + " + std::to_string(days) + "; UPDATE address SET time = time + " + ms +
            ", first = first + " + ms + " * (first != 0)", history);
  }

  void Execute(const std::string& sql, const std::string& history = "") const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((history.empty() ? history_ : history).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  TempFolder folder_;
  std::string history_ = folder_.Path() + "/history.sqlite";
  MockBaidu baidu_{Site(), kToken, 100000, 10};
};

TEST_F(CliPushTest, BatchesOfAtMost2000AndNothingTwice) {
  const auto addresses = Addresses(Origin(), 1, 4500);
  const std::string list = folder_.Write("list.txt", Joined(addresses));

  const CliRun first = RunCli(Push({list}));
  EXPECT_EQ(first.exitCode, 0) << first.err;
  const auto batches = baidu_.Batches();
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].size(), 2000u);
  EXPECT_EQ(batches[1].size(), 2000u);
  EXPECT_EQ(batches[2].size(), 500u);
  EXPECT_EQ(batches[0].front(), addresses.front());
  EXPECT_EQ(batches[2].back(), addresses.back());
  JsonOutput json = ParseJson(first.out);
  EXPECT_EQ(json.states.size(), 4500u);
  json.summary.erase("quota");
  json.summary.erase("waiting");
  EXPECT_EQ(json.summary, nlohmann::json({{"sent", 4500}, {"accepted", 4500}, {"refused", 0}, {"skipped", 0},
                                          {"invalid", 0}, {"queued", 0}, {"failed", 0}}));
  EXPECT_EQ(first.err.find('\r'), std::string::npos) << "no progress line without a terminal";
  for (const std::string& type : baidu_.ContentTypes()) EXPECT_EQ(type, "text/plain");

  // Already accepted: nothing new, nothing sent.
  const CliRun second = RunCli(Push({list}));
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(baidu_.RequestCount(), 3);

  // --force sends them again.
  const std::string three = folder_.Write("three.txt", Joined(Addresses(Origin(), 1, 3)));
  const CliRun forced = RunCli(Push({"--force", three}));
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_EQ(baidu_.RequestCount(), 4);
}

TEST_F(CliPushTest, EveryAddressEndsInOneStateWithAReason) {
  const std::vector<std::string> addresses{Origin() + "/a.html", Origin() + "/invalid/b.html",
                                           "http://other.example/c.html", Origin() + "/d.html"};
  const CliRun run = RunCli(Push({"-"}, Joined(addresses)));
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const JsonOutput json = ParseJson(run.out);
  EXPECT_EQ(json.states.at("baidu " + addresses[0]), "accepted");
  EXPECT_EQ(json.states.at("baidu " + addresses[1]), "not_valid");
  EXPECT_EQ(json.states.at("baidu " + addresses[2]), "not_same_site");
  EXPECT_EQ(json.states.at("baidu " + addresses[3]), "accepted");
  EXPECT_EQ(json.summary["refused"], 2);
  EXPECT_EQ(json.summary["accepted"], 2);
  EXPECT_NE(run.err.find("not_valid"), std::string::npos) << run.err;
}

TEST_F(CliPushTest, QuotaStopsTheRunQueuesTheRestAndTheQueueGoesFirstNextDay) {
  baidu_.SetRemain(5);
  const auto addresses = Addresses(Origin(), 1, 8);
  const CliRun first = RunCli(Push({"-"}, Joined(addresses)));
  EXPECT_EQ(first.exitCode, 3) << first.err;
  JsonOutput json = ParseJson(first.out);
  EXPECT_EQ(json.summary["accepted"], 5);
  EXPECT_EQ(json.summary["queued"], 3);
  EXPECT_EQ(baidu_.Remain(), 0);
  // Never more than the known remain: once the answer told 4 were left, no request held more.
  const auto batches = baidu_.Batches();
  for (std::size_t i = 2; i < batches.size(); ++i) EXPECT_LE(batches[i].size(), 4u);

  // Later the same day the history knows the quota is spent: nothing goes out.
  baidu_.SetRemain(100);
  const int before = baidu_.RequestCount();
  const CliRun sameDay = RunCli(Push({"-"}, Joined(Addresses(Origin(), 100, 2))));
  EXPECT_EQ(sameDay.exitCode, 3) << sameDay.err;
  EXPECT_EQ(baidu_.RequestCount(), before);

  // After midnight in Beijing the new addresses go first, then the queue, though the sources no
  // longer list it, in the order met.
  ShiftDays(-1);
  const CliRun nextDay = RunCli(Push({"-"}, Joined(Addresses(Origin(), 200, 2))));
  EXPECT_EQ(nextDay.exitCode, 0) << nextDay.err;
  const auto last = baidu_.Batches().back();
  ASSERT_EQ(last.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(last.begin() + 2, last.begin() + 5),
            std::vector<std::string>(addresses.begin() + 5, addresses.end()));
  json = ParseJson(nextDay.out);
  EXPECT_EQ(json.summary["accepted"], 7);
}

// The order a day's quota is spent in. Each row has a history of its own: day 1 pushes its sources
// (files; if any) with the quota given, the history is moved a day back, and day 2 pushes its own.
// Addresses are named by their path.
TEST_F(CliPushTest, TodaysPagesGoFirstAndTheBacklogFillsTheRest) {
  const std::string o = Origin();
  const auto list = [&](const std::string& prefix, int from, int count) {
    std::string out;
    for (int i = from; i < from + count; ++i) out += o + "/" + prefix + std::to_string(i) + "\n";
    return out;
  };
  const auto sitemap = [&](std::vector<std::pair<std::string, std::string>> entries) {
    std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const auto& [name, day] : entries) xml += "<url><loc>" + o + "/" + name + "</loc><lastmod>" + day + "</lastmod></url>";
    return xml + "</urlset>";
  };
  std::vector<std::string> many;  // 200,000 pages in files of 50,000, all of one day
  for (int file = 0; file < 4; ++file) {
    std::vector<std::pair<std::string, std::string>> pages;
    for (int i = 0; i < 50000; ++i) pages.push_back({"p" + std::to_string(file * 50000 + i), "2024-01-01"});
    many.push_back(sitemap(pages));
  }
  std::vector<std::string> manyAndNew = many;
  manyAndNew.push_back(sitemap({{"today", "2024-01-02"}}));
  const std::vector<std::string> newFirst = {"new1", "new2", "new3", "new4", "new5", "old11", "old12", "old13", "old14", "old15"};
  const struct {
    const char* name;
    std::vector<std::string> day1, day2;  // sources, each a file
    std::int64_t quota1, quota2;
    std::vector<std::string> sent;       // accepted on day 2, in order (--dry-run: would be sent)
    std::int64_t knownRemain = -1;       // the remain the history knows for day 2; -1: none
    std::vector<std::string> wait = {};  // --dry-run: the addresses that would wait
  } cases[] = {
      {"new lines after the old: all five new go on day 2",
       {list("old", 1, 50)}, {list("old", 1, 50) + list("new", 1, 5)}, 10, 10, newFirst},
      {"new lines before the old", {list("old", 1, 50)}, {list("new", 1, 5) + list("old", 1, 50)}, 10, 10, newFirst},
      {"the backlog fills what the new leave, though no longer listed",
       {list("old", 1, 8)}, {list("new", 1, 2)}, 5, 3, {"new1", "new2", "old6"}},
      {"dated before undated", {}, {list("undated", 1, 1), sitemap({{"dated", "2020-01-01"}})}, 0, 100,
       {"dated", "undated1"}},
      {"newer before older, by pubDate, updated and published", {},
       {"<rss><channel><item><link>" + o + "/jan</link><pubDate>Mon, 01 Jan 2024 08:00:00 GMT</pubDate></item><item>"
        "<link>" + o + "/jun</link><pubDate>Sat, 01 Jun 2024 08:00:00 GMT</pubDate></item></channel></rss>",
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><link href=\"" + o + "/mar\"/><updated>2024-03-01T00:00:00Z"
        "</updated></entry><entry><link href=\"" + o + "/sep\"/><published>2024-09-01T00:00:00Z</published></entry></feed>"},
       0, 100, {"sep", "jun", "mar", "jan"}},
      {"a sitemap whose lastmod dates run in reverse", {},
       {sitemap({{"a", "2024-01-01"}, {"b", "2024-02-01"}, {"c", "2024-03-01"}})}, 0, 100, {"c", "b", "a"}},
      {"200,000 pages on a small quota: the page of day 2 goes on day 2", many, manyAndNew, 10, 10,
       {"today", "p10", "p11", "p12", "p13", "p14", "p15", "p16", "p17", "p18"}},
      {"--dry-run sends and writes nothing", {list("old", 1, 8)}, {"--dry-run", list("new", 1, 2)}, 5, 0,
       {"new1", "new2"}, 2, {"old6", "old7", "old8"}},
  };
  int run = 0;
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const std::string history = folder_.Path() + "/order-" + std::to_string(++run) + ".sqlite";
    const auto push = [&](const std::vector<std::string>& sources, std::int64_t quota) {
      baidu_.SetRemain(quota);
      CliCall call = Push({});
      std::replace(call.args.begin(), call.args.end(), history_, history);
      for (const std::string& text : sources) {
        call.args.push_back(text.starts_with("--") ? text : folder_.Write(std::to_string(call.args.size()), text));
      }
      return RunCli(call);
    };
    if (!row.day1.empty()) {
      push(row.day1, row.quota1);
      ShiftDays(-1, history);
    }
    if (row.knownRemain >= 0) Execute("UPDATE quota SET day = day + 1, remain = " + std::to_string(row.knownRemain), history);
    const auto bytes = [&] { std::ostringstream text; text << std::ifstream(history, std::ios::binary).rdbuf(); return text.str(); };
    const std::string before = bytes();
    const int requests = baidu_.RequestCount();
    const CliRun day2 = push(row.day2, row.quota2);
    std::map<std::string, std::vector<std::string>> urls;  // state -> addresses, in the order told
    std::istringstream lines(day2.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(R"("state":"queued")") != std::string::npos || line.starts_with(R"({"summary")")) continue;
      const auto object = nlohmann::json::parse(line);
      urls[object["state"]].push_back(object["url"].get<std::string>().substr(Origin().size() + 1));
    }
    EXPECT_EQ(urls[row.wait.empty() ? "accepted" : "would-send"], row.sent) << day2.err;
    EXPECT_EQ(urls["would-wait"], row.wait);
    EXPECT_TRUE(row.wait.empty() || (baidu_.RequestCount() == requests && bytes() == before)) << "a dry run's doing";
  }
}

TEST_F(CliPushTest, DailyQuotaUsesItsOwnCountAndType) {
  const CliRun run = RunCli(Push({"--daily", "-"}, Joined(Addresses(Origin(), 1, 3))));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(baidu_.Targets().size(), 1u);
  EXPECT_NE(baidu_.Targets()[0].find("&type=daily"), std::string::npos);
  EXPECT_EQ(ParseJson(run.out).summary["accepted"], 3);
}

struct FailureCase {
  const char* name;
  std::vector<int> statuses;  // answered before the mock's usual ones
  std::string token;
  int exitCode;
  int requests;
  const char* state;
};

TEST_F(CliPushTest, RetriesAndFailuresEndInTheirExitCodes) {
  const FailureCase cases[] = {
      {"two 500s, then accepted", {500, 500}, kToken, 0, 3, "accepted"},
      {"a 429, then accepted", {429}, kToken, 0, 2, "accepted"},
      {"500 four times: failed after four attempts", {500, 500, 500, 500}, kToken, 1, 4, "failed"},
      {"a wrong token is not retried", {}, "wrongtoken123456", 4, 1, "failed"},
  };
  int counted = 0;
  int run = 0;
  for (const FailureCase& row : cases) {
    SCOPED_TRACE(row.name);
    baidu_.QueueStatuses(row.statuses);
    const std::string address = Origin() + "/retry/" + std::to_string(++run) + ".html";
    CliCall call = Push({"-"}, address + "\n");
    std::replace(call.args.begin(), call.args.end(), std::string(kToken), row.token);
    const CliRun result = RunCli(call);
    EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
    EXPECT_EQ(baidu_.RequestCount() - counted, row.requests);
    counted = baidu_.RequestCount();
    EXPECT_EQ(ParseJson(result.out).states["baidu " + address], row.state);
    EXPECT_EQ(result.err.find(row.token), std::string::npos) << "the token is printed whole";
    baidu_.QueueStatuses({});
  }
}

TEST_F(CliPushTest, BrokenAndRefusedConnectionsAreRetriedThenFailed) {
  // Hangs up twice without an answer, then answers.
  testsupport::RawServer flaky([](testsupport::RawConnection& connection) {
    static std::atomic<int> connections{0};
    connection.ReadHead();
    if (++connections <= 2) return;
    const std::string json = R"({"remain":99,"success":1})";
    connection.Send("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                    std::to_string(json.size()) + "\r\n\r\n" + json);
  });
  CliCall call = Push({"-"}, Origin() + "/flaky.html\n");
  std::replace(call.args.begin(), call.args.end(), baidu_.Interface(), flaky.Url("/urls"));
  const CliRun recovered = RunCli(call);
  EXPECT_EQ(recovered.exitCode, 0) << recovered.err;
  EXPECT_EQ(flaky.ConnectionCount(), 3);
  EXPECT_EQ(ParseJson(recovered.out).states["baidu " + Origin() + "/flaky.html"], "accepted");

  const testsupport::RefusedPort noListener;
  call = Push({"-"}, Origin() + "/nobody.html\n");
  std::replace(call.args.begin(), call.args.end(), baidu_.Interface(),
               "http://127.0.0.1:" + std::to_string(noListener.Port()) + "/urls");
  const CliRun refused = RunCli(call);
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  const JsonOutput json = ParseJson(refused.out);
  EXPECT_EQ(json.states.at("baidu " + Origin() + "/nobody.html"), "failed");
  EXPECT_NE(json.reasons.at("baidu " + Origin() + "/nobody.html").find("127.0.0.1: connection refused"),
            std::string::npos);
  // The quota the failed request claimed is given back: the day's remain is the last answer's.
  const CliRun plan = RunCli(Push({"--dry-run", "-"}, Origin() + "/nobody.html\n"));
  EXPECT_EQ(ParseJson(plan.out).summary["quota"][0]["remain"], 99) << plan.out;
}

TEST_F(CliPushTest, ProgressLineOnlyOnATerminal) {
  if (testsupport::kWindows) GTEST_SKIP() << "no terminal to hand a run under Wine: a console's output cannot be read back";
  CliCall call = Push({"-"}, Joined(Addresses(Origin(), 1, 3)));
  call.terminal = true;
  const CliRun run = RunCli(call);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("baidu " + Site() + ": 3/3"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\x1b[K"), std::string::npos) << "the line is rewritten in place";
  EXPECT_NE(run.err.find("accepted 3"), std::string::npos) << "the summary follows";
}

TEST_F(CliPushTest, ClearedEntriesAreSentAgain) {
  const auto addresses = Addresses(Origin(), 1, 3);
  const std::string list = folder_.Write("list.txt", Joined(addresses) + Origin() + "/invalid/x.html\n");
  EXPECT_EQ(RunCli(Push({list})).exitCode, 1);
  EXPECT_EQ(baidu_.RequestCount(), 1);
  EXPECT_EQ(RunCli(Push({list})).exitCode, 1) << "only the refused one goes again";
  ASSERT_EQ(baidu_.Batches().back().size(), 1u);

  const auto history = [&](std::vector<std::string> extra) {
    std::vector<std::string> args{"history", "--history", history_};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli({.args = args, .env = {{"LANG", "C.UTF-8"}}});
  };
  // Another engine's or site's entries are not this one's.
  EXPECT_NE(history({"--clear", "--engine", "indexnow"}).err.find("0 entries cleared"), std::string::npos);
  EXPECT_NE(history({"--clear", "--site", "http://other.example"}).err.find("0 entries cleared"), std::string::npos);
  const CliRun cleared = history({"--clear", "--engine", "baidu", "--site", Site()});
  EXPECT_EQ(cleared.exitCode, 0) << cleared.err;
  EXPECT_NE(cleared.err.find("4 entries cleared"), std::string::npos) << cleared.err;
  EXPECT_EQ(history({}).out, "");

  EXPECT_EQ(RunCli(Push({list})).exitCode, 1);
  EXPECT_EQ(baidu_.Batches().back().size(), 4u) << "every address goes again";
}

TEST_F(CliPushTest, AKilledRunLosesNothingItRecordedAndFreesWhatItHeld) {
  baidu_.SetDelayMs(300);
  const auto addresses = Addresses(Origin(), 1, 5000);
  const std::string list = folder_.Write("list.txt", Joined(addresses));
  {
    CliProcess killed(Push({list}));
    // Killed while the answer to its second request is held back: the first batch is recorded,
    // the second only claimed.
    for (int waited = 0; baidu_.RequestCount() < 2 && waited < 60000; waited += 5) usleep(5000);
    ASSERT_EQ(baidu_.RequestCount(), 2);
  }
  baidu_.SetDelayMs(0);
  const CliRun next = RunCli(Push({list}));
  EXPECT_EQ(next.exitCode, 0) << next.err;
  const auto batches = baidu_.Batches();
  ASSERT_EQ(batches.size(), 4u);
  // The batch whose answer the killed run never read goes again; nothing recorded does.
  EXPECT_EQ(batches[2], batches[1]);
  EXPECT_EQ(batches[2].size() + batches[3].size(), 3000u);
  EXPECT_EQ(ParseJson(next.out).summary["accepted"], 3000);
}

TEST_F(CliPushTest, ConcurrentRunsOnOneHistorySendEachAddressOnce) {
  baidu_.SetDelayMs(150);
  const auto addresses = Addresses(Origin(), 1, 5000);
  const std::string list = folder_.Write("list.txt", Joined(addresses));
  CliProcess first(Push({list}));
  CliProcess second(Push({list}));
  const CliRun a = first.Wait();
  const CliRun b = second.Wait();
  EXPECT_EQ(a.exitCode, 0) << a.err;
  EXPECT_EQ(b.exitCode, 0) << b.err;

  std::map<std::string, int> sent;
  for (const auto& batch : baidu_.Batches()) {
    for (const std::string& url : batch) ++sent[url];
  }
  EXPECT_EQ(sent.size(), addresses.size());
  for (const auto& [url, times] : sent) EXPECT_EQ(times, 1) << url;
  const JsonOutput ja = ParseJson(a.out);
  const JsonOutput jb = ParseJson(b.out);
  EXPECT_EQ(ja.summary["accepted"].get<int>() + jb.summary["accepted"].get<int>(), 5000);

  // The history holds every address once, accepted.
  const CliRun listed = RunCli({.args = {"history", "--history", history_, "--json"}});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  std::set<std::string> urls;
  std::size_t lines = 0;
  for (std::size_t start = 0; start < listed.out.size();) {
    const auto end = listed.out.find('\n', start);
    const auto entry = nlohmann::json::parse(listed.out.substr(start, end - start));
    EXPECT_EQ(entry["state"], "accepted");
    urls.insert(entry["url"].get<std::string>());
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, 5000u);
  EXPECT_EQ(urls.size(), 5000u);
}

class CliIndexNowTest : public CliPushTest {
 protected:
  CliCall IndexNow(std::vector<std::string> extra, const std::string& key = "key0123456789") const {
    std::vector<std::string> args{"push",         "--engine",         "indexnow", "--key", key,
                                  "--key-location", indexnow_.KeyLocation(), "--indexnow-endpoint",
                                  indexnow_.Endpoint(), "--history", history_, "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return CliCall{.args = args, .env = kFastRetries};
  }

  MockIndexNow indexnow_{"key0123456789"};
};

TEST_F(CliIndexNowTest, PostsTheJsonBodyAfterTheKeyFileCheck) {
  const std::string list = folder_.Write("list.txt", Joined(Addresses(Origin(), 1, 3)));
  const CliRun run = RunCli(IndexNow({list}));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(indexnow_.PostCount(), 1);
  const auto body = nlohmann::json::parse(indexnow_.Bodies()[0]);
  EXPECT_EQ(body["host"], "127.0.0.1");
  EXPECT_EQ(body["key"], "key0123456789");
  EXPECT_EQ(body["keyLocation"], indexnow_.KeyLocation());
  EXPECT_EQ(body["urlList"].size(), 3u);
}

TEST_F(CliIndexNowTest, KeyProblemsStopBeforeAnythingIsPosted) {
  const std::string list = folder_.Write("list.txt", Joined(Addresses(Origin(), 1, 3)));
  indexnow_.ServeKeyFile("someotherkey");
  const CliRun wrongFile = RunCli(IndexNow({list}));
  EXPECT_EQ(wrongFile.exitCode, 2) << wrongFile.err;
  EXPECT_NE(wrongFile.err.find("key"), std::string::npos);
  EXPECT_EQ(indexnow_.PostCount(), 0);

  // The key file holds the key given, but the endpoint knows another: 403, authentication.
  const CliRun refused = RunCli(IndexNow({list}, "someotherkey"));
  EXPECT_EQ(refused.exitCode, 4) << refused.err;
  EXPECT_EQ(indexnow_.PostCount(), 1);
}

// What a user meets, one row per case, each on a history of its own and one pair of mocks. In
// the texts, {site}, {token}, {interface}, {history} (the row's), {origin}, {folder}, {closed} (a
// port nobody listens on), {silent} (a server that never answers), {proxy}, {pages} (404 for
// every page), {picky} (a site answering the window's request alone), {rude} (an interface whose message steers a terminal) and {keyfile}/{endpoint} of
// the IndexNow mock stand for their values.
struct UserCase {
  const char* name;
  std::vector<std::string> args;
  std::string input = "";
  std::map<std::string, std::string> env = {};
  int exitCode = 0;
  std::vector<std::string> errHas = {};
  std::vector<std::string> outHas = {};
  int baiduRequests = -1;    // requests the mock got in this row's own run; -1: not counted
  std::int64_t remain = -1;  // the mock's quota before the row; -1: 100000
  bool stamped = false;      // every line of standard error starts with the date and time
  std::vector<std::string> first = {};  // a run on the row's history before its own, with `input`
  std::string notMade = "";             // a path the row must leave uncreated
  std::string errHasNot = "";
};

TEST_F(CliIndexNowTest, WhatAUserMeets) {
  testsupport::RawServer proxy([](testsupport::RawConnection& connection) {
    const std::string head = connection.ReadHead();
    const std::string json = R"({"remain":77,"success":1})";
    // Only a request in a proxy's absolute form is answered as the interface would.
    if (head.find(" http://") == std::string::npos) return;
    connection.ReadSome(200);
    connection.Send("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                    std::to_string(json.size()) + "\r\n\r\n" + json);
  });
  testsupport::RawServer silent(testsupport::scripts::Silent());
  testsupport::RawServer pages(testsupport::scripts::Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
  const std::string rudeJson = R"({"error":400,"message":"\u001b]0;owned\u0007\u001b[2J"})";
  testsupport::RawServer rude(testsupport::scripts::Answer(
      "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\nContent-Length: " +
      std::to_string(rudeJson.size()) + "\r\n\r\n" + rudeJson));
  // A site that answers the window's request alone, as some do to anything else.
  testsupport::RawServer picky([](testsupport::RawConnection& connection) {
    const std::string head = connection.ReadHead();
    const std::string page = "<div class=\"cca\">\r\n<ul><li><a href=\"http://127.0.0.1/a/1.html\">a</a></li></ul>";
    const bool tool = head.find("kestrin-cli") != std::string::npos;
    connection.Send(std::string(tool ? "HTTP/1.1 403 Forbidden" : "HTTP/1.1 200 OK") +
                    "\r\nConnection: close\r\nContent-Length: " + std::to_string(tool ? 0 : page.size()) + "\r\n\r\n" +
                    (tool ? "" : page));
  });
  std::string history;  // the row's
  const testsupport::RefusedPort noListener;
  const std::map<std::string, std::string> values = {
      {"{site}", Site()},
      {"{token}", kToken},
      {"{interface}", baidu_.Interface()},
      {"{history}", ""},
      {"{origin}", Origin()},
      {"{folder}", folder_.Path()},
      {"{closed}", "http://127.0.0.1:" + std::to_string(noListener.Port()) + "/urls"},
      {"{silent}", silent.Url("/urls")},
      {"{proxy}", proxy.Url("")},
      {"{pages}", pages.Url("")},
      {"{picky}", picky.Url("")},
      {"{rude}", rude.Url("/urls")},
      {"{keyfile}", indexnow_.KeyLocation()},
      {"{endpoint}", indexnow_.Endpoint()},
  };
  const auto expand = [&](std::string text) {
    for (auto [name, value] : values) {
      if (name == "{history}") value = history;
      for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
        text.replace(at, name.size(), value);
      }
    }
    return text;
  };
  const auto config = [&](const std::string& name, const std::string& text) {
    folder_.Write(name, expand(text));
  };
  config("list.txt", "{origin}/u/1.html\n{origin}/u/2.html\nftp://{origin}/u/3.html\n");
  config("typo.toml", "[[site]]\nsite = \"{site}\"\ntokn = \"{token}\"\n");
  config("dash.toml", "[[site]]\nsite = \"{site}\"\ntoken = \"{token}\"\nindexnow-endpoint = \"{endpoint}\"\n");
  config("notoken.toml", "[[site]]\nsite = \"{site}\"\ninterface = \"{interface}\"\n");
  config("two.toml",
         "[[site]]\nsite = \"{site}\"\ntoken = \"{token}\"\ninterface = \"{interface}\"\n"
         "[[site]]\nsite = \"http://b.example\"\ntoken = \"{token}\"\ninterface = \"{interface}\"\n");
  const std::vector<std::string> baidu = {"push", "--site", "{site}", "--token", "{token}", "--history", "{history}",
                                          "--json"};
  const auto with = [&](std::vector<std::string> extra, std::vector<std::string> base) {
    base.insert(base.end(), extra.begin(), extra.end());
    return base;
  };
  const std::map<std::string, std::string> english = {{"LANG", "C.UTF-8"}, {"KESTRIN_CLI_BACKOFF_MS", "10"}};

  const UserCase cases[] = {
      {.name = "collect tells each failed page and that it found nothing",
       .args = {"collect", "{pages}/list_$.html", "--from", "1", "--to", "2"},
       .env = english,
       .exitCode = 1,
       .errHas = {"{pages}/list_1.html: HTTP 404 Not Found", "list_2.html", "found no address on 2 pages"}},
      {.name = "collect reads a page as the window does",
       .args = {"collect", "{picky}/list_$.html", "--from", "1", "--to", "1"},
       .outHas = {"http://127.0.0.1/a/1.html"}},
      {.name = "collect's help shows the default markers",
       .args = {"collect", "--help"},
       .outHas = {"<div class=\"cca\">", "<li><a href=\""}},
      {.name = "a failed key-file check keeps back IndexNow, not Baidu",
       .args = with({"--engine", "indexnow", "--engine", "baidu", "--key", "key0123456789", "--key-location",
                     "{origin}:1/nokey.txt", "--indexnow-endpoint", "{endpoint}", "--interface", "{interface}", "-"},
                    baidu),
       .input = "{origin}/apart/1.html\n",
       .env = english,
       .exitCode = 2,
       .errHas = {"nothing was posted to IndexNow for 127.0.0.1"},
       .outHas = {R"("url":"{origin}/apart/1.html","engine":"baidu","state":"accepted")"},
       .baiduRequests = 1},
      {.name = "http_proxy is honoured",
       .args = with({"--interface", "{closed}", "-"}, baidu),
       .input = "{origin}/proxy/1.html\n",
       .env = {{"http_proxy", "{proxy}"}},
       .outHas = {R"("remain":77)"}},
      {.name = "--proxy is honoured",
       .args = with({"--interface", "{closed}", "--proxy", "{proxy}", "-"}, baidu),
       .input = "{origin}/proxy/2.html\n",
       .outHas = {R"("remain":77)"}},
      {.name = "no_proxy sends the listed host direct",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/proxy/3.html\n",
       .env = {{"http_proxy", "{proxy}"}, {"no_proxy", "localhost, 127.0.0.1"}},
       .baiduRequests = 1},
      {.name = "a network error names the host, the cause and the attempts",
       .args = with({"--interface", "{closed}", "-"}, baidu),
       .input = "{origin}/down/1.html\n",
       .env = english,
       .exitCode = 1,
       .errHas = {"127.0.0.1: connection refused or host unreachable (4 attempts)"}},
      {.name = "--timeout bounds the whole run",
       .args = with({"--interface", "{silent}", "--timeout", "2", "-"}, baidu),
       .input = "{origin}/slow/1.html\n",
       .env = english,
       .exitCode = 1,
       .errHas = {"--timeout was reached"}},
      {.name = "an unknown key names the file, line and nearest key",
       .args = {"push", "--config", "{folder}/typo.toml", "--history", "{history}"},
       .env = english,
       .exitCode = 2,
       .errHas = {"typo.toml:3: unknown key tokn (did you mean token?)"},
       .baiduRequests = 0},
      {.name = "a key written with a dash is unknown too",
       .args = {"push", "--config", "{folder}/dash.toml", "--history", "{history}"},
       .env = english,
       .exitCode = 2,
       .errHas = {"unknown key indexnow-endpoint (did you mean indexnow_endpoint?)"}},
      {.name = "a setting missing from the file is named by its key",
       .args = {"push", "--config", "{folder}/notoken.toml", "--history", "{history}", "-"},
       .input = "{origin}/key/1.html\n",
       .env = english,
       .exitCode = 2,
       .errHas = {"notoken.toml: [[site]] {site}: baidu needs site and token"}},
      {.name = "errors follow a Chinese locale",
       .args = with({"--interface", "{closed}", "-"}, baidu),
       .input = "{origin}/down/2.html\n",
       .env = {{"LANG", "zh_CN.UTF-8"}, {"KESTRIN_CLI_BACKOFF_MS", "10"}},
       .exitCode = 1,
       .errHas = {"\xE8\xBF\x9E\xE6\x8E\xA5\xE8\xA2\xAB\xE6\x8B\x92\xE7\xBB\x9D"}},  // 连接被拒绝
      {.name = "and so do usage errors",
       .args = {"push", "--bogus"},
       .env = {{"LANG", "zh_CN.UTF-8"}},
       .exitCode = 2,
       .errHas = {"\xE5\xA4\x9A\xE4\xBD\x99\xE7\x9A\x84\xE5\x8F\x82\xE6\x95\xB0"}},  // 多余的参数
      {.name = "and a GBK terminal gets GBK",
       .args = {"--help"},
       .env = {{"LANG", "zh_CN.GBK"}},
       .outHas = {"\xD3\xC3\xB7\xA8"}},  // 用法
      {.name = "the quota left is in the summary",
       .args = with({"--interface", "{interface}", "{folder}/list.txt"}, baidu),
       .env = english,
       .errHas = {"quota left: baidu {site}: "},
       .outHas = {R"("quota":[{"engine":"baidu","site":"{site}","remain":)"}},
      {.name = "a re-run says how many were skipped as already accepted",
       .args = with({"--interface", "{interface}", "{folder}/list.txt"}, baidu),
       .env = english,
       .errHas = {"skipped as already accepted 2", "skipped as invalid 1"},
       .baiduRequests = 0,
       .first = with({"--interface", "{interface}", "{folder}/list.txt"}, baidu)},
      {.name = "with no source, push reads the pipe",
       .args = with({"--interface", "{interface}"}, baidu),
       .input = "{origin}/pipe/1.html\n",
       .baiduRequests = 1},
      {.name = "a missing source file is a usage error",
       .args = with({"--interface", "{interface}", "{folder}/lsit.txt"}, baidu),
       .env = english,
       .exitCode = 2,
       .errHas = {"lsit.txt: cannot be opened"},
       .baiduRequests = 0},
      {.name = "a log's lines carry the time",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/log/1.html\n",
       .stamped = true},
      {.name = "refused addresses are listed",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/invalid/r.html\nhttp://other.example/r.html\n",
       .env = english,
       .exitCode = 1,
       .errHas = {"not_valid: {origin}/invalid/r.html", "not_same_site: http://other.example/r.html"}},
      {.name = "and history --refused lists them",
       .args = {"history", "--history", "{history}", "--refused"},
       .input = "{origin}/invalid/r.html\nhttp://other.example/r.html\n",
       .outHas = {"{origin}/invalid/r.html", "http://other.example/r.html"},
       .first = with({"--interface", "{interface}", "-"}, baidu)},
      {.name = "an answer's words never steer the terminal",
       .args = with({"--interface", "{rude}", "-"}, baidu),
       .input = "{origin}/rude/1.html\n",
       .env = english,
       .exitCode = 1,
       .errHas = {"\\x1B]0;owned\\x07\\x1B[2J"},
       .errHasNot = "\x1b"},
      {.name = "and neither do the history's rows",
       .args = {"history", "--history", "{history}"},
       .input = "{origin}/rude/2.html\n",
       .outHas = {"\\x1B]0;owned"},
       .first = with({"--interface", "{rude}", "-"}, baidu),
       .errHasNot = "\x1b"},
      {.name = "listing a history that is not there makes nothing",
       .args = {"history", "--history", "{folder}/none/h.sqlite"},
       .env = english,
       .exitCode = 2,
       .errHas = {"no history at {folder}/none/h.sqlite"},
       .notMade = "{folder}/none"},
      {.name = "a Chinese message keeps the user's path as given",
       .args = {"history", "--history", "{folder}/\xE5\x8E\x86\xE5\x8F\xB2/h.sqlite"},  // 历史
       .env = {{"LANG", "zh_CN.UTF-8"}},
       .exitCode = 2,
       .errHas = {"{folder}/\xE5\x8E\x86\xE5\x8F\xB2/h.sqlite"}},
      {.name = "an invalid line gets its own object and leaves the exit code alone",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/ftp/1.html\nftp://files.example/a\n",
       .outHas = {R"("url":"ftp://files.example/a","engine":"","state":"invalid")"},
       .baiduRequests = 1},
      {.name = "an address of no configured site is told once and sent nowhere",
       .args = {"push", "--config", "{folder}/two.toml", "--history", "{history}", "--json", "-"},
       .input = "{origin}/two/1.html\nhttp://other.example/two.html\nhttp://other.example/two.html\n",
       .env = english,
       .errHas = {"belongs to no configured site: http://other.example/two.html"},
       .baiduRequests = 1},
      {.name = "history --clear with no filter needs --all",
       .args = {"history", "--history", "{history}", "--clear"},
       .env = english,
       .exitCode = 2,
       .errHas = {"--all"}},
      {.name = "--version", .args = {"--version"}, .outHas = {"kestrin-cli 1.0"}},
      {.name = "help", .args = {"help", "push"}, .outHas = {"--timeout", "--proxy", "--dry-run", "the newest first"}},
      {.name = "a raw path and its %-encoded twin are one address",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/\xE6\x96\x87/1.html\n{origin}/%e6%96%87/1.html\n",
       .outHas = {R"("url":"{origin}/%E6%96%87/1.html","engine":"baidu","state":"accepted")", R"("sent":1,)"}},
      {.name = "a --history in a folder that is not there is an error",
       .args = {"push", "--site", "{site}", "--token", "{token}", "--history", "{folder}/nothere/h.sqlite", "-"},
       .input = "{origin}/h/1.html\n",
       .env = english,
       .exitCode = 2,
       .errHas = {"nothere does not exist"}},
      {.name = "a spent quota names the site and the next Beijing day",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/q/1.html\n{origin}/q/2.html\n{origin}/q/3.html\n",
       .env = english,
       .exitCode = 3,
       .errHas = {"baidu quota for {site} is spent for today", "queued for the next Beijing day"},
       .remain = 1},
      {.name = "a run that sends nothing for a spent quota says why",
       .args = with({"--interface", "{interface}", "-"}, baidu),
       .input = "{origin}/q/4.html\n{origin}/q/5.html\n",
       .env = english,
       .exitCode = 3,
       .errHas = {"baidu quota for {site} is spent for today", "baidu {site}: 1 address waits, the oldest queued 20"},
       .baiduRequests = 0,
       .remain = 1,
       .first = with({"--interface", "{interface}", "-"}, baidu)},
  };
  const std::regex stampedLine(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} .*)");
  int number = 0;
  for (const UserCase& row : cases) {
    SCOPED_TRACE(row.name);
    // Windows: a GBK terminal is the console's code page, not LANG's.
    if ((!testsupport::NoPrivateFiles().empty() && std::ranges::find(row.args, "--config") != row.args.end()) ||
        (testsupport::kWindows && row.env.contains("LANG") && row.env.at("LANG").ends_with(".GBK"))) {
      std::cout << "skipped here: " << row.name << '\n';
      continue;
    }
    history = folder_.Path() + "/history-" + std::to_string(number++) + ".sqlite";
    baidu_.SetRemain(row.remain >= 0 ? row.remain : 100000);
    const auto call = [&](const std::vector<std::string>& args) {
      CliCall made{.args = {}, .env = kFastRetries, .input = expand(row.input), .timeoutMs = 20000};
      for (const std::string& arg : args) made.args.push_back(expand(arg));
      for (const auto& [name, value] : row.env) made.env[name] = expand(value);
      return made;
    };
    if (!row.first.empty()) static_cast<void>(RunCli(call(row.first)));
    const int before = baidu_.RequestCount();
    const CliRun run = RunCli(call(row.args));
    if (!row.notMade.empty()) {
      EXPECT_FALSE(std::filesystem::exists(expand(row.notMade))) << "made " << row.notMade;
    }
    if (!row.errHasNot.empty()) {
      EXPECT_EQ(run.err.find(row.errHasNot), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    for (const std::string& part : row.errHas) {
      EXPECT_NE(run.err.find(testsupport::AsLogged(expand(part))), std::string::npos) << run.err;
    }
    for (const std::string& part : row.outHas) {
      EXPECT_NE(run.out.find(expand(part)), std::string::npos) << run.out;
    }
    if (row.baiduRequests >= 0) {
      EXPECT_EQ(baidu_.RequestCount() - before, row.baiduRequests);
    }
    if (row.stamped) {
      for (std::size_t start = 0; start < run.err.size();) {
        const auto end = run.err.find('\n', start);
        EXPECT_TRUE(std::regex_match(run.err.substr(start, end - start), stampedLine)) << run.err;
        start = end == std::string::npos ? run.err.size() : end + 1;
      }
    }
  }
  EXPECT_EQ(indexnow_.PostCount(), 0);
}

// The README's crontab and deploy-hook lines, word for word but for the file and the addresses:
// the log gets a stamped summary, and the hook fails the deploy only on a usage error.
TEST_F(CliPushTest, TheReadmesLinesWorkAsWritten) {
  if (testsupport::kWindows) GTEST_SKIP() << "crontab and deploy-hook lines for a POSIX shell";
  const std::string home = folder_.Path();
  ASSERT_TRUE(std::filesystem::create_directory(home + "/.config"));
  const std::string list = folder_.Write("list.txt", Joined(Addresses(Origin(), 1, 3)));
  folder_.Write(".config/kestrin.toml", "history = \"" + history_ + "\"\n[[site]]\nsite = \"" + Site() +
                                            "\"\ntoken = \"" + kToken + "\"\ninterface = \"" +
                                            baidu_.Interface() + "\"\nsources = [\"" + list + "\"]\n");
  const std::string hook = "kestrin-cli push --config ~/.config/kestrin.toml --since \"$(date +%F)\" ";
  const struct {
    const char* name;
    std::string line;
    int exitCode;
    int requests;
  } cases[] = {
      {"the crontab line", "kestrin-cli push --config $HOME/.config/kestrin.toml >> $HOME/kestrin.log 2>&1", 0, 1},
      {"the hook with a new list passes", hook + folder_.Write("new.txt", Origin() + "/hook/1.html\n") +
                                              " || [ $? -ne 2 ]", 0, 1},
      {"the hook with a misspelt path fails the deploy", hook + home + "/nwe.txt || [ $? -ne 2 ]", 1, 0},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const int before = baidu_.RequestCount();
    const CliRun run = RunCli({.args = {row.line}, .env = {{"HOME", home}}, .shell = true});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(baidu_.RequestCount() - before, row.requests);
  }
  std::ifstream log(home + "/kestrin.log");
  const std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(std::regex_search(logged, std::regex(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} sent 3, accepted 3)")))
      << logged;
}

TEST_F(CliIndexNowTest, RepeatedEnginesKeepAHistoryEach) {
  const auto addresses = Addresses(Origin(), 1, 2);
  const std::string list = folder_.Write("list.txt", Joined(addresses));
  CliCall call = IndexNow({"--engine", "baidu", "--site", Site(), "--token", kToken, "--interface",
                           baidu_.Interface(), list});
  const CliRun run = RunCli(call);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const JsonOutput json = ParseJson(run.out);
  for (const std::string& address : addresses) {
    EXPECT_EQ(json.states.at("indexnow " + address), "accepted");
    EXPECT_EQ(json.states.at("baidu " + address), "accepted");
  }
  EXPECT_EQ(indexnow_.PostCount(), 1);
  EXPECT_EQ(baidu_.RequestCount(), 1);
}

TEST_F(CliPushTest, ConfigurationFileMustBePrivate) {
  if (const std::string why = testsupport::NoPrivateFiles(); !why.empty()) GTEST_SKIP() << why;
  const std::string toml = "[[site]]\nsite = \"" + Site() + "\"\ntoken = \"" + kToken + "\"\ninterface = \"" +
                           baidu_.Interface() + "\"\nsources = [\"" +
                           folder_.Write("list.txt", Joined(Addresses(Origin(), 1, 2))) + "\"]\n";
  const std::string open = folder_.Write("open.toml", toml, 0644);
  const CliRun refused =
      RunCli({.args = {"push", "--config", open, "--history", history_}, .env = {{"LANG", "C.UTF-8"}}});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("too open"), std::string::npos) << refused.err;
  EXPECT_EQ(baidu_.RequestCount(), 0);

  const std::string closed = folder_.Write("closed.toml", toml, 0600);
  const CliRun run = RunCli({.args = {"push", "--config", closed, "--history", history_}});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(baidu_.RequestCount(), 1);
  EXPECT_EQ(run.err.find(kToken), std::string::npos);

  // A command-line token overrides the file's.
  const CliRun overridden = RunCli({.args = {"push", "--config", closed, "--history", history_, "--force", "--token",
                                             "wrongtoken123456"}});
  EXPECT_EQ(overridden.exitCode, 4) << overridden.err;
}

TEST(CliUsage, ChineseUnderAChineseLocaleAndExitTwoForUsage) {
  const CliRun help = RunCli({.args = {"--help"}, .env = {{"LANG", "zh_CN.UTF-8"}}});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("\xE7\x94\xA8\xE6\xB3\x95"), std::string::npos) << help.out;  // 用法, in UTF-8
  const CliRun english = RunCli({.args = {"--help"}});
  EXPECT_NE(english.out.find("Usage"), std::string::npos);
  const CliRun bad = RunCli({.args = {"push", "--no-such-option"}});
  EXPECT_EQ(bad.exitCode, 2);
  const CliRun missing = RunCli({.args = {"push", "--site", "a.example"}});
  EXPECT_EQ(missing.exitCode, 2);
  const CliRun since = RunCli({.args = {"sitemap", "--since", "2024-02-30", "-"}});
  EXPECT_EQ(since.exitCode, 2);
}

}  // namespace
}  // namespace kestrin
