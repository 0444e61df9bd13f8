// The window framework's behaviour on a small form of its own, one table for both backends: the
// Qt one offscreen and the Win32 one under Wine, each through its thin probe (window_probe.h).
// Typing, reading, clicking, appends, form states, tool-bar states, pages, events, loading and
// unloading, and workers: a row that one backend answers otherwise fails there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/events.h"
#include "runtime/runtime_error.h"
#include "tests/runtime/death_report.h"
#include "tests/ui/window_probe.h"
#include "ui/form_states.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

using probe::Box;
using probe::ToolLook;

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
    {"标签2", ControlKind::Label, "页上标签", 120, 5, 80, 24, 0, 0},
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
void Record(std::string event) { g_events.push_back(std::move(event) + (probe::Exists(kChild) ? " +child" : "")); }

const Binding kBindings[] = {
    {kForm, "", Event::Created, [](int) { Record("form created"); }},
    {kChild, "", Event::Created, [](int) { Record("child created"); }},
    {kForm, "按钮1", Event::Clicked, [](int argument) { Record("clicked " + std::to_string(argument)); }},
    {kForm, "工具条1", Event::ToolButtonClicked, [](int index) { Record("tool " + std::to_string(index)); }},
    {kForm, "编辑框1", Event::LeftButtonReleased, [](int) { Record("released 1"); }},
    {kForm, "编辑框3", Event::LeftButtonReleased, [](int) { Record("released 3"); }},
    {kForm, "标签2", Event::LeftButtonReleased, [](int) { Record("released label 2"); }},
};

class WindowBehaviourTest : public testing::Test {
 protected:
  void SetUp() override {
    probe::Prepare();
    InstallProgram({kLayouts, kBindings, kForm});
    Reload();
  }

  void TearDown() override {
    probe::Destroy(kForm);
    probe::OverrideScreen(0, 0);
    probe::Pump();
  }

  // A fresh form, as at creation.
  void Reload() {
    probe::Destroy(kForm);
    probe::Pump();
    g_events.clear();
    ASSERT_TRUE(LoadWindow(kForm));
  }

  Controls& form_ = FormControls(kForm);
};

TEST_F(WindowBehaviourTest, EditBoxesKeepTheBytesTheProgramSet) {
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
    EXPECT_EQ(probe::Shown(kForm, c.control), c.expected) << "what the box itself holds";
  }
}

