// The Win32 window framework on a small form of its own: edit-box texts, appending, the status
// bar, tool-bar states, pages, events, loading and unloading, workers, message boxes and opening
// addresses. Runs under Wine on a virtual screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/windows/windows_api.h"

#include <commctrl.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/codepage.h"
#include "runtime/events.h"
#include "runtime/runtime_error.h"
#include "tests/runtime/death_report.h"
#include "tests/ui/win32/win32_helpers.h"
#include "ui/form_states.h"
#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

using testwin::BoxAnswerer;
using testwin::Pump;
using testwin::PumpUntil;
using testwin::RunWorker;

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

Text Gbk(const std::wstring& text) { return Utf16ToGbk(std::u16string(text.begin(), text.end())); }

std::wstring StatusPart(int part) {
  const HWND bar = Control("状态条1");
  std::wstring text(static_cast<std::size_t>(LOWORD(::SendMessageW(bar, SB_GETTEXTLENGTHW, part, 0))) + 1, L'\0');
  ::SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
  text.resize(text.size() - 1);
  return text;
}

int ToolButtonIdAt(int index) {
  TBBUTTON button{};
  ::SendMessageW(Control("工具条1"), TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
  return button.idCommand;
}

void ClickToolButton(int index) {
  RECT rect{};
  ::SendMessageW(Control("工具条1"), TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
  testwin::Click(Control("工具条1"), (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

class WindowFrameworkTest : public testing::Test {
 protected:
  void SetUp() override {
    InstallProgram({kLayouts, kBindings, kForm});
    Reload();
  }

  void TearDown() override {
    if (HWND form = WindowHandle(kForm)) ::DestroyWindow(form);
    SetScreenSizeOverride(0, 0);
    SetAddressOpener({});
    Pump();
  }

  // A fresh form, as at creation.
  void Reload() {
    if (HWND form = WindowHandle(kForm)) ::DestroyWindow(form);
    g_events.clear();
    ASSERT_TRUE(LoadWindow(kForm));
  }

  Controls& form_ = FormControls(kForm);
};

TEST_F(WindowFrameworkTest, EditBoxesKeepTheBytesTheProgramSet) {
  struct Case {
    const char* name;
    const char* control;
    std::optional<Text> set;  // nothing: the layout's text
    Text expected;
  };
  const Case cases[] = {
      {"layout text, one line", "编辑框1", std::nullopt, "单行"},
      {"a lone CR survives", "编辑框2", std::nullopt, "<div>\r"},
      {"CR LF and a lone CR", "编辑框3", Text("甲\r\n乙\r丙"), "甲\r\n乙\r丙"},
      {"emptied", "编辑框1", Text(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.set) form_.SetText(c.control, *c.set);
    EXPECT_EQ(form_.ReadText(c.control), c.expected);
    // The control itself holds those characters, not a converted copy of them.
    const std::u16string expected = GbkToUtf16(c.expected);
    EXPECT_EQ(testwin::TextOf(Control(c.control)), std::wstring(expected.begin(), expected.end()));
  }
}

TEST_F(WindowFrameworkTest, EditedBoxesReadBackWhatTheyHold) {
  struct Case {
    const char* name;
    const char* control;
    Text set;
    const wchar_t* typed;  // at the caret, which a set text leaves at the start; '\r' is Enter
    Text expected;
  };
  const Case cases[] = {
      {"a lone CR stays one", "编辑框2", "<div>\r", L"x", "x<div>\r"},
      {"lines joined by CR LF", "编辑框3", "a\r\nb", L"c", "ca\r\nb"},
      {"Enter breaks the line with CR LF", "编辑框3", "", L"a\rb", "a\r\nb"},
      {"one line", "编辑框1", "单行", L"z", "z单行"},
      {"a character typed in Chinese", "编辑框1", "", L"\x4E2D", "中"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form_.SetText(c.control, c.set);
    testwin::Type(Control(c.control), c.typed);
    EXPECT_EQ(form_.ReadText(c.control), c.expected);
    // A worker reads what the user typed too.
    Text seenByWorker;
    RunWorker([&] { seenByWorker = form_.ReadText(c.control); });
    EXPECT_EQ(seenByWorker, c.expected);
  }
}

TEST_F(WindowFrameworkTest, AppendAddsTextsInOrderAndLeavesTheCaretAtTheEnd) {
  const HWND multi = Control("编辑框3");
  form_.SetText("编辑框3", "前\r\n");
  form_.AppendEditText("编辑框3", {"一\r\n", "二\r"});
  EXPECT_EQ(form_.ReadText("编辑框3"), "前\r\n一\r\n二\r");
  DWORD start = 0, end = 0;
  ::SendMessageW(multi, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, static_cast<DWORD>(::GetWindowTextLengthW(multi)));
  EXPECT_EQ(end, start);
  EXPECT_FALSE(::SendMessageW(multi, EM_CANUNDO, 0, 0)) << "appending is not undoable";

  // The user types at the end; the next append goes after what the box then holds.
  testwin::Type(multi, L"q");
  form_.AppendEditText("编辑框3", {"z"});
  EXPECT_EQ(form_.ReadText("编辑框3"), "前\r\n一\r\n二\rqz");

  form_.AppendEditText("编辑框1", {"+", "x"});
  EXPECT_EQ(form_.ReadText("编辑框1"), "单行+x");
  const HWND line = Control("编辑框1");
  ::SendMessageW(line, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end, static_cast<DWORD>(::GetWindowTextLengthW(line)));
}

TEST_F(WindowFrameworkTest, ALongLogIsShownWholeAndScrolledToItsEnd) {
  constexpr int kLines = 3000;
  Text all;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) {
      form_.AppendEditText("编辑框3", {"第" + std::to_string(i) + "行", "\r\n"});
      all += "第" + std::to_string(i) + "行\r\n";
    }
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([] { return !HasChangesToShow(kForm); }));
  const HWND box = Control("编辑框3");
  EXPECT_EQ(form_.ReadText("编辑框3"), all);
  EXPECT_EQ(::SendMessageW(box, EM_GETLINECOUNT, 0, 0), kLines + 1);
  // The last line is in view: the box scrolled as the lines came.
  EXPECT_GT(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), kLines - 10);
}

TEST_F(WindowFrameworkTest, StatusBarChangesOnlyPartsThatExist) {
  struct Case {
    const char* name;
    int part;
    const wchar_t* part0;
    const wchar_t* part1;
  };
  const Case cases[] = {
      {"second part", 1, L"状态提示：", L"正在采集"},
      {"first part", 0, L"正在采集", L""},
      {"index equal to the number of parts", 2, L"状态提示：", L""},
      {"negative index", -1, L"状态提示：", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    form_.SetStatusPartText(c.part, "正在采集");
    EXPECT_EQ(::SendMessageW(Control("状态条1"), SB_GETPARTS, 0, 0), 2);
    EXPECT_EQ(StatusPart(0), c.part0);
    EXPECT_EQ(StatusPart(1), c.part1);
  }
  int edges[2] = {};
  ::SendMessageW(Control("状态条1"), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  EXPECT_EQ(edges[0], 60);
  EXPECT_EQ(edges[1], -1) << "the last part takes the rest";
  RECT bar{}, client{};
  ::GetWindowRect(Control("状态条1"), &bar);
  ::GetClientRect(WindowHandle(kForm), &client);
  EXPECT_EQ(bar.bottom - bar.top, 20);
  EXPECT_EQ(bar.right - bar.left, client.right);
}

TEST_F(WindowFrameworkTest, ToolButtonStatesAreTheButtonsOwn) {
  struct Op {
    bool add;
    int index;
    int bits;
    int result;
  };
  struct Case {
    const char* name;
    std::vector<Op> ops;
    std::array<int, 3> state;  // 1 checked, 2 pressed, 4 enabled, 8 hidden, 16 indeterminate
  };
  const Case cases[] = {
      {"pressed", {{true, 0, 2, 0}}, {6, 4, 4}},
      {"pressed and released", {{true, 1, 2, 1}, {false, 1, 2, 1}}, {4, 4, 4}},
      {"disabled", {{true, 2, 4, 2}}, {4, 4, 0}},
      {"disabled and enabled", {{true, 2, 4, 2}, {false, 2, 4, 2}}, {4, 4, 4}},
      {"checked and hidden", {{true, 0, 1 | 8, 0}}, {13, 4, 4}},
      {"indeterminate", {{true, 1, 16, 1}}, {4, 20, 4}},
      {"no bits", {{true, 0, 0, 0}, {false, 1, 0, 1}}, {4, 4, 4}},
      {"outside the buttons", {{true, 3, 2, -1}, {false, -1, 2, -1}}, {4, 4, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    for (const Op& op : c.ops) {
      const int result = op.add ? AddToolButtonState(kForm, "工具条1", op.index, op.bits)
                                : RemoveToolButtonState(kForm, "工具条1", op.index, op.bits);
      EXPECT_EQ(result, op.result);
    }
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ToolButtonState(kForm, "工具条1", i), c.state[i]) << "mirror of button " << i;
      EXPECT_EQ(::SendMessageW(Control("工具条1"), TB_GETSTATE, ToolButtonIdAt(i), 0), c.state[i]) << "button " << i;
    }
  }
  EXPECT_EQ(ToolButtonState(kForm, "工具条1", 3), -1);
}

TEST_F(WindowFrameworkTest, ClickingAToolButtonLeavesItsLookToTheStateOperations) {
  g_events.clear();
  ClickToolButton(2);
  EXPECT_EQ(::SendMessageW(Control("工具条1"), TB_GETSTATE, ToolButtonIdAt(2), 0), TBSTATE_ENABLED);
  AddToolButtonState(kForm, "工具条1", 2, 2);
  ClickToolButton(2);
  EXPECT_EQ(::SendMessageW(Control("工具条1"), TB_GETSTATE, ToolButtonIdAt(2), 0), TBSTATE_ENABLED | TBSTATE_PRESSED);
  EXPECT_EQ(g_events, (std::vector<std::string>{"tool 2", "tool 2"}));
}

TEST_F(WindowFrameworkTest, EventsReachTheirBoundHandlersOnly) {
  struct Case {
    const char* name;
    std::function<void()> act;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"button clicked", [] { testwin::ClickCentre(Control("按钮1")); }, {"clicked 0"}},
      {"second tool button", [] { ClickToolButton(1); }, {"tool 1"}},
      {"left release over a line edit", [] { testwin::ClickCentre(Control("编辑框1")); }, {"released 1"}},
      {"left release over a multi-line box", [] { testwin::ClickCentre(Control("编辑框3")); }, {"released 3"}},
      {"another button", [] { testwin::MiddleClick(Control("编辑框1")); }, {}},
      {"release over an unbound label", [] { testwin::ClickCentre(Control("标签1")); }, {}},
      {"click on an unbound button", [] { testwin::ClickCentre(Control("按钮2")); }, {}},
      {"a check box has no handler", [] { testwin::ClickCentre(Control("选择框1")); }, {}},
  };
  SetCurrentPage(kForm, "选择夹1", 1);  // 按钮2 is on page 1
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_events.clear();
    c.act();
    EXPECT_EQ(g_events, c.expected);
  }
}

TEST_F(WindowFrameworkTest, ChoicesReadAsTheUserLeftThem) {
  EXPECT_TRUE(form_.ReadState("选择框1"));
  EXPECT_FALSE(form_.ReadState("单选框1"));
  EXPECT_TRUE(form_.ReadState("单选框2"));
  testwin::ClickCentre(Control("选择框1"));
  testwin::ClickCentre(Control("单选框1"));
  bool box = true, first = false, second = true;
  RunWorker([&] {
    box = form_.ReadState("选择框1");
    first = form_.ReadState("单选框1");
    second = form_.ReadState("单选框2");
  });
  EXPECT_FALSE(box);
  EXPECT_TRUE(first);
  EXPECT_FALSE(second) << "selecting one radio button clears the other of its group";
}

TEST_F(WindowFrameworkTest, PagesShowOneAtATime) {
  const auto shown = [](const char* control) { return ::IsWindowVisible(Control(control)) != FALSE; };
  EXPECT_EQ(CurrentPage(kForm, "选择夹1"), 0);
  EXPECT_TRUE(shown("编辑框4"));
  EXPECT_FALSE(shown("按钮2"));
  ::SetFocus(Control("编辑框4"));
  SetCurrentPage(kForm, "选择夹1", 1);
  EXPECT_FALSE(shown("编辑框4"));
  EXPECT_NE(::GetFocus(), Control("编辑框4")) << "keys go on into a hidden box";
  EXPECT_TRUE(shown("按钮2"));
  EXPECT_TRUE(shown("编辑框1")) << "controls on the window itself stay";
  SetCurrentPage(kForm, "选择夹1", 2);
  SetCurrentPage(kForm, "选择夹1", -1);
  EXPECT_EQ(CurrentPage(kForm, "选择夹1"), 1) << "a page outside the pages changes nothing";
  // Page controls lie at their places in the container: (10, 220) + (5, 5).
  RECT box{};
  ::GetWindowRect(Control("按钮2"), &box);
  ::MapWindowPoints(nullptr, WindowHandle(kForm), reinterpret_cast<POINT*>(&box), 2);
  EXPECT_EQ(box.left, 15);
  EXPECT_EQ(box.top, 225);
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

TEST_F(WindowFrameworkTest, AStartWindowMakesItsHiddenPagesAfterItsFirstPaintAsAnyWindowWould) {
  struct Case {
    const char* name;
    int chosenFirst;  // the page chosen before the thread takes a message; -1 for none
    bool firstPageShown;
  };
  const Case cases[] = {
      {"no page chosen", -1, true},
      {"second page chosen before its controls exist", 1, false},
  };
  const std::vector<ChildLook> built = FormChildren();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::DestroyWindow(WindowHandle(kForm));
    g_events.clear();
    ASSERT_TRUE(LoadAsStartWindow(kForm));
    EXPECT_EQ(Control("按钮2"), nullptr) << "the second page is made after the first paint";
    EXPECT_NE(Control("编辑框4"), nullptr);
    EXPECT_TRUE(g_events.empty()) << "created before the first paint";
    if (c.chosenFirst >= 0) SetCurrentPage(kForm, "选择夹1", c.chosenFirst);
    ASSERT_TRUE(PumpUntil([] { return !g_events.empty(); }));
    EXPECT_EQ(g_events, std::vector<std::string>{"form created"});
    ASSERT_NE(Control("按钮2"), nullptr);
    EXPECT_EQ(::IsWindowVisible(Control("编辑框4")) != FALSE, c.firstPageShown);
    EXPECT_EQ(::IsWindowVisible(Control("按钮2")) != FALSE, !c.firstPageShown);
    if (c.chosenFirst < 0) {
      EXPECT_EQ(FormChildren(), built) << "the same controls in the same order";
    }
  }
}

TEST_F(WindowFrameworkTest, LoadWindowCreatesOwnedWindowsOnce) {
  EXPECT_EQ(g_events, std::vector<std::string>{"form created"});
  EXPECT_FALSE(LoadWindow("nosuch"));
  EXPECT_FALSE(LoadWindow(kChild, "nosuch"));
  EXPECT_FALSE(IsWindowLoaded(kChild));

  g_events.clear();
  ASSERT_TRUE(LoadWindow(kChild, kForm, false));
  // The created event ran inside LoadWindow, with the window already there.
  EXPECT_EQ(g_events, std::vector<std::string>{"child created +child"});
  const HWND child = WindowHandle(kChild);
  EXPECT_EQ(::GetWindow(child, GW_OWNER), WindowHandle(kForm));
  EXPECT_TRUE(::IsWindowVisible(child));
  EXPECT_TRUE(::IsWindowEnabled(WindowHandle(kForm))) << "not modal";

  EXPECT_TRUE(LoadWindow(kChild, kForm, false));
  EXPECT_EQ(g_events.size(), 1u) << "a loaded window is not created again";
  EXPECT_EQ(WindowHandle(kChild), child);
}

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

TEST_F(WindowFrameworkTest, OwnedWindowsGoWhenUnloadedClosedOrWithTheirOwner) {
  struct Case {
    const char* name;
    std::function<void()> end;
    bool goneOnlyOnceMessagesAreHandled;
    bool formStays;
  };
  const Case cases[] = {
      {"unloaded", [] { UnloadWindow(kChild); }, true, true},
      {"closed by hand", [] { ::SendMessageW(WindowHandle(kChild), WM_CLOSE, 0, 0); }, false, true},
      {"owner destroyed", [] { ::DestroyWindow(WindowHandle(kForm)); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    ASSERT_TRUE(LoadWindow(kChild, kForm, false));
    c.end();
    EXPECT_EQ(IsWindowLoaded(kChild), c.goneOnlyOnceMessagesAreHandled);
    Pump();
    EXPECT_FALSE(IsWindowLoaded(kChild));
    EXPECT_EQ(IsWindowLoaded(kForm), c.formStays);
  }
}

TEST_F(WindowFrameworkTest, WindowsAreCentredAndKeepTheirOuterSize) {
  SetScreenSizeOverride(1920, 1080);
  Reload();
  const HWND window = WindowHandle(kForm);
  RECT outer{};
  ::GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, (1920 - 400) / 2);
  EXPECT_EQ(outer.top, (1080 - 400) / 2);
  EXPECT_EQ(outer.right - outer.left, 400);
  EXPECT_EQ(outer.bottom - outer.top, 400);
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME) << "not resizable";
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_EQ(testwin::TextOf(window), L"窗体");

  SetWindowPosition(kForm, 1560, 670);
  ::GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, 1560);
  EXPECT_EQ(outer.top, 670);
  EXPECT_EQ(ScreenWidth(), 1920);
  EXPECT_EQ(ScreenHeight(), 1080);
  SetScreenSizeOverride(0, 0);
  EXPECT_EQ(ScreenWidth(), ::GetSystemMetrics(SM_CXSCREEN));
}

TEST_F(WindowFrameworkTest, WorkersAppendWholeLinesInTheirOrder) {
  constexpr int kLines = 100;
  Text readByWorker;
  std::atomic<bool> doneA{false};
  std::atomic<bool> doneB{false};
  auto appendLines = [this](const char* tag, std::atomic<bool>& done) {
    for (int i = 0; i < kLines; ++i) form_.AppendEditText("编辑框3", {tag, std::to_string(i), "\r\n"});
    done = true;
  };
  std::thread a(appendLines, "甲", std::ref(doneA));
  std::thread b(appendLines, "乙", std::ref(doneB));
  RunWorker([&] {
    readByWorker = form_.ReadText("编辑框1");
    form_.SetStatusPartText(1, "来自工作线程");
  });
  PumpUntil([&] { return doneA && doneB; });
  a.join();
  b.join();
  ASSERT_TRUE(PumpUntil([] { return !HasChangesToShow(kForm); }));

  EXPECT_EQ(readByWorker, "单行");
  EXPECT_EQ(StatusPart(1), L"来自工作线程");
  // Every append is one operation: the lines stay whole and each thread's stay in order.
  std::vector<int> next(2, 0);
  int lines = 0;
  const Text all = form_.ReadText("编辑框3");
  EXPECT_EQ(Gbk(testwin::TextOf(Control("编辑框3"))), all) << "the box shows what the program knows";
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find("\r\n", start);
    ASSERT_NE(end, Text::npos);
    const Text line = all.substr(start, end - start);
    const int thread = line.rfind("甲", 0) == 0 ? 0 : 1;
    ASSERT_TRUE(thread == 0 || line.rfind("乙", 0) == 0) << line;
    EXPECT_EQ(line.substr(Text("甲").size()), std::to_string(next[thread]++));
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, 2 * kLines);
}

TEST_F(WindowFrameworkTest, WorkersNeitherWaitForTheWindowNorReadPastTheirOwnAppends) {
  // The window thread handles no messages while the worker runs: a worker that waited on it
  // would never finish.
  constexpr int kLines = 3000;
  Text expected;
  for (int i = 0; i < kLines; ++i) expected += "第" + std::to_string(i) + "行\r\n";
  Text readBack;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) {
      form_.AppendEditText("编辑框3", {"第" + std::to_string(i) + "行\r\n"});
      form_.SetStatusPartText(1, "第" + std::to_string(i) + "条");
    }
    readBack = form_.ReadText("编辑框3");
  });
  worker.join();
  EXPECT_EQ(readBack, expected) << "a read sees every earlier append";
  EXPECT_TRUE(HasChangesToShow(kForm));
  EXPECT_EQ(::GetWindowTextLengthW(Control("编辑框3")), 0) << "shown at the next frame, not before";

  ASSERT_TRUE(PumpUntil([] { return !HasChangesToShow(kForm); }));
  EXPECT_EQ(Gbk(testwin::TextOf(Control("编辑框3"))), expected);
  EXPECT_EQ(Gbk(StatusPart(1)), "第" + std::to_string(kLines - 1) + "条") << "only the newest status text is shown";
}

