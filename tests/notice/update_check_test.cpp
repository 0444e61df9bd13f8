#include "notice/update_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/settings_path.h"
#include "runtime/text_ops.h"
#include "tests/support/list_site.h"
#include "tests/support/raw_server.h"
#include "tests/support/memory_form.h"

namespace kestrin {
namespace {

using testsupport::FormCall;
using testsupport::FormOp;
using testsupport::ListSite;
using testsupport::MemoryForm;
using testsupport::PageEncoding;

const char* const kUpdateMessage = "版本有更新，请到官网下载最新版本";

Text SettingsPath() { return SettingsFilePath(); }

// The whole settings file, or nothing when there is none.
std::optional<std::string> SettingsFile() {
  std::ifstream in(SettingsPath(), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int ClosedPort() {
  const ListSite gone;
  return gone.Port();
}

// Whether `address` is the pop-up prefix followed by a number 3..30 and ".html".
bool IsPopupAddress(const Text& address, const Text& prefix) {
  if (address.rfind(prefix, 0) != 0 || address.size() < prefix.size() + 6) return false;
  if (address.substr(address.size() - 5) != ".html") return false;
  const std::string number = address.substr(prefix.size(), address.size() - prefix.size() - 5);
  if (number.empty() || number.size() > 2 || number.find_first_not_of("0123456789") != std::string::npos) return false;
  const int n = std::stoi(number);
  return n >= 3 && n <= 30 && std::to_string(n) == number;
}

class UpdateCheckTest : public testing::Test {
 protected:
  void SetUp() override { SetNoticePageAddressForTesting(site_.NoticeAddress()); }
  void TearDown() override {
    SetNoticePageAddressForTesting("");
    std::remove(SettingsPath().c_str());
  }

  ListSite site_;
};

enum class Source { kPage, kMissingPage, kUnreachable };

struct NoticeCase {
  const char* name;
  Source source;
  const char* text;  // GBK; "@" stands for the pop-up prefix
  PageEncoding encoding;
  const char* version;  // what the caption ends in
  bool update;          // settings file, message and a fetch of the pop-up address
  bool opens;           // a browser page is opened
};

const NoticeCase kNoticeCases[] = {
    {"SameVersion", Source::kPage, "<p>版本：v1.0|</p><p>弹网：@|</p>", PageEncoding::kUtf8, "v1.0", false, false},
    {"NewerVersion", Source::kPage, "<p>版本：v1.1|</p><p>弹网：@|</p>", PageEncoding::kUtf8, "v1.1", true, true},
    {"CaseCounts", Source::kPage, "<p>版本：V1.0|</p><p>弹网：@|</p>", PageEncoding::kUtf8, "V1.0", true, true},
    {"LeadingSpaceCounts", Source::kPage, "版本： v1.0|弹网：@|", PageEncoding::kUtf8, " v1.0", true, true},
    {"FirstEntriesCount", Source::kPage, "版本：v1.0|弹网：@|版本：v9.9|", PageEncoding::kUtf8, "v1.0", false, false},
    {"VersionWithoutBar", Source::kPage, "<p>弹网：@|</p><p>版本：v1.1</p>", PageEncoding::kUtf8, "", false, false},
    {"EmptyVersion", Source::kPage, "<p>版本：|</p><p>弹网：@|</p>", PageEncoding::kUtf8, "", false, false},
    {"ServedInGbk", Source::kPage, "<p>版本：v1.1|</p><p>弹网：@|</p>", PageEncoding::kGbk, "", false, false},
    {"NoticePageMissing", Source::kMissingPage, "", PageEncoding::kUtf8, "", false, false},
    {"NoticeSiteUnreachable", Source::kUnreachable, "", PageEncoding::kUtf8, "", false, false},
    {"LongestVersion", Source::kPage, "版本：v1.1-01234567890123456789012345678901234567890123456789012345678|弹网：@|",
     PageEncoding::kUtf8, "v1.1-01234567890123456789012345678901234567890123456789012345678", true, true},
    {"VersionTooLong", Source::kPage, "版本：v1.1-012345678901234567890123456789012345678901234567890123456789|弹网：@|",
     PageEncoding::kUtf8, "", false, false},
    // The euro sign is one byte in code page 936 and must not swallow the closing bar.
    {"VersionEndingInEuro", Source::kPage, "版本：v1.1\x80|弹网：@|", PageEncoding::kUtf8, "v1.1\x80", true, true},
    {"VersionWithLineBreak", Source::kPage, "版本：v1.1\r\n|弹网：@|", PageEncoding::kUtf8, "", false, false},
    {"VersionWithTab", Source::kPage, "版本：\tv1.1|弹网：@|", PageEncoding::kUtf8, "", false, false},
    {"VersionWithDelete", Source::kPage, "版本：v1.1\x7F|弹网：@|", PageEncoding::kUtf8, "", false, false},
    {"NewerWithoutPopup", Source::kPage, "<p>版本：v1.1|</p>", PageEncoding::kUtf8, "v1.1", true, false},
    {"NewerWithFilePopup", Source::kPage, "<p>版本：v1.1|</p><p>弹网：file:///etc/|</p>", PageEncoding::kUtf8, "v1.1",
     true, false},
    {"NewerWithScriptPopup", Source::kPage, "<p>版本：v1.1|</p><p>弹网：javascript:alert(1);//|</p>",
     PageEncoding::kUtf8, "v1.1", true, false},
};

// One test for every notice page, since they all share the one settings file.
TEST_F(UpdateCheckTest, ActsOnTheAnnouncedVersion) {
  for (const NoticeCase& row : kNoticeCases) {
    SCOPED_TRACE(row.name);
    std::remove(SettingsPath().c_str());
    ListSite site;
    if (row.source == Source::kPage) {
      site.SetNoticeText(ReplaceText(row.text, "@", site.PopupPrefix()), row.encoding);
      SetNoticePageAddressForTesting(site.NoticeAddress());
    } else if (row.source == Source::kMissingPage) {
      SetNoticePageAddressForTesting(site.NoticeAddress());
    } else {
      SetNoticePageAddressForTesting("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/notice.html");
    }
    MemoryForm form;
    std::optional<std::string> fileAtMessage;
    form.OnCall([&fileAtMessage](const FormCall& call) {
      if (call.op == FormOp::kMessageBox) fileAtMessage = SettingsFile();
    });

    const Text page = CheckForUpdate(form);

    EXPECT_EQ(form.Caption(), "Kestrin百度推送" + std::string(row.version));
    // One reading serves the caption, the message, the opening and the notice window.
    if (row.source != Source::kUnreachable) {
      EXPECT_EQ(site.NoticeFetches(), 1);
    }
    if (row.opens) {
      EXPECT_TRUE(IsPopupAddress(PopupAddressFrom(page), site.PopupPrefix())) << PopupAddressFrom(page);
      EXPECT_EQ(site.NoticeFetches(), 1);
    }
    EXPECT_EQ(RemoteVersion(), row.version);
    std::vector<FormOp> order;
    for (const FormCall& call : form.Calls()) order.push_back(call.op);
    if (row.update) {
      // Noted in the settings file before the message, the browser only after it.
      const std::string entry = "[版]\r\n本=" + std::string(row.version) + "\r\n";
      ASSERT_TRUE(fileAtMessage.has_value());
      EXPECT_NE(fileAtMessage->find(entry), std::string::npos) << *fileAtMessage;
      EXPECT_EQ(form.Messages(), std::vector<Text>{kUpdateMessage});
      EXPECT_EQ(form.CallsOf(FormOp::kMessageBox).at(0).number, kMessageBoxOk);
    } else {
      EXPECT_FALSE(SettingsFile().has_value());
      EXPECT_TRUE(form.Messages().empty());
    }
    if (row.opens) {
      ASSERT_EQ(form.OpenedAddresses().size(), 1u);
      EXPECT_TRUE(IsPopupAddress(form.OpenedAddresses()[0], site.PopupPrefix())) << form.OpenedAddresses()[0];
      EXPECT_EQ(order, (std::vector<FormOp>{FormOp::kSetCaption, FormOp::kMessageBox, FormOp::kOpenAddress}));
    } else {
      EXPECT_TRUE(form.OpenedAddresses().empty());
    }
  }
  ExitCleanup();
  EXPECT_EQ(RemoteVersion(), "");
}

TEST_F(UpdateCheckTest, AVersionOfMegabytesIsNoVersion) {
  site_.SetNoticeText("版本：v" + std::string(400'000, '9') + "|弹网：" + site_.PopupPrefix() + "|");
  MemoryForm form;
  static_cast<void>(CheckForUpdate(form));
  EXPECT_EQ(form.Caption(), "Kestrin百度推送");
  EXPECT_EQ(RemoteVersion(), "");
  EXPECT_TRUE(form.Messages().empty());
  EXPECT_TRUE(form.OpenedAddresses().empty());
  EXPECT_FALSE(SettingsFile().has_value());
}

// The notice page is read on the window thread: a server that never finishes, in time or in
// size, leaves the bare caption within the notice page's own limits.
TEST(UpdateCheckServerTest, AServerThatNeverFinishesLeavesTheBareCaption) {
  // A length under the page's cap, so that only time can end the trickle.
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<p>";
  struct Row {
    const char* name;
    testsupport::RawServer::Script script;
    std::int64_t longestMs;  // how long the whole check may take
  };
  const Row rows[] = {
      // Two bytes a second, for ever, over the stall time-out's one byte a second.
      {"trickling", testsupport::scripts::Trickle(head, 500), 4'000},
      {"silent", testsupport::scripts::Silent(), 4'000},
      // The page grows until its cap: a quick end, not the deadline.
      {"endless", testsupport::scripts::Endless("HTTP/1.1 200 OK\r\n\r\n<p>"), 2'500},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::RawServer server(row.script);
    SetNoticePageAddressForTesting(server.Url("/notice.html"));
    MemoryForm form;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckForUpdate(form), "");
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s notice server: the check ended after %lld ms\n", row.name, static_cast<long long>(elapsed));
    EXPECT_LT(elapsed, row.longestMs);
    EXPECT_EQ(form.Caption(), "Kestrin百度推送");
    EXPECT_TRUE(form.Messages().empty());
    EXPECT_EQ(server.ConnectionCount(), 1);
    SetNoticePageAddressForTesting("");
  }
}

TEST_F(UpdateCheckTest, PopupNumbersRunFromThreeToThirty) {
  site_.SetNotice("v1.1");
  std::set<int> seen;
  for (int i = 0; i < 600; ++i) {
    const Text address = GetPopupAddress();
    ASSERT_TRUE(IsPopupAddress(address, site_.PopupPrefix())) << address;
    seen.insert(ToInteger(address.substr(site_.PopupPrefix().size())));
  }
  EXPECT_EQ(seen.size(), 28u);
  EXPECT_EQ(site_.NoticeFetches(), 600);
}

struct PopupCase {
  const char* name;
  const char* text;
  bool address;  // an address comes back
};

const PopupCase kPopupCases[] = {
    {"PrefixGiven", "弹网：@|", true},
    {"NoEntry", "版本：v1.1|", false},
    {"EntryWithoutBar", "弹网：@", false},
    {"EmptyPrefix", "弹网：|", false},
    {"PrefixOfABrowsersLength", "弹网：@#|", true},
    {"PrefixTooLongForABrowser", "弹网：@##|", false},
    {"PrefixWithALineBreak", "弹网：@\r\nSet-Cookie: a=b/|", false},
    {"PrefixWithATab", "弹网：@\t/|", false},
};

TEST_F(UpdateCheckTest, PopupAddressNeedsAPrefix) {
  for (const PopupCase& row : kPopupCases) {
    // "#" stands for 1000 bytes of path: one keeps the prefix within a browser's length, two not.
    const Text page = ReplaceText(ReplaceText(row.text, "@", site_.PopupPrefix()), "#", Text(1000, 'p'));
    site_.SetNoticeText(page);
    const Text address = GetPopupAddress();
    if (row.address) {
      const std::size_t from = page.find("弹网：") + Text("弹网：").size();
      EXPECT_TRUE(IsPopupAddress(address, page.substr(from, page.find('|', from) - from)))
          << row.name << ": " << address.substr(0, 80);
    } else {
      EXPECT_EQ(address, "") << row.name;
    }
  }
}

}  // namespace
}  // namespace kestrin
