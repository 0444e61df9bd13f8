// What only the Qt backend has to show: its widgets are touched on the window thread alone, a long
// log's scroll bar steps line by line, and message boxes name their buttons in Chinese. The behaviour both backends share is in ../window_behaviour_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QThread>
#include <QScrollBar>
#include <QTextCursor>

#include <string>
#include <vector>

#include "tests/ui/qt/gui_helpers.h"
#include "ui/form_states.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

using testgui::AnswerNextBox;
using testgui::RunWorker;
using testgui::SeenBox;

constexpr std::string_view kForm = "form";

constexpr ControlLayout kFormControls[] = {
    {"编辑框3", ControlKind::EditBox, "", 10, 150, 200, 60, kMultiLine},
};
const WindowLayout kLayouts[] = {{kForm, "窗体", 400, 400, kFormControls}};

template <typename T>
T* Widget(std::string_view control, std::string_view window = kForm) {
  return qobject_cast<T*>(ControlObject(window, control));
}

class WindowFrameworkTest : public testing::Test {
 protected:
  void SetUp() override {
    InstallProgram({kLayouts, {}, kForm});
    ASSERT_TRUE(LoadWindow(kForm));
  }
  void TearDown() override { delete WindowWidget(kForm); }

  Controls& form_ = FormControls(kForm);
};

TEST_F(WindowFrameworkTest, WorkersNeverTouchTheWidgets) {
  auto* box = Widget<QPlainTextEdit>("编辑框3");
  bool touchedElsewhere = false;
  QObject::connect(box, &QPlainTextEdit::textChanged, box, [&] {
    touchedElsewhere |= QThread::currentThread() != QCoreApplication::instance()->thread();
  }, Qt::DirectConnection);
  std::thread worker([this] {
    for (int i = 0; i < 100; ++i) form_.AppendEditText("编辑框3", {std::to_string(i), "\r\n"});
  });
  RunWorker([this] { form_.SetText("编辑框3", "甲"); });
  worker.join();
  ASSERT_TRUE(testgui::PumpUntil([] { return !HasChangesToShow(kForm); }));
  EXPECT_FALSE(touchedElsewhere);
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

}  // namespace
}  // namespace kestrin::ui
