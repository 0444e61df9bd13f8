// The handlers on the real windows, against a local site that serves the notice page, the list
// pages and the submission interface: start-up, page switching, the interface box, the site
// link, the notice window's place and countdown, the worker buttons, and the program's end.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/bindings.h"
#include "app/handlers.h"
#include "app/layouts.h"
#include "links/collector.h"
#include "notice/update_check.h"
#include "runtime/settings_path.h"
#include "runtime/settings.h"
#include "runtime/text_ops.h"
#include "runtime/threads.h"
#include "tests/support/list_site.h"
#include "tests/ui/qt/gui_helpers.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"

namespace kestrin::app {
namespace {

using testgui::AnswerNextBox;
using testgui::PumpUntil;
using testgui::PumpUntilQuiet;
using testgui::SeenBox;
using testsupport::ListSite;

template <typename T>
T* Widget(std::string_view control, std::string_view window = kMainWindow) {
  return qobject_cast<T*>(ui::ControlObject(window, control));
}

QToolButton* ToolButton(int index) { return ui::ToolButtonOf(kMainWindow, names::工具条1, index); }

// A left click in the middle of a label.
void ClickLabel(ControlName control) { QTest::mouseClick(Widget<QLabel>(control), Qt::LeftButton); }

bool ShownIn(ControlName control, QWidget* window) { return Widget<QWidget>(control)->isVisibleTo(window); }

QString StatusText() { return Widget<QStatusBar>(names::状态条1)->findChildren<QLabel*>().at(1)->text(); }

std::vector<Text> Lines(const Text& text) {
  const TextArray lines = SplitText(text, "\r\n");
  return lines.Items();
}

// The program as it starts, with its notice page, pop-up pages, lists and interface on a local
// site; the notice window's browser is a plain widget and opened addresses are only noted.
class StartedProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    site_.SetNotice(LocalVersion);
    SetNoticePageAddressForTesting(site_.NoticeAddress());
    ui::SetBrowserFactory([this](QWidget* parent) {
      const QWidget* main = ui::WindowWidget(kMainWindow);
      steps_.push_back("notice window, caption " + ui::FromQString(main->windowTitle()));
      return new QWidget(parent);
    });
    ui::SetAddressOpener([this](const Text& address) {
      opened_.push_back(ui::ToQString(address).toStdString());
      steps_.push_back("opened");
    });
    ui::SetScreenSizeOverride(1920, 1080);
    ui::InstallProgram(KestrinProgram());
  }

  void TearDown() override {
    PumpUntilQuiet();
    delete ui::WindowWidget(kMainWindow);
    ui::SetBrowserFactory({});
    ui::SetAddressOpener({});
    ui::SetScreenSizeOverride(0, 0);
    SetNoticePageAddressForTesting("");
  }

  // Loads the main window, which runs the start-up routine.
  void Start() {
    delete ui::WindowWidget(kMainWindow);
    steps_.clear();
    opened_.clear();
    site_.ClearRecords();
    ASSERT_TRUE(ui::LoadWindow(kMainWindow));
  }

  Controls& form_ = ui::FormControls(kMainWindow);
  ListSite site_;
  std::vector<std::string> steps_;
  std::vector<std::string> opened_;
};

TEST_F(StartedProgramTest, StartUpPressesThePageButtonChecksTheVersionThenOpensTheNotice) {
  Start();
  EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 0), 4 | 2);
  EXPECT_TRUE(ToolButton(0)->isChecked());
  // The caption already carried the notice's version when the notice window was made.
  EXPECT_EQ(steps_, std::vector<std::string>{"notice window, caption Kestrin百度推送v1.0"});
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(site_.NoticeFetches(), 1) << "one reading for the version and the notice window's address";

  ASSERT_TRUE(ui::IsWindowLoaded(kNoticeWindow));
  const QString shown = Widget<QWidget>(names::超文本浏览框1, kNoticeWindow)->property("url").toUrl().toString();
  const QString prefix = ui::ToQString(site_.PopupPrefix());
  EXPECT_TRUE(shown.startsWith(prefix) && shown.endsWith(u".html"_qs)) << shown.toStdString();
  const int number = shown.mid(prefix.size()).chopped(5).toInt();
  EXPECT_GE(number, 3);
  EXPECT_LE(number, 30);
}