TEST_F(WindowFrameworkTest, LabelsThatDoNotFitOneLineBreakAndGrowToTheirLines) {
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

TEST(MessageBoxTest, FlagsChooseButtonsAndTheAnswerIsMapped) {
  struct Case {
    const char* name;
    int flags;
    int click;  // the button's identifier
    int expected;
    std::vector<int> buttons;
    bool icon;
    bool taskModal;
  };
  const Case cases[] = {
      {"OK box", 0, IDOK, 0, {IDOK}, false, true},
      {"OK/Cancel: Cancel", 1, IDCANCEL, 1, {IDOK, IDCANCEL}, false, true},
      {"Abort/Retry/Ignore: Abort", 2, IDABORT, 2, {IDABORT, IDRETRY, IDIGNORE}, false, true},
      {"Abort/Retry/Ignore: Retry", 2, IDRETRY, 3, {IDABORT, IDRETRY, IDIGNORE}, false, true},
      {"Abort/Retry/Ignore: Ignore", 2, IDIGNORE, 4, {IDABORT, IDRETRY, IDIGNORE}, false, true},
      {"Yes/No: Yes", 4, IDYES, 5, {IDYES, IDNO}, false, true},
      {"Yes/No: No", 4, IDNO, 6, {IDYES, IDNO}, false, true},
      {"Yes/No/Cancel: Cancel", 3, IDCANCEL, 1, {IDYES, IDNO, IDCANCEL}, false, true},
      {"error icon", 0x10, IDOK, 0, {IDOK}, true, true},
      {"system modal: no task to hold", 0x1000, IDOK, 0, {IDOK}, false, false},
  };
  const ControlLayout rows[] = {{"标签1", ControlKind::Label, "主窗口", 0, 0, 100, 24}};
  const WindowLayout layouts[] = {{"owner", "", 300, 200, rows}};
  InstallProgram({layouts, {}, "owner"});
  ASSERT_TRUE(LoadWindow("owner"));
  const HWND window = WindowHandle("owner");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoxAnswerer answer(c.click, window);
    EXPECT_EQ(MessageBox("有消息", c.flags), c.expected);
    const testwin::SeenBox& seen = answer.Seen();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, L"信息：");
    EXPECT_EQ(seen.text, L"有消息");
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_THAT(seen.buttons, testing::UnorderedElementsAreArray(c.buttons));
    EXPECT_EQ(seen.ownerDisabled, c.taskModal) << "a task-modal box holds the program's windows";
    EXPECT_TRUE(::IsWindowEnabled(window));
  }
  ::DestroyWindow(window);
}

