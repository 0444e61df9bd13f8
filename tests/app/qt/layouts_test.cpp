// The main window and the notice window as built from their layouts, with no handler bound: what
// the user sees before anything has run.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolButton>
#include <QTimer>
#include <QToolBar>

#include "app/layouts.h"
#include "resources/resources.h"
#include "ui/qt/window_font.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"

namespace kestrin::app {
namespace {

using ui::ControlKind;

template <typename T>
T* Widget(std::string_view control, std::string_view window = kMainWindow) {
  return qobject_cast<T*>(ui::ControlObject(window, control));
}

// The kind of control a framework object is.
std::optional<ControlKind> KindOf(QObject* object) {
  if (qobject_cast<QLineEdit*>(object) || qobject_cast<QPlainTextEdit*>(object)) return ControlKind::EditBox;
  if (qobject_cast<QPushButton*>(object)) return ControlKind::Button;
  if (qobject_cast<QCheckBox*>(object)) return ControlKind::CheckBox;
  if (qobject_cast<QRadioButton*>(object)) return ControlKind::RadioButton;
  if (qobject_cast<QToolBar*>(object)) return ControlKind::ToolBar;
  if (auto* label = qobject_cast<QLabel*>(object)) return label->hasScaledContents() ? ControlKind::PictureBox : ControlKind::Label;
  if (qobject_cast<QStatusBar*>(object)) return ControlKind::StatusBar;
  if (qobject_cast<QStackedWidget*>(object)) return ControlKind::PageContainer;
  if (qobject_cast<QTimer*>(object)) return ControlKind::Timer;
  if (object != nullptr && object->isWidgetType()) return ControlKind::Browser;  // the tests' stand-in
  return std::nullopt;
}

// The text a control shows, for the kinds that show one.
std::optional<Text> ShownText(const ui::ControlLayout& row, QObject* object) {
  if (row.kind == ControlKind::EditBox) return ui::FormControls(kMainWindow).ReadText(row.name);
  if (row.kind == ControlKind::Label) return ui::FromQString(qobject_cast<QLabel*>(object)->text());
  if (auto* button = qobject_cast<QAbstractButton*>(object)) return ui::FromQString(button->text());
  return std::nullopt;
}

class LayoutsTest : public testing::Test {
 protected:
  void SetUp() override {
    ui::SetBrowserFactory([](QWidget* parent) { return new QWidget(parent); });
    ui::InstallProgram({WindowLayouts(), {}, kMainWindow});
    ASSERT_TRUE(ui::LoadWindow(kMainWindow));
    main_ = ui::WindowWidget(kMainWindow);
  }

  void TearDown() override { delete ui::WindowWidget(kMainWindow); }

