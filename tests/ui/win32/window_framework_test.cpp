// What only the Win32 backend has to show: the keyboard's way back to its control, labels grown to
// their lines, and the message queue's quit request. Runs under Wine on a virtual screen. The behaviour both backends share is in
// ../window_behaviour_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/windows/windows_api.h"

#include <commctrl.h>

#include <string>
#include <tuple>
#include <vector>

#include "runtime/events.h"
#include "runtime/runtime_error.h"
#include "tests/ui/win32/win32_helpers.h"
#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

using testwin::Pump;
using testwin::PumpUntil;

constexpr std::string_view kForm = "form";
constexpr std::string_view kChild = "child";

constexpr ControlLayout kFormControls[] = {
    {"工具条1", ControlKind::ToolBar, "甲\n乙\n丙", 10, 10, 240, 32, kBoldFont},
    {"编辑框1", ControlKind::EditBox, "单行", 10, 50, 200, 24},
    {"编辑框2", ControlKind::EditBox, "<div>\r", 10, 80, 200, 60, kMultiLine},
    {"编辑框3", ControlKind::EditBox, "", 10, 150, 200, 60, kMultiLine},
    {"标签1", ControlKind::Label, "标签", 220, 50, 80, 24},
    {"按钮1", ControlKind::Button, "按钮", 220, 80, 80, 24},
    {"选择框1", ControlKind::CheckBox, "选择", 220, 110, 80, 24, kChecked},
    {"单选框1", ControlKind::RadioButton, "甲", 300, 110, 40, 24},
    {"单选框2", ControlKind::RadioButton, "乙", 340, 110, 40, 24, kChecked},
    {"选择夹1", ControlKind::PageContainer, "一\n二", 10, 220, 300, 100},
    {"状态条1", ControlKind::StatusBar, "状态提示：\n", 0, 0, 0, 20, 0, kOnWindow, 60},
    {"时钟1", ControlKind::Timer, "", 0, 0, 0, 0},
    {"编辑框4", ControlKind::EditBox, "第一页", 5, 5, 100, 24, 0, 0},
    {"按钮2", ControlKind::Button, "第二页", 5, 5, 80, 24, 0, 1},
};
constexpr ControlLayout kChildControls[] = {
    {"标签1", ControlKind::Label, "子窗口", 0, 0, 100, 24},
};
const WindowLayout kLayouts[] = {
    {kForm, "窗体", 400, 400, kFormControls},
    {kChild, "", 200, 150, kChildControls},
};

std::vector<std::string> g_events;

// Notes whether the child window exists at the moment of the event.
void Record(std::string event) {
  const bool childLoaded = WindowHandle(kChild) != nullptr;
  g_events.push_back(std::move(event) + (childLoaded ? " +child" : ""));
}

const Binding kBindings[] = {
    {kForm, "", Event::Created, [](int) { Record("form created"); }},
    {kChild, "", Event::Created, [](int) { Record("child created"); }},
    {kForm, "按钮1", Event::Clicked, [](int argument) { Record("clicked " + std::to_string(argument)); }},
    {kForm, "工具条1", Event::ToolButtonClicked, [](int index) { Record("tool " + std::to_string(index)); }},
    {kForm, "编辑框1", Event::LeftButtonReleased, [](int) { Record("released 1"); }},
    {kForm, "编辑框3", Event::LeftButtonReleased, [](int) { Record("released 3"); }},
};

HWND Control(std::string_view control, std::string_view window = kForm) { return ControlHandle(window, control); }

class WindowFrameworkTest : public testing::Test {
 protected:
  void SetUp() override {
    InstallProgram({kLayouts, kBindings, kForm});
    if (HWND form = WindowHandle(kForm)) ::DestroyWindow(form);
    ASSERT_TRUE(LoadWindow(kForm));
  }

  void TearDown() override {
    if (HWND form = WindowHandle(kForm)) ::DestroyWindow(form);
    Pump();
  }
};

TEST_F(WindowFrameworkTest, TheKeyboardReturnsToItsControlWhenTheWindowIsActiveAgain) {
  ::SetActiveWindow(WindowHandle(kForm));
  ::SetFocus(Control("编辑框3"));
  ASSERT_TRUE(LoadWindow(kChild, kForm, false));
  ::SetActiveWindow(WindowHandle(kChild));
  Pump();
  EXPECT_NE(::GetFocus(), Control("编辑框3"));
  ::SetActiveWindow(WindowHandle(kForm));
  Pump();
  EXPECT_EQ(::GetFocus(), Control("编辑框3"));
}

