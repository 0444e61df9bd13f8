#include "notice/update_check.h"

#include <mutex>
#include <string_view>

#include "links/page_fetch.h"
#include "runtime/random.h"
#include "runtime/run_directory.h"
#include "runtime/settings.h"
#include "runtime/text_ops.h"
#include "web/between.h"
#include "web/encoding.h"

namespace kestrin {
namespace {

Text g_remoteVersion;

std::mutex g_noticeAddressMutex;
Text g_noticeAddressOverride;

Text NoticePageText() { return Utf8ToGbk(FetchPageText(NoticePageAddress())); }

}  // namespace

const Text& RemoteVersion() { return g_remoteVersion; }

void ExitCleanup() { Text().swap(g_remoteVersion); }

Text NoticePageAddress() {
  const std::lock_guard lock(g_noticeAddressMutex);
  return g_noticeAddressOverride.empty() ? Text(KESTRIN_NOTICE_URL) : g_noticeAddressOverride;
}

void SetNoticePageAddressForTesting(const Text& address) {
  const std::lock_guard lock(g_noticeAddressMutex);
  g_noticeAddressOverride = address;
}

bool IsOpenableAddress(const Text& address) {
  if (!StartsWithText(address, "http://", true) && !StartsWithText(address, "https://", true)) return false;
  // A line break or other control byte has no business in an address handed to the shell.
  for (const char c : address) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
  }
  return true;
}

void CheckForUpdate(Controls& form) {
  g_remoteVersion = TextBetween(NoticePageText(), "版本：", "|");
  form.SetCaption(JoinTexts("Kestrin百度推送", g_remoteVersion));

  // An unreadable page names no version, and no version is not a newer one.
  if (g_remoteVersion.empty() || g_remoteVersion == LocalVersion) return;

  static_cast<void>(WriteSetting(JoinTexts(RunDirectory(), "/bb.ini"), "版", Text("本"), g_remoteVersion));
  form.MessageBox("版本有更新，请到官网下载最新版本", kMessageBoxOk);
  const Text popup = GetPopupAddress();
  if (IsOpenableAddress(popup)) form.OpenAddress(popup);
}

Text GetPopupAddress() {
  const Text prefix = TextBetween(NoticePageText(), "弹网：", "|");
  if (prefix.empty()) return {};
  SeedRandom();
  return JoinTexts(prefix, ToText(RandomInRange(3, 30)), ".html");
}

}  // namespace kestrin