TEST_F(StartedProgramTest, NewerVersionIsAnnouncedAndOpenedBeforeTheNoticeWindow) {
  site_.SetNotice("v1.1");
  const Text settings = SettingsFilePath();
  SeenBox box;
  AnswerNextBox(QMessageBox::Ok, &box, [this] { steps_.push_back("message box"); });
  Start();
  ASSERT_EQ(steps_.size(), 3u);
  EXPECT_EQ(steps_[0], "message box");
  EXPECT_EQ(steps_[1], "opened");
  EXPECT_EQ(steps_[2], "notice window, caption Kestrin百度推送v1.1");
  EXPECT_EQ(site_.NoticeFetches(), 1) << "the opened and the shown address come from the version's reading";
  const QString shown = Widget<QWidget>(names::超文本浏览框1, kNoticeWindow)->property("url").toUrl().toString();
  EXPECT_TRUE(shown.startsWith(ui::ToQString(site_.PopupPrefix()))) << shown.toStdString();
  EXPECT_EQ(box.title, u"信息："_qs);
  EXPECT_EQ(box.text, u"版本有更新，请到官网下载最新版本"_qs);
  EXPECT_EQ(ReadSetting(settings, "版", "本"), "v1.1");
  std::filesystem::remove(settings);
}

TEST_F(StartedProgramTest, WithoutANoticePageTheProgramStillOpensTheNoticeWindow) {
  site_.SetNoticeText("无关的页面");
  Start();
  EXPECT_EQ(ui::WindowWidget(kMainWindow)->windowTitle(), u"Kestrin百度推送"_qs);
  EXPECT_EQ(steps_, std::vector<std::string>{"notice window, caption Kestrin百度推送"});
  EXPECT_TRUE(opened_.empty());
  EXPECT_FALSE(Widget<QWidget>(names::超文本浏览框1, kNoticeWindow)->property("url").isValid())
      << "no pop-up address, nothing to load";
}

TEST_F(StartedProgramTest, ToolBarSwitchesPagesAndMovesThePressedLook) {
  struct Case {
    const char* name;
    std::vector<int> clicks;
    int page;
    bool pressed0;
    bool pressed1;
  };
  const Case cases[] = {
      {"at start", {}, 0, true, false},
      {"自助推送", {1}, 1, false, true},
      {"the pressed button again", {1, 1}, 1, false, true},
      {"back to 列表采集", {1, 0}, 0, true, false},
      {"列表采集 while on it", {0}, 0, true, false},
  };
  const ControlName page0[] = {names::标签16, names::编辑框1, names::编辑框8, names::按钮1, names::按钮2};
  const ControlName page1[] = {names::编辑框11, names::编辑框12, names::按钮3};
  const ControlName always[] = {names::编辑框9, names::工具条1, names::图片框1, names::状态条1, names::选择夹1};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    for (int index : c.clicks) QTest::mouseClick(ToolButton(index), Qt::LeftButton);
    QWidget* main = ui::WindowWidget(kMainWindow);
    EXPECT_EQ(ui::CurrentPage(kMainWindow, names::选择夹1), c.page);
    EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 0) & 2, c.pressed0 ? 2 : 0);
    EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 1) & 2, c.pressed1 ? 2 : 0);
    EXPECT_EQ(ToolButton(1)->isChecked(), c.pressed1);
    for (ControlName name : page0) EXPECT_EQ(ShownIn(name, main), c.page == 0);
    for (ControlName name : page1) EXPECT_EQ(ShownIn(name, main), c.page == 1);
    for (ControlName name : always) EXPECT_TRUE(ShownIn(name, main));
  }
}

TEST_F(StartedProgramTest, PageButtonOutsideThePagesOnlyMovesThePressedLook) {
  Start();
  PageButtonClicked(1);
  PageButtonClicked(5);
  EXPECT_EQ(ui::CurrentPage(kMainWindow, names::选择夹1), 1);
  EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 0) & 2, 0);
  EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 1) & 2, 0);
}