// A lone CR is not a line break: as in a Windows edit control, the box keeps it where the program
// put it, also once the user has typed.
TEST_F(WindowBehaviourTest, EditedBoxesReadBackWhatTheyHold) {
  struct Case {
    const char* name;
    const char* control;
    Text set;
    const char16_t* typed;  // at the caret, which a set text leaves at the start; '\r' is Enter
    Text expected;
  };
  const Case cases[] = {
      {"a lone CR stays one", "编辑框2", "<div>\r", u"x", "x<div>\r"},
      {"lines joined by CR LF", "编辑框3", "a\r\nb", u"c", "ca\r\nb"},
      {"Enter breaks the line with CR LF", "编辑框3", "", u"a\rb", "a\r\nb"},
      {"one line", "编辑框1", "单行", u"z", "z单行"},
      {"a character typed in Chinese", "编辑框1", "", u"中", "中"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form_.SetText(c.control, c.set);
    probe::Type(kForm, c.control, c.typed);
    EXPECT_EQ(form_.ReadText(c.control), c.expected);
    Text seenByWorker;
    probe::RunWorker([&] { seenByWorker = form_.ReadText(c.control); });
    EXPECT_EQ(seenByWorker, c.expected) << "a worker reads what the user typed too";
  }
}

TEST_F(WindowBehaviourTest, AppendAddsTextsInOrderAndLeavesTheCaretAtTheEnd) {
  form_.SetText("编辑框3", "前\r\n");
  form_.AppendEditText("编辑框3", {"一\r\n", "二\r"});
  EXPECT_EQ(form_.ReadText("编辑框3"), "前\r\n一\r\n二\r");
  EXPECT_TRUE(probe::CaretAtEnd(kForm, "编辑框3"));
  EXPECT_FALSE(probe::CanUndo(kForm, "编辑框3")) << "appending is not undoable";

  // The user types at the end; the next append goes after what the box then holds.
  probe::Type(kForm, "编辑框3", u"q");
  form_.AppendEditText("编辑框3", {"z"});
  EXPECT_EQ(form_.ReadText("编辑框3"), "前\r\n一\r\n二\rqz");

  form_.AppendEditText("编辑框1", {"+", "x"});
  EXPECT_EQ(form_.ReadText("编辑框1"), "单行+x");
  EXPECT_TRUE(probe::CaretAtEnd(kForm, "编辑框1"));
}

// Texts set at once or appended line by line, read back whole and shown scrolled to their end;
// the typing after them goes after them.
TEST_F(WindowBehaviourTest, LongTextsShowEveryLineAndReadBackAfterTheUserTypes) {
  struct Case {
    const char* name;
    int lines;         // numbered lines, each ending in CR LF, the first set and the rest appended
    const char* tail;  // appended last
  };
  const Case cases[] = {
      {"one line", 1, ""},      {"a block's worth", 16, ""}, {"one past a block", 17, ""},
      {"many blocks", 40, ""},  {"a lone CR at the end", 33, "末\r"},
      {"two-byte characters around a line break", 20, "推送失败甲\r\n乙"},
      {"a long log", 3000, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text all;
    std::thread worker([&] {
      form_.SetText("编辑框3", "0\r\n");
      all = "0\r\n";
      for (int i = 1; i < c.lines; ++i) {
        form_.AppendEditText("编辑框3", {"第" + std::to_string(i) + "行", "\r\n"});
        all += "第" + std::to_string(i) + "行\r\n";
      }
      form_.AppendEditText("编辑框3", {c.tail});
      all += c.tail;
    });
    worker.join();
    EXPECT_EQ(form_.ReadText("编辑框3"), all) << "the program's bytes, lone CR included";
    ASSERT_TRUE(probe::PumpUntil([] { return !HasChangesToShow(kForm); }));
    EXPECT_EQ(probe::Shown(kForm, "编辑框3"), all);
    EXPECT_TRUE(probe::CaretAtEnd(kForm, "编辑框3"));
    if (c.lines > 100) {
      EXPECT_GT(probe::FirstVisibleLine(kForm, "编辑框3"), c.lines - 10) << "scrolled as the lines came";
    }
    probe::Type(kForm, "编辑框3", u"z");
    EXPECT_EQ(form_.ReadText("编辑框3"), all + "z");
  }
}

TEST_F(WindowBehaviourTest, StatusBarChangesOnlyPartsThatExist) {
  struct Case {
    const char* name;
    int part;
    Text part0;
    Text part1;
  };
  const Case cases[] = {
      {"second part", 1, "状态提示：", "正在采集"},
      {"first part", 0, "正在采集", ""},
      {"index equal to the number of parts", 2, "状态提示：", ""},
      {"negative index", -1, "状态提示：", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    form_.SetStatusPartText(c.part, "正在采集");
    probe::Pump();
    EXPECT_EQ(probe::StatusPartCount(kForm, "状态条1"), 2);
    EXPECT_EQ(probe::StatusPart(kForm, "状态条1", 0), c.part0);
    EXPECT_EQ(probe::StatusPart(kForm, "状态条1", 1), c.part1);
  }
  EXPECT_EQ(probe::FirstStatusPartWidth(kForm, "状态条1"), 60);
  const Box bar = probe::Place(kForm, "状态条1");
  EXPECT_EQ(bar.height, 20);
  EXPECT_EQ(bar.width, probe::ClientWidth(kForm)) << "along the whole bottom";
}

TEST_F(WindowBehaviourTest, ToolButtonStatesAreMirroredAndShown) {
  struct Op {
    bool add;
    int index;
    int bits;
    int result;
  };
  constexpr ToolLook kUsable{false, true, true};
  constexpr ToolLook kSunk{true, true, true};
  constexpr ToolLook kGreyed{false, false, true};
  struct Case {
    const char* name;
    std::vector<Op> ops;
    std::array<int, 3> mirror;  // 1 checked, 2 pressed, 4 enabled, 8 hidden, 16 indeterminate
    std::array<ToolLook, 3> looks;
  };
  const Case cases[] = {
      {"pressed", {{true, 0, 2, 0}}, {6, 4, 4}, {kSunk, kUsable, kUsable}},
      {"pressed and released", {{true, 1, 2, 1}, {false, 1, 2, 1}}, {4, 4, 4}, {kUsable, kUsable, kUsable}},
      {"disabled", {{true, 2, 4, 2}}, {4, 4, 0}, {kUsable, kUsable, kGreyed}},
      {"disabled and enabled", {{true, 2, 4, 2}, {false, 2, 4, 2}}, {4, 4, 4}, {kUsable, kUsable, kUsable}},
      {"checked and hidden", {{true, 0, 1 | 8, 0}}, {13, 4, 4}, {ToolLook{true, false, false}, kUsable, kUsable}},
      {"indeterminate", {{true, 1, 16, 1}}, {4, 20, 4}, {kUsable, kGreyed, kUsable}},
      {"no bits", {{true, 0, 0, 0}, {false, 1, 0, 1}}, {4, 4, 4}, {kUsable, kUsable, kUsable}},
      {"outside the buttons", {{true, 3, 2, -1}, {false, -1, 2, -1}}, {4, 4, 4}, {kUsable, kUsable, kUsable}},
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
      EXPECT_EQ(ToolButtonState(kForm, "工具条1", i), c.mirror[i]) << "button " << i;
      EXPECT_EQ(probe::ToolButton(kForm, "工具条1", i), c.looks[i]) << "button " << i;
    }
  }
  EXPECT_EQ(ToolButtonState(kForm, "工具条1", 3), -1);
}

TEST_F(WindowBehaviourTest, ClickingAToolButtonLeavesItsLookToTheStateOperations) {
  g_events.clear();
  probe::ClickToolButton(kForm, "工具条1", 2);
  EXPECT_FALSE(probe::ToolButton(kForm, "工具条1", 2).sunk);
  AddToolButtonState(kForm, "工具条1", 2, 2);
  probe::ClickToolButton(kForm, "工具条1", 2);
  EXPECT_TRUE(probe::ToolButton(kForm, "工具条1", 2).sunk);
  EXPECT_EQ(g_events, (std::vector<std::string>{"tool 2", "tool 2"}));
}

// As on the desktop the layouts come from, the buttons after a hidden one close up.
TEST_F(WindowBehaviourTest, AHiddenToolButtonLeavesItsRoomToTheNextOnes) {
  const Box first = probe::ToolButtonPlace(kForm, "工具条1", 0);
  const Box second = probe::ToolButtonPlace(kForm, "工具条1", 1);
  EXPECT_EQ(first.width, second.width);
  EXPECT_GE(second.left, first.left + first.width);
  AddToolButtonState(kForm, "工具条1", 0, 8);
  EXPECT_EQ(probe::ToolButtonPlace(kForm, "工具条1", 1), first);
  RemoveToolButtonState(kForm, "工具条1", 0, 8);
  EXPECT_EQ(probe::ToolButtonPlace(kForm, "工具条1", 0), first);
  EXPECT_EQ(probe::ToolButtonPlace(kForm, "工具条1", 1), second);
}

TEST_F(WindowBehaviourTest, EventsReachTheirBoundHandlersOnly) {
  struct Case {
    const char* name;
    int page;  // the container's page during the act
    std::function<void()> act;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"button clicked", 0, [] { probe::Click(kForm, "按钮1"); }, {"clicked 0"}},
      {"second tool button", 0, [] { probe::ClickToolButton(kForm, "工具条1", 1); }, {"tool 1"}},
      {"left release over a line edit", 0, [] { probe::Click(kForm, "编辑框1"); }, {"released 1"}},
      {"left release over a multi-line box", 0, [] { probe::Click(kForm, "编辑框3"); }, {"released 3"}},
      {"another mouse button", 0, [] { probe::OtherClick(kForm, "编辑框1"); }, {}},
      {"release over an unbound label", 0, [] { probe::Click(kForm, "标签1"); }, {}},
      {"left release over a label on a page", 0, [] { probe::Click(kForm, "标签2"); }, {"released label 2"}},
      // 标签2 lies at (120, 5) on the page at (10, 220), 80 wide.
      {"left release beside that label", 0, [] { probe::ClickWindowAt(kForm, 10 + 205, 220 + 17); }, {}},
      {"a check box has no handler", 0, [] { probe::Click(kForm, "选择框1"); }, {}},
      {"click on an unbound button", 1, [] { probe::Click(kForm, "按钮2"); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetCurrentPage(kForm, "选择夹1", c.page);
    g_events.clear();
    c.act();
    probe::Pump();
    EXPECT_EQ(g_events, c.expected);
  }
}

TEST_F(WindowBehaviourTest, ChoicesReadAsTheUserLeftThem) {
  EXPECT_TRUE(form_.ReadState("选择框1"));
  EXPECT_FALSE(form_.ReadState("单选框1"));
  EXPECT_TRUE(form_.ReadState("单选框2"));
  probe::Click(kForm, "选择框1");
  probe::Click(kForm, "单选框1");
  bool box = true, first = false, second = true;
  probe::RunWorker([&] {
    box = form_.ReadState("选择框1");
    first = form_.ReadState("单选框1");
    second = form_.ReadState("单选框2");
  });
  EXPECT_FALSE(box);
  EXPECT_TRUE(first);
  EXPECT_FALSE(second) << "selecting one radio button clears the other of its group";
}

TEST_F(WindowBehaviourTest, PagesShowOneAtATime) {
  EXPECT_EQ(CurrentPage(kForm, "选择夹1"), 0);
  EXPECT_TRUE(probe::Visible(kForm, "编辑框4"));
  EXPECT_FALSE(probe::Visible(kForm, "按钮2"));
  probe::Focus(kForm, "编辑框4");
  SetCurrentPage(kForm, "选择夹1", 1);
  EXPECT_FALSE(probe::Visible(kForm, "编辑框4"));
  EXPECT_FALSE(probe::Visible(kForm, "标签2"));
  EXPECT_FALSE(probe::Focused(kForm, "编辑框4")) << "keys go on into a hidden box";
  EXPECT_TRUE(probe::Visible(kForm, "按钮2"));
  EXPECT_TRUE(probe::Visible(kForm, "编辑框1")) << "controls on the window itself stay";
  SetCurrentPage(kForm, "选择夹1", 2);
  SetCurrentPage(kForm, "选择夹1", -1);
  EXPECT_EQ(CurrentPage(kForm, "选择夹1"), 1) << "a page outside the pages changes nothing";
  // Page controls lie at their places in the container: (10, 220) + (5, 5).
  EXPECT_EQ(probe::Place(kForm, "按钮2"), (Box{15, 225, 80, 24}));
}

TEST_F(WindowBehaviourTest, LabelsReadBackWhatTheProgramSetsAndBreakOnlyWhenTheyDoNotFit) {
  EXPECT_EQ(form_.ReadText("标签1"), "标签");
  probe::RunWorker([this] { form_.SetText("标签1", "新的标签"); });
  EXPECT_EQ(form_.ReadText("标签1"), "新的标签");
  EXPECT_EQ(probe::Shown(kForm, "标签1"), "新的标签");

  struct Case {
    const char* text;
    int width;
    bool breaks;
  };
  const Case cases[] = {
      {"标签", 80, false},
      // The colon's blank half may overhang: its ink still fits.
      {"推送接口：", 56, false},
      {"分页数字用$代替", 60, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ControlLayout rows[] = {{"标签9", ControlKind::Label, c.text, 0, 0, c.width, 24}};
    const WindowLayout layouts[] = {{"labels", "", 300, 200, rows}};
    InstallProgram({layouts, {}, "labels"});
    ASSERT_TRUE(LoadWindow("labels"));
    EXPECT_EQ(probe::Wraps("labels", "标签9"), c.breaks);
    probe::Destroy("labels");
    probe::Pump();
  }
  InstallProgram({kLayouts, kBindings, kForm});
}

TEST_F(WindowBehaviourTest, LoadWindowCreatesOwnedWindowsOnce) {
  EXPECT_EQ(g_events, std::vector<std::string>{"form created"});
  EXPECT_FALSE(LoadWindow("nosuch"));
  EXPECT_FALSE(LoadWindow(kChild, "nosuch"));
  EXPECT_FALSE(IsWindowLoaded(kChild));

  g_events.clear();
  ASSERT_TRUE(LoadWindow(kChild, kForm, false));
  EXPECT_EQ(g_events, std::vector<std::string>{"child created +child"}) << "inside LoadWindow, the window there";
  EXPECT_TRUE(probe::OwnedModeless(kChild, kForm));
  EXPECT_TRUE(probe::WindowShown(kChild));

  EXPECT_TRUE(LoadWindow(kChild, kForm, false));
  EXPECT_EQ(g_events.size(), 1u) << "a loaded window is not created again";
}

TEST_F(WindowBehaviourTest, OwnedWindowsGoWhenUnloadedClosedOrWithTheirOwner) {
  struct Case {
    const char* name;
    std::function<void()> end;
    bool goneOnlyOnceEventsAreHandled;
    bool formStays;
  };
  const Case cases[] = {
      {"unloaded", [] { UnloadWindow(kChild); }, true, true},
      {"closed by hand", [] { probe::CloseByUser(kChild); }, false, true},
      {"owner destroyed", [] { probe::Destroy(kForm); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    ASSERT_TRUE(LoadWindow(kChild, kForm, false));
    c.end();
    EXPECT_EQ(IsWindowLoaded(kChild), c.goneOnlyOnceEventsAreHandled);
    probe::Pump();
    EXPECT_FALSE(IsWindowLoaded(kChild));
    EXPECT_EQ(IsWindowLoaded(kForm), c.formStays);
  }
}

TEST_F(WindowBehaviourTest, WindowsAreCentredAndKeepTheirOuterSize) {
  probe::OverrideScreen(1920, 1080);
  Reload();
  EXPECT_EQ(probe::OuterBox(kForm), (Box{(1920 - 400) / 2, (1080 - 400) / 2, 400, 400}));
  EXPECT_FALSE(probe::Resizable(kForm));
  EXPECT_EQ(probe::Caption(kForm), "窗体");

  SetWindowPosition(kForm, 1560, 670);
  EXPECT_EQ(probe::OuterBox(kForm), (Box{1560, 670, 400, 400}));
  EXPECT_EQ(ScreenWidth(), 1920);
  EXPECT_EQ(ScreenHeight(), 1080);
}

TEST_F(WindowBehaviourTest, WorkersAppendWholeLinesInTheirOrder) {
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
  probe::RunWorker([&] {
    readByWorker = form_.ReadText("编辑框1");
    form_.SetStatusPartText(1, "来自工作线程");
  });
  probe::PumpUntil([&] { return doneA && doneB; });
  a.join();
  b.join();
  ASSERT_TRUE(probe::PumpUntil([] { return !HasChangesToShow(kForm); }));

  EXPECT_EQ(readByWorker, "单行");
  EXPECT_EQ(probe::StatusPart(kForm, "状态条1", 1), "来自工作线程");
  std::vector<int> next(2, 0);
  int lines = 0;
  const Text all = form_.ReadText("编辑框3");
  EXPECT_EQ(probe::Shown(kForm, "编辑框3"), all) << "the box shows what the program knows";
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find("\r\n", start);
    ASSERT_NE(end, Text::npos);
    const Text line = all.substr(start, end - start);
    const int thread = line.rfind("甲", 0) == 0 ? 0 : 1;
    ASSERT_TRUE(thread == 0 || line.rfind("乙", 0) == 0) << line;
    EXPECT_EQ(line.substr(Text("甲").size()), std::to_string(next[thread]++)) << "each thread's lines in order";
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, 2 * kLines);
}

TEST_F(WindowBehaviourTest, WorkersNeitherWaitForTheWindowNorReadPastTheirOwnAppends) {
  // The window thread handles no events while the worker runs: a worker that waited on it would
  // never finish.
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
  EXPECT_EQ(probe::Shown(kForm, "编辑框3"), "") << "shown at the next frame, not before";

  ASSERT_TRUE(probe::PumpUntil([] { return !HasChangesToShow(kForm); }));
  EXPECT_EQ(probe::Shown(kForm, "编辑框3"), expected);
  EXPECT_EQ(probe::StatusPart(kForm, "状态条1", 1), "第" + std::to_string(kLines - 1) + "条")
      << "only the newest status text is shown";
}

// Results as Windows numbers them: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6.
TEST_F(WindowBehaviourTest, MessageBoxFlagsChooseButtonsAndTheAnswerIsMapped) {
  struct Case {
    const char* name;
    int flags;
    int click;
    std::vector<int> buttons;
    bool icon;
    bool holdsTheWindows;
  };
  const Case cases[] = {
      {"OK box", 0, 0, {0}, false, true},
      {"OK/Cancel: Cancel", 1, 1, {0, 1}, false, true},
      {"Abort/Retry/Ignore: Abort", 2, 2, {2, 3, 4}, false, true},
      {"Abort/Retry/Ignore: Retry", 2, 3, {2, 3, 4}, false, true},
      {"Abort/Retry/Ignore: Ignore", 2, 4, {2, 3, 4}, false, true},
      {"Yes/No: Yes", 4, 5, {5, 6}, false, true},
      {"Yes/No: No", 4, 6, {5, 6}, false, true},
      {"Yes/No/Cancel: Cancel", 3, 1, {1, 5, 6}, false, true},
      {"error icon", 0x10, 0, {0}, true, true},
      {"warning icon, OK/Cancel", 0x31, 0, {0, 1}, true, true},
      {"system modal: no owner to hold", 0x1000, 0, {0}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    probe::SeenBox seen;
    probe::AnswerNextBox(c.click, &seen, kForm);
    EXPECT_EQ(MessageBox("有消息", c.flags), c.click);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "信息：");
    EXPECT_EQ(seen.text, "有消息");
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.results, c.buttons);
    EXPECT_EQ(seen.holdsWatched, c.holdsTheWindows) << "a task-modal box holds the program's windows";
    probe::Pump();
  }
}

TEST_F(WindowBehaviourTest, AWorkersMessageBoxShowsOnTheWindowThreadAndTheWorkerWaitsForTheAnswer) {
  probe::SeenBox seen;
  probe::AnswerNextBox(6, &seen);
  int result = -1;
  probe::RunWorker([&] { result = FormControls("any").MessageBox("继续吗？", 4, "问题"); });
  EXPECT_EQ(result, 6);
  EXPECT_TRUE(seen.onWindowThread);
  EXPECT_EQ(seen.title, "问题");
  EXPECT_EQ(seen.text, "继续吗？");
}

// The addresses come from a remote page: only web addresses reach the desktop's handlers.
TEST_F(WindowBehaviourTest, OnlyWebAddressesAreOpened) {
  struct Case {
    const char* address;
    bool opened;
  };
  const Case cases[] = {
      {"http://kestrin.example/pop/17.html", true},
      {"HTTPS://Shop.example/a?b=1", true},
      {"17.html", false},
      {"file:///etc/passwd", false},
      {"file:///C:/windows/win.ini", false},
      {"javascript:alert(1)", false},
      {"http://kestrin.example/\r\ncalc.exe", false},
  };
  const auto lower = [](Text text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  };
  std::vector<Text> opened;
  probe::CatchOpenedAddresses(&opened);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    opened.clear();
    probe::RunWorker([&] { OpenAddress(c.address); });
    ASSERT_EQ(opened.size(), c.opened ? 1u : 0u);
    if (c.opened) {
      EXPECT_EQ(lower(opened[0]), lower(c.address)) << "the address as given, scheme and host in any case";
    }
  }
  probe::CatchOpenedAddresses(nullptr);
}

TEST_F(WindowBehaviourTest, ProcessPendingEventsLetsTheWindowThreadsEventsThroughAndNobodyElses) {
  probe::Pump();
  InstallWindowServices();
  g_events.clear();
  probe::PostClick(kForm, "按钮1");
  std::thread worker([] { ProcessPendingEvents(); });
  worker.join();
  EXPECT_TRUE(g_events.empty()) << "a worker has no window events to let through";
  ProcessPendingEvents();
  EXPECT_EQ(g_events, std::vector<std::string>{"clicked 0"});
  SetErrorBoxHook(nullptr);  // later failures in this process go to standard error
  SetProcessPendingEventsHook(nullptr);
}

const char* Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(WindowBehaviourDeathTest, UnloadingAWindowThatIsNotLoadedIsFatal) {
  EXPECT_EXIT(UnloadWindow("nosuch"), testing::ExitedWithCode(kRuntimeErrorExitCode),
              Utf8(u8"指定窗口或窗口组件不存在或尚未载入"));
}

TEST(WindowBehaviourDeathTest, ControlsOfAWindowThatIsNotLoadedAreFatal) {
  EXPECT_EXIT((void)FormControls("nosuch").ReadText("编辑框1"), testing::ExitedWithCode(kRuntimeErrorExitCode),
              Utf8(u8"指定窗口或窗口组件不存在或尚未载入"));
}

// The report of a worker reaches the user in a box captioned "错误", with an icon.
TEST(WindowBehaviourDeathTest, ARuntimeErrorOfAWorkerIsShownInABoxCaptionedError) {
  EXPECT_EXIT(
      {
        InstallWindowServices();
        static probe::SeenBox seen;
        probe::AnswerNextBox(0, &seen, {}, [] {
          Text line = "[" + seen.title + "|" + (seen.icon ? "icon" : "no icon") + "|" + seen.text + "]\n";
          std::erase(line, '\r');  // standard error may be a text stream that writes its own CRs
          std::fputs(line.c_str(), stderr);
          std::fflush(stderr);
        });
        std::thread([] { ReportRuntimeError(0, "工作线程出错"); }).detach();
        for (;;) probe::PumpUntil([] { return false; });
      },
      testing::ExitedWithCode(kRuntimeErrorExitCode),
      testing::HasSubstr(AsDeathTestReads("[错误|icon|运行时出错!\n\n错误信息：工作线程出错")));
}

}  // namespace
}  // namespace kestrin::ui
