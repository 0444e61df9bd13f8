#include "notice/update_check.h"

#include <algorithm>
#include <mutex>
#include <string_view>

#include "runtime/random.h"
#include "runtime/process.h"
#include "runtime/settings.h"
#include "runtime/settings_path.h"
#include "runtime/text_ops.h"
#include "web/between.h"
#include "web/encoding.h"
#include "web/page_fetch.h"

namespace kestrin {
namespace {

// The notice page is read on the window thread at start, which cannot answer the user
// meanwhile: a few seconds and a page of ordinary size, then it counts as unreadable.
constexpr PageFetchLimits kNoticeLimits{.timeoutMs = 3'000, .maxBodyBytes = 512 * 1024};
// Longer than any version the publisher writes; a longer text would go into the window caption.
constexpr std::size_t kLongestVersion = 64;
// Longer than any address a browser takes; the pop-up address goes to the notice window's
// browser and to the desktop's.
constexpr std::size_t kLongestPopupPrefix = 2000;

Text g_remoteVersion;

std::mutex g_noticeAddressMutex;
Text g_noticeAddressOverride;

Text NoticePageText() { return Utf8ToGbk(FetchPageText(NoticePageAddress(), kNoticeLimits)); }

bool HoldsControlByte(const Text& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

// The version entry of the page; a text too long or holding control bytes is no version.
Text VersionOf(const Text& page) {
  Text version = TextBetween(page, "版本：", "|");
  if (version.size() > kLongestVersion || HoldsControlByte(version)) return {};
  return version;
}

// Notes the announced version in the settings file. The user never asked for the file, so a
// failure is no message box: it goes to standard error, where a started-from-a-terminal user or
// the desktop's log sees it.
void NoteVersion(const Text& version) {
  const Text file = SettingsFilePath();
  if (file.empty()) {
    WriteStandardError("kestrin: no folder for the settings file: neither XDG_CONFIG_HOME nor HOME is set\n");
    return;
  }
  if (MakeSettingsFolder() && WriteSetting(file, "版", Text("本"), version)) return;
  WriteStandardError("kestrin: could not write the settings file " + file + "\n");
}

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

Text CheckForUpdate(Controls& form) {
  Text page = NoticePageText();
  g_remoteVersion = VersionOf(page);
  form.SetCaption(JoinTexts("Kestrin百度推送", g_remoteVersion));

  // An unreadable page names no version, and no version is not a newer one.
  if (g_remoteVersion.empty() || g_remoteVersion == LocalVersion) return page;

  NoteVersion(g_remoteVersion);
  form.MessageBox("版本有更新，请到官网下载最新版本", kMessageBoxOk);
  const Text popup = PopupAddressFrom(page);
  if (IsOpenableAddress(popup)) form.OpenAddress(popup);
  return page;
}

Text PopupAddressFrom(const Text& page) {
  const Text prefix = TextBetween(page, "弹网：", "|");
  if (prefix.empty() || prefix.size() > kLongestPopupPrefix || HoldsControlByte(prefix)) return {};
  SeedRandom();
  return JoinTexts(prefix, ToText(RandomInRange(3, 30)), ".html");
}

Text GetPopupAddress() { return PopupAddressFrom(NoticePageText()); }

}  // namespace kestrin