TEST(MessageBoxTest, AWorkersBoxShowsOnTheWindowThreadAndTheWorkerWaitsForTheAnswer) {
  BoxAnswerer answer(IDNO);
  int result = -1;
  RunWorker([&] { result = FormControls("any").MessageBox("继续吗？", 4, "问题"); });
  EXPECT_EQ(result, 6);
  EXPECT_EQ(answer.Seen().thread, ::GetCurrentThreadId());
  EXPECT_EQ(answer.Seen().title, L"问题");
  EXPECT_EQ(answer.Seen().text, L"继续吗？");
}

TEST(OpenAddressTest, OnlyWebAddressesReachTheShell) {
  struct Case {
    const char* address;
    bool opened;
  };
  const Case cases[] = {
      {"http://kestrin.example/pop/17.html", true},
      {"HTTPS://Shop.example/a?b=1", true},
      {"17.html", false},
      {"file:///C:/windows/win.ini", false},
      {"javascript:alert(1)", false},
      {"http://kestrin.example/\r\ncalc.exe", false},
  };
  std::vector<Text> opened;
  SetAddressOpener([&](const Text& address) { opened.push_back(address); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    opened.clear();
    RunWorker([&] { OpenAddress(c.address); });
    ASSERT_EQ(opened.size(), c.opened ? 1u : 0u);
    if (c.opened) {
      EXPECT_EQ(opened[0], c.address);
    }
  }
  SetAddressOpener({});
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

const char* Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(WindowFrameworkDeathTest, UnloadingAWindowThatIsNotLoadedIsFatal) {
  EXPECT_EXIT(UnloadWindow("nosuch"), testing::ExitedWithCode(kRuntimeErrorExitCode),
              Utf8(u8"指定窗口或窗口组件不存在或尚未载入"));
}

TEST(WindowFrameworkDeathTest, ControlsOfAWindowThatIsNotLoadedAreFatal) {
  EXPECT_EXIT((void)FormControls("nosuch").ReadText("编辑框1"), testing::ExitedWithCode(kRuntimeErrorExitCode),
              Utf8(u8"指定窗口或窗口组件不存在或尚未载入"));
}

TEST(WindowFrameworkDeathTest, ARuntimeErrorIsShownInABoxCaptionedError) {
  EXPECT_EXIT(
      {
        InstallWindowServices();
        static BoxAnswerer answer(IDOK, nullptr, [](const testwin::SeenBox& seen) {
          std::string line = "[" + GbkToUtf8(Gbk(seen.title)) + "|" + (seen.icon ? "icon" : "no icon") + "|" +
                             GbkToUtf8(Gbk(seen.text)) + "]\n";
          std::erase(line, '\r');  // standard error is a text stream: it writes its own CRs
          std::fputs(line.c_str(), stderr);
          std::fflush(stderr);
        });
        std::thread([] { ReportRuntimeError(0, "工作线程出错"); }).detach();
        for (;;) testwin::PumpFor(10);
      },
      testing::ExitedWithCode(kRuntimeErrorExitCode),
      testing::HasSubstr(AsDeathTestReads(Utf8(u8"[错误|icon|运行时出错!\r\n\r\n错误信息：工作线程出错"))));
}

}  // namespace
}  // namespace kestrin::ui
