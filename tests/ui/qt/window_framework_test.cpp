// What only the Qt backend has to show: its widgets are touched on the window thread alone, a long
// log's scroll bar steps line by line, and its services (message boxes, opening addresses, the
// runtime's hooks). The behaviour both backends share is in ../window_behaviour_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QThread>
#include <QScrollBar>
#include <QTextCursor>

#include <string>
#include <vector>

#include "runtime/events.h"
#include "runtime/runtime_error.h"
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
