// The window framework on a small form of its own: edit-box texts, appending, the status bar,
// tool-bar states, events, loading and unloading, workers, message boxes and opening addresses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolButton>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "runtime/events.h"
#include "runtime/runtime_error.h"
#include "tests/ui/qt/gui_helpers.h"
#include "ui/qt/control_surface.h"
#include "ui/qt/tool_bar.h"
#include "ui/form_states.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

using testgui::AnswerNextBox;
using testgui::RunWorker;
using testgui::SeenBox;

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
void Record(std::string event) {
  const bool childLoaded = WindowWidget(kChild) != nullptr;
  g_events.push_back(std::move(event) + (childLoaded ? " +child" : ""));
}

const Binding kBindings[] = {
    {kForm, "", Event::Created, [](int) { Record("form created"); }},
    {kChild, "", Event::Created, [](int) { Record("child created"); }},
    {kForm, "按钮1", Event::Clicked, [](int argument) { Record("clicked " + std::to_string(argument)); }},
    {kForm, "工具条1", Event::ToolButtonClicked, [](int index) { Record("tool " + std::to_string(index)); }},
    {kForm, "编辑框1", Event::LeftButtonReleased, [](int) { Record("released 1"); }},
    {kForm, "编辑框3", Event::LeftButtonReleased, [](int) { Record("released 3"); }},
    {kForm, "标签2", Event::LeftButtonReleased, [](int) { Record("released label 2"); }},
};

template <typename T>
T* Widget(std::string_view control, std::string_view window = kForm) {
  return qobject_cast<T*>(ControlObject(window, control));
}

QToolButton* ToolButton(int index) { return Widget<ToolBar>("工具条1")->button(index); }

// Presses and releases the left button over a label, `offset` from its centre, on the surface
// that draws it.
void ClickLabel(std::string_view control, QPoint offset = {}) {
  auto* label = Widget<PaintedLabel>(control);
  QTest::mouseClick(label->surface(), Qt::LeftButton, {}, label->geometry().center() + offset);
}

QList<QLabel*> StatusParts() { return Widget<QStatusBar>("状态条1")->findChildren<QLabel*>(); }

class WindowFrameworkTest : public testing::Test {
 protected:
  void SetUp() override {
    SetBrowserFactory([](QWidget* parent) { return new QWidget(parent); });
    InstallProgram({kLayouts, kBindings, kForm});
    Reload();
  }

  void TearDown() override {
    delete WindowWidget(kForm);
    SetScreenSizeOverride(QSize());
    SetAddressOpener({});
  }

  // A fresh form, as at creation.
  void Reload() {
    delete WindowWidget(kForm);
    g_events.clear();
    ASSERT_TRUE(LoadWindow(kForm));
  }

  Controls& form_ = FormControls(kForm);
};

TEST_F(WindowFrameworkTest, EditBoxesReadBackTheBytesTheProgramSet) {
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
  }
}

