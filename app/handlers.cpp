// The handlers: small, acting at once or starting a worker.
#include "app/handlers.h"

#include "app/layouts.h"
#include "app/notice_address.h"
#include "links/collector.h"
#include "links/submitter.h"
#include "notice/update_check.h"
#include "runtime/text_ops.h"
#include "runtime/threads.h"
#include "ui/window_framework.h"

namespace kestrin::app {

std::int32_t CountdownTicks = 0;

namespace {

constexpr int kPressed = 2;
constexpr std::int32_t kCountdownSeconds = 25;

Controls& MainForm() { return ui::FormControls(kMainWindow); }

}  // namespace

void MainWindowCreated() {
  ui::AddToolButtonState(kMainWindow, names::工具条1, 0, kPressed);
  // One reading of the notice page serves the whole start: the window does not respond while it
  // lasts, so it is paid for once.
  const Text page = CheckForUpdate(MainForm());
  SetNoticeWindowAddress(PopupAddressFrom(page));
  ui::LoadWindow(kNoticeWindow, kMainWindow, false);
}

void PageButtonClicked(int index) {
  ui::RemoveToolButtonState(kMainWindow, names::工具条1, 0, kPressed);
  ui::RemoveToolButtonState(kMainWindow, names::工具条1, 1, kPressed);
  ui::AddToolButtonState(kMainWindow, names::工具条1, index, kPressed);
  if (index == kCollectPage || index == kSubmitPage) ui::SetCurrentPage(kMainWindow, names::选择夹1, index);
}

void CollectButtonClicked() {
  Controls& form = MainForm();
  StartThread([&form] { CollectLinks(form); });
}

void SubmitCollectedClicked() {
  Controls& form = MainForm();
  StartThread([&form] { SubmitLinks(form, names::编辑框8, names::编辑框10); });
}

void SubmitPastedClicked() {
  Controls& form = MainForm();
  StartThread([&form] { SubmitLinks(form, names::编辑框11, names::编辑框12); });
}

void InterfaceBoxReleased() { MainForm().SetText(names::编辑框9, Text()); }

void SiteLabelReleased() {
  const Text address = GetPopupAddress();
  if (IsOpenableAddress(address)) ui::OpenAddress(address);
}

WindowPlace NoticeWindowPlace(int screenWidth, int screenHeight) {
  return {screenWidth - 360, screenHeight - 410};
}

void NoticeWindowCreated() {
  const WindowPlace place = NoticeWindowPlace(ui::ScreenWidth(), ui::ScreenHeight());
  ui::SetWindowPosition(kNoticeWindow, place.left, place.top);
  // The address comes from a remote page: the embedded browser only gets a web address.
  const Text& address = NoticeWindowAddress();
  if (IsOpenableAddress(address)) ui::SetBrowserAddress(kNoticeWindow, names::超文本浏览框1, address);
}

void NoticeTimerTick() {
  ++CountdownTicks;
  const double remaining = kCountdownSeconds - CountdownTicks;
  ui::SetWindowCaption(kNoticeWindow, JoinTexts(ToText(remaining), "秒后关闭"));
  if (CountdownTicks == kCountdownSeconds) ui::UnloadWindow(kNoticeWindow);
}

}  // namespace kestrin::app