TEST_F(StartedProgramTest, InterfaceBoxIsEmptiedOnEveryLeftButtonRelease) {
  Start();
  auto* box = Widget<QLineEdit>(names::编辑框9);
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(form_.ReadText(names::编辑框9), "");

  QTest::keyClicks(box, u"http://data.zz.baidu.com/urls?site=a&token=b"_qs);
  EXPECT_EQ(form_.ReadText(names::编辑框9), "http://data.zz.baidu.com/urls?site=a&token=b");
  QTest::mouseClick(box, Qt::RightButton);
  EXPECT_EQ(form_.ReadText(names::编辑框9), "http://data.zz.baidu.com/urls?site=a&token=b");
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(form_.ReadText(names::编辑框9), "");
  EXPECT_EQ(box->palette().color(QPalette::Text), QColor(128, 128, 128)) << "the text stays grey";
}

TEST_F(StartedProgramTest, SiteLinkOpensThePopupAddressWhenThereIsOne) {
  Start();
  ClickLabel(names::标签16);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].rfind(site_.PopupPrefix(), 0), 0u) << opened_[0];

  site_.SetNoticeText("版本：v1.0|");  // no pop-up entry
  opened_.clear();
  ClickLabel(names::标签16);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(StartedProgramTest, NoticeWindowSitsNearTheBottomRightOfEveryScreen) {
  struct Case {
    QSize screen;
    QPoint place;
  };
  const Case cases[] = {
      {QSize(1920, 1080), QPoint(1560, 670)},
      {QSize(1366, 768), QPoint(1006, 358)},
      {QSize(800, 600), QPoint(440, 190)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.screen.width());
    ui::SetScreenSizeOverride(c.screen.width(), c.screen.height());
    Start();
    const QRect frame = ui::WindowWidget(kNoticeWindow)->frameGeometry();
    EXPECT_EQ(frame.topLeft(), c.place);
    EXPECT_EQ(c.screen.width() - frame.right() - 1, 11);
    EXPECT_EQ(c.screen.height() - frame.bottom() - 1, 53);
  }
}

TEST_F(StartedProgramTest, CountdownShowsWholeSecondsAndEndsTheWindowAtTheTwentyFifthTick) {
  Start();
  Widget<QTimer>(names::时钟1, kNoticeWindow)->stop();  // ticks are driven here, not waited for
  CountdownTicks = 0;  // the program never resets it; each test opens its own notice window
  QWidget* notice = ui::WindowWidget(kNoticeWindow);
  for (int tick = 1; tick <= 25; ++tick) {
    SCOPED_TRACE(tick);
    NoticeTimerTick();
    const QString caption = notice->windowTitle();
    EXPECT_EQ(caption, QString::number(25 - tick) + u"秒后关闭"_qs);
    EXPECT_FALSE(caption.contains(QChar(u'.')));
    EXPECT_TRUE(ui::IsWindowLoaded(kNoticeWindow)) << "destroyed only once the handler has ended";
  }
  EXPECT_EQ(notice->windowTitle(), u"0秒后关闭"_qs);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(ui::IsWindowLoaded(kNoticeWindow));
  EXPECT_TRUE(ui::IsWindowLoaded(kMainWindow));
  EXPECT_EQ(CountdownTicks, 25);
}

TEST_F(StartedProgramTest, TimerDrivesTheCountdownToTheEnd) {
  Start();
  CountdownTicks = 0;
  Widget<QTimer>(names::时钟1, kNoticeWindow)->setInterval(1);
  EXPECT_TRUE(PumpUntil([] { return !ui::IsWindowLoaded(kNoticeWindow); }));
  EXPECT_EQ(CountdownTicks, 25);
}

TEST_F(StartedProgramTest, ClosingTheNoticeWindowByHandLeavesTheRestAlone) {
  Start();
  Widget<QTimer>(names::时钟1, kNoticeWindow)->stop();
  CountdownTicks = 0;
  for (int tick = 0; tick < 10; ++tick) NoticeTimerTick();
  ui::WindowWidget(kNoticeWindow)->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(ui::IsWindowLoaded(kNoticeWindow));
  EXPECT_TRUE(ui::IsWindowLoaded(kMainWindow));
  EXPECT_EQ(CountdownTicks, 10);
}