TEST_F(WindowFrameworkTest, EditedBoxesReadBackWhatTheyShowWithCrLf) {
  struct Case {
    const char* name;
    const char* control;
    Text set;
    const char* typed;  // at the caret, which a set text leaves at the start
    Text expected;
  };
  const Case cases[] = {
      {"lone CR becomes a line break", "编辑框2", "<div>\r", "x", "x<div>\r\n"},
      {"lines joined by CR LF", "编辑框3", "a\r\nb", "c", "ca\r\nb"},
      {"one line", "编辑框1", "单行", "z", "z单行"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form_.SetText(c.control, c.set);
    auto* widget = Widget<QWidget>(c.control);
    widget->setFocus();
    QTest::keyClicks(widget, QString::fromLatin1(c.typed));
    EXPECT_EQ(form_.ReadText(c.control), c.expected);
  }
}

TEST_F(WindowFrameworkTest, EnterBreaksTheLineOfAMultiLineBox) {
  auto* box = Widget<QPlainTextEdit>("编辑框3");
  box->setFocus();
  QTest::keyClicks(box, "a");
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClicks(box, "b");
  EXPECT_EQ(form_.ReadText("编辑框3"), "a\r\nb");
}

TEST_F(WindowFrameworkTest, AppendAddsTextsInOrderAndLeavesTheCaretAtTheEnd) {
  form_.SetText("编辑框3", "前\r\n");
  form_.AppendEditText("编辑框3", {"一\r\n", "二\r"});
  EXPECT_EQ(form_.ReadText("编辑框3"), "前\r\n一\r\n二\r");
  auto* multi = Widget<QPlainTextEdit>("编辑框3");
  EXPECT_TRUE(multi->textCursor().atEnd());
  EXPECT_FALSE(multi->document()->isUndoAvailable());

  // The user types at the end; the next append goes after what the box then shows.
  multi->setFocus();
  QTest::keyClicks(multi, "q");
  form_.AppendEditText("编辑框3", {"z"});
  EXPECT_EQ(form_.ReadText("编辑框3"), "前\r\n一\r\n二\r\nqz");

  form_.AppendEditText("编辑框1", {"+", "x"});
  EXPECT_EQ(form_.ReadText("编辑框1"), "单行+x");
  auto* line = Widget<QLineEdit>("编辑框1");
  EXPECT_EQ(line->cursorPosition(), line->text().size());
}

TEST_F(WindowFrameworkTest, StatusBarChangesOnlyPartsThatExist) {
  struct Case {
    const char* name;
    int part;
    QString part0;
    QString part1;
  };
  const Case cases[] = {
      {"second part", 1, u"状态提示："_qs, u"正在采集"_qs},
      {"first part", 0, u"正在采集"_qs, u""_qs},
      {"index equal to the number of parts", 2, u"状态提示："_qs, u""_qs},
      {"negative index", -1, u"状态提示："_qs, u""_qs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    form_.SetStatusPartText(c.part, "正在采集");
    const QList<QLabel*> parts = StatusParts();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0]->text(), c.part0);
    EXPECT_EQ(parts[1]->text(), c.part1);
  }
  EXPECT_EQ(StatusParts()[0]->width(), 60);
}

TEST_F(WindowFrameworkTest, ToolButtonStatesKeepTheWindowsMirror) {
  struct Op {
    bool add;
    int index;
    int bits;
    int result;
  };
  struct Case {
    const char* name;
    std::vector<Op> ops;
    std::array<int, 3> mirror;  // 1 checked, 2 pressed, 4 enabled, 8 hidden, 16 indeterminate
    std::array<bool, 3> looksPressed;
    std::array<bool, 3> enabled;
    std::array<bool, 3> visible;
  };
  const Case cases[] = {
      {"pressed", {{true, 0, 2, 0}}, {6, 4, 4}, {true, false, false}, {true, true, true}, {true, true, true}},
      {"pressed and released", {{true, 1, 2, 1}, {false, 1, 2, 1}}, {4, 4, 4}, {}, {true, true, true}, {true, true, true}},
      {"disabled", {{true, 2, 4, 2}}, {4, 4, 0}, {}, {true, true, false}, {true, true, true}},
      {"disabled and enabled", {{true, 2, 4, 2}, {false, 2, 4, 2}}, {4, 4, 4}, {}, {true, true, true}, {true, true, true}},
      // A hidden button cannot be used either.
      {"checked and hidden", {{true, 0, 1 | 8, 0}}, {13, 4, 4}, {true, false, false}, {false, true, true}, {false, true, true}},
      {"indeterminate", {{true, 1, 16, 1}}, {4, 20, 4}, {}, {true, false, true}, {true, true, true}},
      {"no bits", {{true, 0, 0, 0}, {false, 1, 0, 1}}, {4, 4, 4}, {}, {true, true, true}, {true, true, true}},
      {"outside the buttons", {{true, 3, 2, -1}, {false, -1, 2, -1}}, {4, 4, 4}, {}, {true, true, true}, {true, true, true}},
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
      EXPECT_EQ(ToolButton(i)->isChecked(), c.looksPressed[i]) << "button " << i;
      EXPECT_EQ(ToolButton(i)->isEnabled(), c.enabled[i]) << "button " << i;
      EXPECT_EQ(!ToolButton(i)->isHidden(), c.visible[i]) << "button " << i;
    }
  }
  EXPECT_EQ(ToolButtonState(kForm, "工具条1", 3), -1);
}