TEST_F(WindowFrameworkTest, LabelsThatBreakGrowToTheirLines) {
  struct Case {
    const char* text;
    int width;
    bool oneLine;
  };
  const Case cases[] = {
      {"标签", 80, true},
      // The colon's blank half may overhang: its ink still fits.
      {"推送接口：", 56, true},
      {"分页数字用$代替", 60, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ControlLayout rows[] = {{"标签9", ControlKind::Label, c.text, 0, 0, c.width, 24}};
    const WindowLayout layouts[] = {{"labels", "", 300, 200, rows}};
    InstallProgram({layouts, {}, "labels"});
    ASSERT_TRUE(LoadWindow("labels"));
    const HWND label = ControlHandle("labels", "标签9");
    const LONG style = ::GetWindowLongW(label, GWL_STYLE) & SS_TYPEMASK;
    EXPECT_EQ(style, c.oneLine ? SS_LEFTNOWORDWRAP : SS_LEFT);
    const HDC dc = ::GetDC(label);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, previous);
    ::ReleaseDC(label, dc);
    RECT client{};
    ::GetClientRect(label, &client);
    const int lines = c.oneLine ? 1 : 2;
    EXPECT_EQ(client.bottom, std::max<int>(24, lines * metrics.tmHeight));
    ::DestroyWindow(WindowHandle("labels"));
  }
  InstallProgram({kLayouts, kBindings, kForm});
}

TEST(ProcessPendingEventsTest, HandlesTheWindowThreadsQueueUpToAQuitRequest) {
  InstallProgram({kLayouts, kBindings, kForm});
  ASSERT_TRUE(LoadWindow(kForm));
  Pump();
  InstallWindowServices();
  const HWND form = WindowHandle(kForm);
  const HWND button = ControlHandle(kForm, "按钮1");
  const auto postClick = [&] {
    ::PostMessageW(form, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
  };
  g_events.clear();
  postClick();
  std::thread worker([] { ProcessPendingEvents(); });
  worker.join();
  EXPECT_TRUE(g_events.empty()) << "a worker has no window events to let through";

  ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0);
  postClick();
  ProcessPendingEvents();
  EXPECT_EQ(g_events, std::vector<std::string>{"clicked 0"}) << "nothing past the quit request";
  MSG next{};
  ASSERT_TRUE(::PeekMessageW(&next, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(next.message, static_cast<UINT>(WM_QUIT)) << "the quit request stays queued";
  Pump();
  SetErrorBoxHook(nullptr);  // later failures in this process go to standard error
  SetProcessPendingEventsHook(nullptr);
  ::DestroyWindow(form);
}

// The form's controls in their order (tab order, and what is drawn over what) with what tells
// them apart: class, identifier, visibility and groups, place.
using ChildLook = std::tuple<std::wstring, int, LONG, LONG, LONG>;
std::vector<ChildLook> FormChildren() {
  std::vector<ChildLook> children;
  for (HWND c = ::GetWindow(WindowHandle(kForm), GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    wchar_t kind[64] = {};
    ::GetClassNameW(c, kind, 64);
    RECT place{};
    ::GetWindowRect(c, &place);
    const LONG style = ::GetWindowLongW(c, GWL_STYLE) & (WS_VISIBLE | WS_GROUP | WS_TABSTOP);
    children.emplace_back(kind, ::GetDlgCtrlID(c), style, place.left, place.top);
  }
  return children;
}

TEST_F(WindowFrameworkTest, AStartWindowIsPaintedWholeBeforeItsCreatedEventAsAnyWindowIsMade) {
  struct Case {
    const char* name;
    int chosenFirst;  // the page chosen before the thread takes a message; -1 for none
    bool firstPageShown;
  };
  const Case cases[] = {
      {"no page chosen", -1, true},
      {"second page chosen before the created event", 1, false},
  };
  const std::vector<ChildLook> built = FormChildren();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::DestroyWindow(WindowHandle(kForm));
    g_events.clear();
    ASSERT_TRUE(LoadAsStartWindow(kForm));
    EXPECT_NE(Control("按钮2"), nullptr) << "every page is made before the first paint";
    EXPECT_NE(Control("编辑框4"), nullptr);
    EXPECT_TRUE(g_events.empty()) << "created before the first paint";
    if (c.chosenFirst >= 0) SetCurrentPage(kForm, "选择夹1", c.chosenFirst);
    ASSERT_TRUE(PumpUntil([] { return !g_events.empty(); }));
    EXPECT_EQ(g_events, std::vector<std::string>{"form created"});
    EXPECT_EQ(::IsWindowVisible(Control("编辑框4")) != FALSE, c.firstPageShown);
    EXPECT_EQ(::IsWindowVisible(Control("按钮2")) != FALSE, !c.firstPageShown);
    if (c.chosenFirst < 0) {
      EXPECT_EQ(FormChildren(), built) << "the same controls in the same order";
    }
  }
}


}  // namespace
}  // namespace kestrin::ui