  QWidget* main_ = nullptr;
};

TEST_F(LayoutsTest, EveryControlStandsWhereItsRowSays) {
  auto* pages = Widget<QStackedWidget>(names::选择夹1);
  ASSERT_NE(pages, nullptr);
  for (const ui::ControlLayout& row : MainWindowLayout().controls) {
    SCOPED_TRACE(ui::ToQString(row.name).toStdString());
    QObject* object = ui::ControlObject(kMainWindow, row.name);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(KindOf(object), row.kind);
    if (const std::optional<Text> text = ShownText(row, object)) {
      EXPECT_EQ(*text, row.text);
    }
    if (row.kind == ControlKind::StatusBar || row.kind == ControlKind::Timer) continue;
    QWidget* onto = row.page == ui::kOnWindow ? main_ : pages->widget(row.page);
    const QRect place(row.left, row.top, row.width, row.height);
    auto* widget = qobject_cast<QWidget*>(object);
    // A caption on one line may reach into the gap after its box.
    const bool reaches = row.kind == ControlKind::Label && !qobject_cast<QLabel*>(widget)->wordWrap();
    EXPECT_EQ(widget->geometry(), reaches ? place.united(QRect(place.topLeft(), widget->size())) : place);
    EXPECT_EQ(widget->parentWidget(), onto);
  }
}

TEST_F(LayoutsTest, MainWindowAtStart) {
  EXPECT_EQ(main_->windowTitle(), u"Kestrin百度推送"_qs);
  // Offscreen windows have no frame, so the client area takes the whole outer size.
  EXPECT_EQ(main_->frameGeometry().size(), QSize(757, 665));
  EXPECT_EQ(main_->minimumSize(), main_->maximumSize()) << "not resizable";
  EXPECT_FALSE(main_->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(main_->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(main_->windowIcon().isNull());
  EXPECT_EQ(ui::CurrentPage(kMainWindow, names::选择夹1), kCollectPage);
  EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 0), 4) << "enabled, not yet pressed";
  EXPECT_EQ(ui::ToolButtonState(kMainWindow, names::工具条1, 1), 4);
}

TEST_F(LayoutsTest, EditBoxesHoldTheirMarkersByteForByte) {
  struct Case {
    ControlName box;
    Text expected;
  };
  const Case cases[] = {
      {names::编辑框4, "<div class=\"cca\">\r"},  // 18 bytes, the CR included
      {names::编辑框5, "</ul>"},
      {names::编辑框6, "<li><a href=\""},
      {names::编辑框7, "\""},
  };
  Controls& form = ui::FormControls(kMainWindow);
  for (const Case& c : cases) {
    SCOPED_TRACE(ui::ToQString(c.box).toStdString());
    EXPECT_EQ(form.ReadText(c.box), c.expected);
  }
  EXPECT_EQ(form.ReadText(names::编辑框4).size(), 18u);
}

TEST_F(LayoutsTest, ExampleAddressesHaveTheirForms) {
  Controls& form = ui::FormControls(kMainWindow);
  const QString pattern = ui::ToQString(form.ReadText(names::编辑框1));
  EXPECT_TRUE(pattern.startsWith(u"http://"_qs));
  EXPECT_TRUE(pattern.endsWith(u"/index_$.html"_qs));

  const QString example = ui::ToQString(form.ReadText(names::编辑框9));
  EXPECT_TRUE(example.startsWith(u"如：http://"_qs)) << example.toStdString();
  EXPECT_TRUE(example.contains(u"/urls?site="_qs));
  EXPECT_TRUE(example.endsWith(u"&token=xxxxxxxxxxxxxxxx"_qs));

  EXPECT_TRUE(Widget<QLineEdit>(names::编辑框13)->isReadOnly());
  EXPECT_TRUE(ui::ToQString(form.ReadText(names::编辑框13)).startsWith(u"https://"_qs));
  EXPECT_TRUE(Widget<QLabel>(names::标签16)->text().startsWith(u"官网："_qs));
}

TEST_F(LayoutsTest, ColoursAndFonts) {
  struct Case {
    ControlName control;
    QColor colour;
  };
  const Case cases[] = {
      {names::编辑框9, QColor(128, 128, 128)},
      {names::编辑框1, QColor(0, 0, 0)},
      {"标签2", QColor(255, 0, 0)},
      {names::标签16, QColor(255, 0, 0)},
      {"标签1", QColor(0, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ui::ToQString(c.control).toStdString());
    if (auto* label = Widget<QLabel>(c.control)) {
      EXPECT_EQ(label->palette().color(QPalette::WindowText), c.colour);
    } else {
      EXPECT_EQ(Widget<QWidget>(c.control)->palette().color(QPalette::Text), c.colour);
    }
  }
  // A character height of 20 is the font's cell: the largest size whose cell fits in 20 pixels.
  const auto cellIsTwenty = [](QFont font) {
    if (QFontMetrics(font).height() > 20) return false;
    font.setPixelSize(font.pixelSize() + 1);
    return QFontMetrics(font).height() > 20;
  };
  const QFont site = Widget<QLabel>(names::标签16)->font();
  EXPECT_TRUE(cellIsTwenty(site));
  EXPECT_EQ(site.weight(), QFont::Normal);
  const QFont tools = ui::ToolButtonOf(kMainWindow, names::工具条1, 0)->font();
  EXPECT_TRUE(cellIsTwenty(tools));
  EXPECT_EQ(tools.weight(), QFont::Bold);
}

// What a caption needs of its box and what the box gives it, measured with the control's font:
// the ink of the text on one line, or the lines a wrapping label breaks it into.
struct Fit {
  int needWidth = 0;
  int haveWidth = 0;
  int needHeight = 0;
  int haveHeight = 0;
};

// The ink is found by drawing the text: the box of a bitmap glyph is its whole cell, blank
// columns and all, so the font's own measures would call a caption clipped whose last stroke
// still shows.
Fit InkFit(const QFont& font, const QString& text, const QRect& room) {
  const QFontMetrics metrics(font);
  QImage canvas(metrics.horizontalAdvance(text) + metrics.maxWidth(), metrics.height(), QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(0, metrics.ascent(), text);
  painter.end();
  int inkEnd = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
    for (int x = canvas.width() - 1; x >= inkEnd; --x) {
      if (qGray(row[x]) < 128) {
        inkEnd = x + 1;
        break;
      }
    }
  }
  return {inkEnd, room.width(), metrics.height(), room.height()};
}

std::optional<Fit> CaptionFit(const ui::ControlLayout& row, QObject* object) {
  if (auto* label = qobject_cast<QLabel*>(object); label != nullptr && row.kind == ControlKind::Label) {
    // The whole cell of the last character, wherever the face puts its ink: a face may centre
    // "：" where the layouts' SimSun draws it at the left.
    if (!label->wordWrap()) {
      const QFontMetrics metrics(label->font());
      return Fit{metrics.horizontalAdvance(label->text()), label->contentsRect().width(), metrics.height(),
                 label->contentsRect().height()};
    }
    const QRect lines = QFontMetrics(label->font())
                            .boundingRect(QRect(0, 0, row.width, 1000), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                          label->text());
    return Fit{lines.width(), row.width, lines.height(), row.height};
  }
  if (auto* button = qobject_cast<QAbstractButton*>(object)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QStyle::SubElement contents = qobject_cast<QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
                                        : qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                                              : QStyle::SE_PushButtonContents;
    return InkFit(button->font(), button->text(), button->style()->subElementRect(contents, &option, button));
  }
  return std::nullopt;
}

TEST_F(LayoutsTest, WindowsAskForASimplifiedChineseSongFace) {
  const QFontInfo face(main_->font());
  // The cut of the face built into the program, or the installed face when the build had none.
  const QString song = WindowFontData().empty() ? u"AR PL UMing CN"_qs : QString::fromLatin1(ui::kCutFaceFamily);
  EXPECT_EQ(face.family(), song) << "scripts/setup.sh installs fonts-arphic-uming and python3-fonttools";
  EXPECT_EQ(face.pixelSize(), 12);
  // The face the cut is made from, and the one behind it for every other character.
  EXPECT_TRUE(QFontDatabase::writingSystems(u"AR PL UMing CN"_qs).contains(QFontDatabase::SimplifiedChinese));
  // Narrow Latin: a Latin letter takes half the width of a Han character, as on a Chinese desktop.
  const QFontMetrics metrics(main_->font());
  EXPECT_EQ(2 * metrics.horizontalAdvance(u"g"_qs), metrics.horizontalAdvance(u"编"_qs));
}

// Every character of the windows' texts comes from the cut, none from a fallback face.
TEST_F(LayoutsTest, TheCutFaceHoldsEveryCharacterOfTheLayouts) {
  if (WindowFontData().empty()) {
    GTEST_SKIP() << "built without a cut of the face";
  }
  QFont cut(QString::fromLatin1(ui::kCutFaceFamily));
  cut.setPixelSize(12);
  ASSERT_EQ(QFontInfo(cut).family(), QString::fromLatin1(ui::kCutFaceFamily));
  const QFontMetrics metrics(cut);
  for (const ui::WindowLayout& window : WindowLayouts()) {
    QString texts = ui::ToQString(window.caption);
    for (const ui::ControlLayout& row : window.controls) texts += ui::ToQString(row.text);
    for (const QChar c : texts) {
      if (!c.isPrint() || c.isSpace()) continue;
      EXPECT_TRUE(metrics.inFont(c)) << QString(c).toStdString() << " is not in the cut";
    }
  }
}

TEST_F(LayoutsTest, EveryCaptionFitsItsBox) {
  std::vector<std::pair<QString, Fit>> fits;
  for (const ui::ControlLayout& row : MainWindowLayout().controls) {
    if (const std::optional<Fit> fit = CaptionFit(row, ui::ControlObject(kMainWindow, row.name))) {
      fits.emplace_back(ui::ToQString(row.text), *fit);
    }
  }
  for (int i = 0; i < 2; ++i) {
    const QToolButton* button = ui::ToolButtonOf(kMainWindow, names::工具条1, i);
    fits.emplace_back(button->text(), InkFit(button->font(), button->text(), button->contentsRect()));
  }
  const QLabel* fixedPart = Widget<QStatusBar>(names::状态条1)->findChildren<QLabel*>().at(0);
  fits.emplace_back(fixedPart->text(), InkFit(fixedPart->font(), fixedPart->text(), fixedPart->rect()));

  EXPECT_GE(fits.size(), 25u);
  for (const auto& [text, fit] : fits) {
    EXPECT_LE(fit.needWidth, fit.haveWidth) << text.toStdString() << ": too wide";
    EXPECT_LE(fit.needHeight, fit.haveHeight) << text.toStdString() << ": too high";
  }
}

TEST_F(LayoutsTest, ChoicesAtStartAndTheRadioGroup) {
  Controls& form = ui::FormControls(kMainWindow);
  EXPECT_TRUE(form.ReadState(names::选择框1));
  EXPECT_FALSE(form.ReadState(names::选择框2));
  EXPECT_FALSE(form.ReadState(names::单选框1));
  EXPECT_TRUE(form.ReadState(names::单选框2));
  QTest::mouseClick(Widget<QRadioButton>(names::单选框1), Qt::LeftButton);
  EXPECT_TRUE(form.ReadState(names::单选框1));
  EXPECT_FALSE(form.ReadState(names::单选框2)) << "selecting one deselects the other";
}

TEST_F(LayoutsTest, PictureFillsItsBoxAndStatusBarHasItsParts) {
  auto* picture = Widget<QLabel>(names::图片框1);
  EXPECT_EQ(picture->pixmap().size(), QSize(630, 255));
  EXPECT_EQ(picture->size(), QSize(432, 152));
  // Stretched to its box without a frame: the picture's own corners are what the box shows.
  const QImage shown = picture->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage stored = picture->pixmap().toImage().scaled(picture->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (const QPoint corner : {QPoint(0, 0), QPoint(431, 0), QPoint(0, 151), QPoint(431, 151), QPoint(216, 76)}) {
    if (qAlpha(stored.pixel(corner)) == 255) {
      EXPECT_EQ(shown.pixel(corner), stored.pixel(corner)) << corner.x() << "," << corner.y();
    }
  }

  auto* bar = Widget<QStatusBar>(names::状态条1);
  EXPECT_EQ(bar->geometry(), QRect(0, main_->height() - 20, main_->width(), 20));
  const QList<QLabel*> parts = bar->findChildren<QLabel*>();
  ASSERT_EQ(parts.size(), 2);
  EXPECT_EQ(parts[0]->text(), u"状态提示："_qs);
  EXPECT_EQ(parts[0]->width(), 60);
  EXPECT_TRUE(parts[1]->text().isEmpty());
  EXPECT_GT(parts[1]->width(), 600) << "the last part takes the rest";
}

TEST_F(LayoutsTest, NoticeWindowOwnedByTheMainWindow) {
  ASSERT_TRUE(ui::LoadWindow(kNoticeWindow, kMainWindow, false));
  QWidget* notice = ui::WindowWidget(kNoticeWindow);
  EXPECT_EQ(notice->parentWidget(), main_);
  EXPECT_EQ(notice->windowModality(), Qt::NonModal);
  EXPECT_EQ(notice->frameGeometry().size(), QSize(349, 357));
  EXPECT_TRUE(notice->windowTitle().isEmpty());
  EXPECT_FALSE(notice->windowFlags() & Qt::WindowMaximizeButtonHint);

  auto* timer = Widget<QTimer>(names::时钟1, kNoticeWindow);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 1000);
  auto* browser = Widget<QWidget>(names::超文本浏览框1, kNoticeWindow);
  EXPECT_EQ(browser->geometry(), QRect(0, 8, 330, 312));
  EXPECT_FALSE(browser->property("url").isValid()) << "no address until the created handler gives one";
}

}  // namespace
}  // namespace kestrin::app