TEST_F(WindowFrameworkTest, EventsReachTheirBoundHandlersOnly) {
  struct Case {
    const char* name;
    std::function<void()> act;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"button clicked", [] { QTest::mouseClick(Widget<QPushButton>("按钮1"), Qt::LeftButton); }, {"clicked 0"}},
      {"second tool button", [] { QTest::mouseClick(ToolButton(1), Qt::LeftButton); }, {"tool 1"}},
      {"left release over a line edit", [] { QTest::mouseClick(Widget<QWidget>("编辑框1"), Qt::LeftButton); },
       {"released 1"}},
      {"left release over a multi-line box",
       [] { QTest::mouseClick(Widget<QPlainTextEdit>("编辑框3")->viewport(), Qt::LeftButton); }, {"released 3"}},
      {"right button", [] { QTest::mouseClick(Widget<QWidget>("编辑框1"), Qt::RightButton); }, {}},
      {"release over an unbound label", [] { ClickLabel("标签1"); }, {}},
      {"left release over a label on a page", [] { ClickLabel("标签2"); }, {"released label 2"}},
      {"left release beside that label", [] { ClickLabel("标签2", QPoint(45, 0)); }, {}},
      {"click on an unbound button", [] { QTest::mouseClick(Widget<QPushButton>("按钮2"), Qt::LeftButton); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_events.clear();
    c.act();
    EXPECT_EQ(g_events, c.expected);
  }
}

TEST_F(WindowFrameworkTest, ClickingAToolButtonLeavesItsLookToTheStateOperations) {
  QTest::mouseClick(ToolButton(2), Qt::LeftButton);
  EXPECT_FALSE(ToolButton(2)->isChecked());
  AddToolButtonState(kForm, "工具条1", 2, 2);
  QTest::mouseClick(ToolButton(2), Qt::LeftButton);
  EXPECT_TRUE(ToolButton(2)->isChecked());
}

// As on the desktop the layouts come from, the buttons after a hidden one close up.
TEST_F(WindowFrameworkTest, AHiddenToolButtonLeavesItsRoomToTheNextOnes) {
  const QRect first = ToolButton(0)->geometry();
  const QRect second = ToolButton(1)->geometry();
  EXPECT_EQ(first.size(), second.size());
  EXPECT_GT(second.left(), first.right());
  AddToolButtonState(kForm, "工具条1", 0, 8);
  EXPECT_EQ(ToolButton(1)->geometry(), first);
  RemoveToolButtonState(kForm, "工具条1", 0, 8);
  EXPECT_EQ(ToolButton(0)->geometry(), first);
  EXPECT_EQ(ToolButton(1)->geometry(), second);
}

TEST_F(WindowFrameworkTest, LabelsReadBackAndShowWhatTheProgramSets) {
  auto* label = Widget<PaintedLabel>("标签1");
  EXPECT_EQ(form_.ReadText("标签1"), "标签");
  RunWorker([this] { form_.SetText("标签1", "新的标签"); });
  EXPECT_EQ(form_.ReadText("标签1"), "新的标签");
  EXPECT_EQ(label->text(), u"新的标签"_qs);

  // Drawn in black on the window, at its place.
  QWidget* window = WindowWidget(kForm);
  const QImage shown = window->grab(label->geometry()).toImage();
  int ink = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) ink += qGray(shown.pixel(x, y)) < 64 ? 1 : 0;
  }
  EXPECT_GT(ink, 20);
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
  QWidget* child = WindowWidget(kChild);
  EXPECT_EQ(child->parentWidget(), WindowWidget(kForm));
  EXPECT_TRUE(child->isWindow());
  EXPECT_EQ(child->windowModality(), Qt::NonModal);
  EXPECT_TRUE(child->isVisible());

  EXPECT_TRUE(LoadWindow(kChild, kForm, false));
  EXPECT_EQ(g_events.size(), 1u) << "a loaded window is not created again";
}