TEST_F(StartedProgramTest, TwoQuickCollectClicksRunTwoCollectionsSideBySide) {
  Start();
  const std::vector<Text> articles = site_.AddNumberedListPages("/news/index_$.html", 1, 2, 3);
  form_.SetText(names::编辑框1, site_.Address("/news/index_$.html"));
  form_.SetText(names::编辑框2, "1");
  form_.SetText(names::编辑框3, "2");
  const int before = CollectedTotal.load();
  QTest::mouseClick(Widget<QPushButton>(names::按钮1), Qt::LeftButton);
  QTest::mouseClick(Widget<QPushButton>(names::按钮1), Qt::LeftButton);

  const auto collected = [&] { return Lines(form_.ReadText(names::编辑框8)); };
  ASSERT_TRUE(PumpUntil([&] { return collected().size() == 2 * articles.size(); }));
  PumpUntilQuiet();
  const std::vector<Text> lines = collected();
  for (const Text& article : articles) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), article), 2) << article;
  }
  EXPECT_EQ(CollectedTotal.load() - before, 12);
  EXPECT_TRUE(StatusText().startsWith(u"全部采集完成！共采集"_qs)) << StatusText().toStdString();
}

TEST_F(StartedProgramTest, SubmitButtonsSendTheirOwnBoxAndListTheirOwnFailures) {
  struct Case {
    ControlName button;
    int page;
    ControlName list;
    ControlName failures;
    ControlName otherFailures;
  };
  const Case cases[] = {
      {names::按钮2, kCollectPage, names::编辑框8, names::编辑框10, names::编辑框12},
      {names::按钮3, kSubmitPage, names::编辑框11, names::编辑框12, names::编辑框10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ui::ToQString(c.button).toStdString());
    Start();
    const Text good = site_.Address("/html/1.html");
    const Text refused = site_.Address("/html/2.html");
    site_.SetAnswerFor(refused, testsupport::answers::kBadToken);
    PageButtonClicked(c.page);
    form_.SetText(names::编辑框9, site_.InterfaceAddress());
    form_.SetText(c.list, JoinTexts(good, "\r\n", refused));
    QTest::mouseClick(Widget<QPushButton>(c.button), Qt::LeftButton);

    ASSERT_TRUE(PumpUntil([&] { return !form_.ReadText(c.failures).empty(); }));
    PumpUntilQuiet();
    const std::vector<testsupport::Submission> sent = site_.Submissions();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].body, good);
    EXPECT_EQ(sent[1].body, refused);
    EXPECT_EQ(form_.ReadText(c.failures), JoinTexts("推送失败", refused, "\r\n"));
    EXPECT_EQ(form_.ReadText(c.otherFailures), "");
  }
}

const char* Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// The start-up routine of a program that keeps a worker writing to the window and closes the
// main window a moment later.
void StartWorkerThenClose(int) {
  std::fprintf(stderr, "created, visible %d\n", ui::WindowWidget(kMainWindow)->isVisible());
  ui::LoadWindow(kNoticeWindow, kMainWindow, false);
  StartThread([] {
    for (;;) ui::FormControls(kMainWindow).AppendEditText(names::编辑框8, {"还在采集\r\n"});
  });
  QTimer::singleShot(200, [] { ui::WindowWidget(kMainWindow)->close(); });
}

[[noreturn]] void RunClosingProgram() {
  static const ui::Binding bindings[] = {{kMainWindow, "", ui::Event::Created, &StartWorkerThenClose}};
  ui::SetBrowserFactory([](QWidget* parent) { return new QWidget(parent); });
  ui::RunProgram({WindowLayouts(), bindings, kMainWindow, [] { std::fputs("exit routine ran\n", stderr); }});
}

TEST(ProgramDeathTest, ClosingTheMainWindowEndsTheProgramAtOnceWhileAWorkerWaitsOnIt) {
  EXPECT_EXIT(RunClosingProgram(), testing::ExitedWithCode(0), "created, visible 1\nexit routine ran\n");
}

TEST(ProgramDeathTest, StartWindowThatCannotBeCreatedIsReported) {
  EXPECT_EXIT(
      {
        static SeenBox seen;
        AnswerNextBox(QMessageBox::Ok, &seen, [] {
          std::fprintf(stderr, "[%s|%s]\n", seen.title.toUtf8().constData(), seen.text.toUtf8().constData());
        });
        ui::RunProgram({{}, {}, "nosuch", nullptr});
      },
      testing::ExitedWithCode(255), Utf8(u8"\\[错误\\|运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n\\]"));
}

}  // namespace
}  // namespace kestrin::app