TEST_F(WindowFrameworkTest, OwnedWindowsGoWhenUnloadedClosedOrWithTheirOwner) {
  struct Case {
    const char* name;
    std::function<void()> end;
    bool formStays;
  };
  const Case cases[] = {
      {"unloaded", [] { UnloadWindow(kChild); }, true},
      {"closed by hand", [] { WindowWidget(kChild)->close(); }, true},
      {"owner deleted", [] { delete WindowWidget(kForm); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload();
    ASSERT_TRUE(LoadWindow(kChild, kForm, false));
    c.end();
    if (c.formStays) {
      EXPECT_TRUE(IsWindowLoaded(kChild)) << "gone only once events are handled";
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(IsWindowLoaded(kChild));
    EXPECT_EQ(IsWindowLoaded(kForm), c.formStays);
  }
}

TEST_F(WindowFrameworkTest, WindowsAreCentredAndKeepTheirOuterSize) {
  SetScreenSizeOverride(QSize(1920, 1080));
  Reload();
  QWidget* window = WindowWidget(kForm);
  EXPECT_EQ(window->pos(), QPoint((1920 - 400) / 2, (1080 - 400) / 2));
  // Offscreen windows have no frame: the client area is the outer size, and it is fixed.
  EXPECT_EQ(window->frameGeometry().size(), QSize(400, 400));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  SetWindowPosition(kForm, 1560, 670);
  EXPECT_EQ(window->pos(), QPoint(1560, 670));
  EXPECT_EQ(ScreenWidth(), 1920);
  EXPECT_EQ(ScreenHeight(), 1080);
}

TEST_F(WindowFrameworkTest, WorkersReachTheControlsOnTheWindowThread) {
  auto* box = Widget<QPlainTextEdit>("编辑框3");
  bool touchedElsewhere = false;
  QObject::connect(box, &QPlainTextEdit::textChanged, box, [&] {
    touchedElsewhere |= QThread::currentThread() != QCoreApplication::instance()->thread();
  }, Qt::DirectConnection);

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
  testgui::PumpUntil([&] { return doneA && doneB; });
  a.join();
  b.join();
  ASSERT_TRUE(testgui::PumpUntil([] { return !HasChangesToShow(kForm); }));

  EXPECT_FALSE(touchedElsewhere);
  EXPECT_EQ(readByWorker, "单行");
  EXPECT_EQ(StatusParts()[1]->text(), u"来自工作线程"_qs);
  // Every append is one operation: the lines stay whole and each thread's stay in order.
  std::vector<int> next(2, 0);
  int lines = 0;
  const Text all = form_.ReadText("编辑框3");
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
  EXPECT_TRUE(Widget<QPlainTextEdit>("编辑框3")->toPlainText().isEmpty()) << "shown at the next frame, not before";

  ASSERT_TRUE(testgui::PumpUntil([] { return !HasChangesToShow(kForm); }));
  QString shown = Widget<QPlainTextEdit>("编辑框3")->toPlainText();
  EXPECT_EQ(FromQString(shown.replace(QChar(u'\n'), u"\r\n"_qs)), expected);
  EXPECT_EQ(FromQString(StatusParts()[1]->text()), "第" + std::to_string(kLines - 1) + "条")
      << "only the newest status text is shown";
}

TEST_F(WindowFrameworkTest, LongTextsShowEveryLineAndReadBackAfterTheUserTypes) {
  struct Case {
    const char* name;
    int lines;         // numbered lines, each ending in CR LF, the first set and the rest appended
    const char* tail;  // appended last
  };
  // Program lines go into the widget in blocks of sixteen; the edges lie around a block's end.
  const Case cases[] = {
      {"one line", 1, ""},      {"a block's worth", 16, ""}, {"one past a block", 17, ""},
      {"many blocks", 40, ""},  {"a lone CR at the end", 33, "末\r"},
      {"two-byte characters around a line break", 20, "推送失败甲\r\n乙"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text all;
    std::thread worker([&] {
      form_.SetText("编辑框3", "0\r\n");
      all = "0\r\n";
      for (int i = 1; i < c.lines; ++i) {
        form_.AppendEditText("编辑框3", {std::to_string(i), "\r\n"});
        all += std::to_string(i) + "\r\n";
      }
      form_.AppendEditText("编辑框3", {c.tail});
      all += c.tail;
    });
    worker.join();
    EXPECT_EQ(form_.ReadText("编辑框3"), all) << "the program's bytes, lone CR included";
    ASSERT_TRUE(testgui::PumpUntil([] { return !HasChangesToShow(kForm); }));

    auto* box = Widget<QPlainTextEdit>("编辑框3");
    EXPECT_TRUE(box->textCursor().atEnd());
    box->setFocus();
    QTest::keyClicks(box, "z");
    Text typed = all;
    if (!typed.empty() && typed.back() == '\r') typed += '\n';  // shown as a line break, read back as one
    EXPECT_EQ(form_.ReadText("编辑框3"), typed + "z");
  }
}

// A long log's scroll bar counts lines, not the blocks they are kept in, before any of them has
// been shown: dragging it lands on the line it points at.
TEST_F(WindowFrameworkTest, TheScrollBarOfALongLogMovesLineByLine) {
  constexpr int kLines = 3000;
  const bool setAtOnce[] = {true, false};
  for (const bool atOnce : setAtOnce) {
    SCOPED_TRACE(atOnce ? "set at once" : "appended line by line");
    Text all;
    for (int i = 0; i < kLines; ++i) all += std::to_string(i) + "\r\n";
    std::thread worker([&] {
      if (atOnce) {
        form_.SetText("编辑框3", all);
        return;
      }
      form_.SetText("编辑框3", "");
      for (int i = 0; i < kLines; ++i) form_.AppendEditText("编辑框3", {std::to_string(i), "\r\n"});
    });
    worker.join();
    ASSERT_TRUE(testgui::PumpUntil([] { return !HasChangesToShow(kForm); }));

    auto* box = Widget<QPlainTextEdit>("编辑框3");
    QScrollBar* bar = box->verticalScrollBar();
    EXPECT_GE(bar->maximum(), kLines - 10) << "one step for each line";
    EXPECT_LE(bar->maximum(), kLines + 1);
    for (const int line : {1234, 17, 2999 - 5}) {
      bar->setValue(line);
      QTextCursor top = box->cursorForPosition(QPoint(4, 4));
      top.movePosition(QTextCursor::StartOfLine);
      top.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
      EXPECT_EQ(top.selectedText().toStdString(), std::to_string(line));
    }
  }
}

TEST(MessageBoxTest, FlagsChooseButtonsAndTheAnswerIsMapped) {
  struct Case {
    const char* name;
    int flags;
    QMessageBox::StandardButton click;
    int expected;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {
      {"OK box", 0, QMessageBox::Ok, 0, QMessageBox::NoIcon},
      {"OK/Cancel: Cancel", 1, QMessageBox::Cancel, 1, QMessageBox::NoIcon},
      {"Abort/Retry/Ignore: Abort", 2, QMessageBox::Abort, 2, QMessageBox::NoIcon},
      {"Abort/Retry/Ignore: Retry", 2, QMessageBox::Retry, 3, QMessageBox::NoIcon},
      {"Abort/Retry/Ignore: Ignore", 2, QMessageBox::Ignore, 4, QMessageBox::NoIcon},
      {"Yes/No: Yes", 4, QMessageBox::Yes, 5, QMessageBox::NoIcon},
      {"Yes/No: No", 4, QMessageBox::No, 6, QMessageBox::NoIcon},
      {"Yes/No/Cancel: Cancel", 3, QMessageBox::Cancel, 1, QMessageBox::NoIcon},
      {"error icon", 0x10, QMessageBox::Ok, 0, QMessageBox::Critical},
      {"warning icon, OK/Cancel", 0x31, QMessageBox::Ok, 0, QMessageBox::Warning},
      {"system modal", 0x1000, QMessageBox::Ok, 0, QMessageBox::NoIcon},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeenBox seen;
    AnswerNextBox(c.click, &seen);
    EXPECT_EQ(MessageBox("有消息", c.flags), c.expected);
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, u"信息："_qs);
    EXPECT_EQ(seen.text, u"有消息"_qs);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
  }
}

TEST(MessageBoxTest, ButtonsAreNamedInChineseAndWorkersWaitForTheAnswer) {
  SeenBox seen;
  AnswerNextBox(QMessageBox::No, &seen);
  int result = -1;
  RunWorker([&] { result = FormControls("any").MessageBox("继续吗？", 4, "问题"); });
  EXPECT_EQ(result, 6);
  EXPECT_EQ(seen.title, u"问题"_qs);
  seen.buttons.sort();
  QStringList expected{u"是"_qs, u"否"_qs};
  expected.sort();
  EXPECT_EQ(seen.buttons, expected);
}

TEST(OpenAddressTest, OnlyWebAddressesReachTheDesktop) {
  struct Case {
    const char* address;
    bool opened;
  };
  const Case cases[] = {
      {"http://kestrin.example/pop/17.html", true},
      {"HTTPS://Shop.example/a?b=1", true},
      {"17.html", false},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
  };
  std::vector<QUrl> opened;
  SetAddressOpener([&](const QUrl& url) { opened.push_back(url); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    opened.clear();
    OpenAddress(c.address);
    ASSERT_EQ(opened.size(), c.opened ? 1u : 0u);
    if (c.opened) {
      EXPECT_EQ(opened[0], QUrl(QString::fromLatin1(c.address)));
    }
  }
  SetAddressOpener({});
}

TEST(ProcessPendingEventsTest, LetsTheWindowThreadsEventsThroughAndNobodyElses) {
  InstallWindowServices();
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  std::thread worker([] { ProcessPendingEvents(); });
  worker.join();
  EXPECT_FALSE(ran);
  ProcessPendingEvents();
  EXPECT_TRUE(ran);
  SetErrorBoxHook(nullptr);  // later failures in this process go to standard error
  SetProcessPendingEventsHook(nullptr);
}

const char* Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(WindowFrameworkDeathTest, UnloadingAWindowThatIsNotLoadedIsFatal) {
  EXPECT_EXIT(UnloadWindow("nosuch"), testing::ExitedWithCode(255), Utf8(u8"指定窗口或窗口组件不存在或尚未载入"));
}

TEST(WindowFrameworkDeathTest, ControlsOfAWindowThatIsNotLoadedAreFatal) {
  EXPECT_EXIT((void)FormControls("nosuch").ReadText("编辑框1"), testing::ExitedWithCode(255),
              Utf8(u8"指定窗口或窗口组件不存在或尚未载入"));
}

TEST(WindowFrameworkDeathTest, RuntimeErrorOfAWorkerIsShownInABoxOnTheWindowThread) {
  EXPECT_EXIT(
      {
        InstallWindowServices();
        static SeenBox seen;
        AnswerNextBox(QMessageBox::Ok, &seen, [] {
          std::fprintf(stderr, "[%s|%d|%s]\n", seen.title.toUtf8().constData(), static_cast<int>(seen.icon),
                       seen.text.toUtf8().constData());
        });
        std::thread([] { ReportRuntimeError(0, "工作线程出错"); }).detach();
        for (;;) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      },
      testing::ExitedWithCode(255), Utf8(u8"\\[错误\\|3\\|运行时出错!\r\n\r\n错误信息：工作线程出错"));
}

}  // namespace
}  // namespace kestrin::ui
