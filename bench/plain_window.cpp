// The baseline of the "ready for use" figure: the main window's layout built directly with plain
// Qt widgets, in the same face and sizes, and shown; no window framework, no start-up routine, no
// notice. Its interface box empties on the first release of the left button over it, as the
// program's does, so that the same clicks and keys leave the same pixels in both.
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>

#include "app/layouts.h"
#include "resources/resources.h"
#include "runtime/codepage.h"

namespace {

using kestrin::ui::ControlKind;
using kestrin::ui::ControlLayout;

QString Q(std::string_view gbk) {
  const std::u16string text = kestrin::GbkToUtf16(gbk);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QFont WindowFont() {
  const std::span<const std::uint8_t> face = kestrin::WindowFontData();
  QFont font;
  QStringList families{QStringLiteral("AR PL UMing CN")};
  if (!face.empty() && QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
                           reinterpret_cast<const char*>(face.data()), static_cast<qsizetype>(face.size()))) >= 0) {
    families.prepend(QStringLiteral("Kestrin Song"));
  }
  font.setFamilies(families);
  font.setPixelSize(12);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// A character height of 20: the largest size whose cell fits.
QFont CellFont(QFont font, bool bold) {
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  for (int size = 20; size > 8; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= 20) break;
  }
  return font;
}

void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

class EmptiedOnRelease final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      static_cast<QLineEdit*>(watched)->clear();
    }
    return false;
  }
};

QWidget* Make(const ControlLayout& row, QWidget* parent) {
  QWidget* widget = nullptr;
  switch (row.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(Q(row.text), parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (row.properties & kestrin::ui::kLargeFont) label->setFont(CellFont(parent->font(), false));
      const QFontMetrics metrics(label->font());
      label->setWordWrap(row.height >= 2 * metrics.lineSpacing() && metrics.horizontalAdvance(label->text()) > row.width);
      if (row.properties & kestrin::ui::kRedText) SetColour(label, QPalette::WindowText, Qt::red);
      widget = label;
      break;
    }
    case ControlKind::EditBox:
      if (row.properties & kestrin::ui::kMultiLine) {
        auto* edit = new QPlainTextEdit(Q(row.text), parent);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = edit;
      } else {
        auto* edit = new QLineEdit(Q(row.text), parent);
        edit->setCursorPosition(0);
        edit->setReadOnly(row.properties & kestrin::ui::kReadOnly);
        if (row.name == kestrin::names::编辑框9) {
          SetColour(edit, QPalette::Text, QColor(128, 128, 128));
          edit->installEventFilter(new EmptiedOnRelease);
        }
        widget = edit;
      }
      break;
    case ControlKind::Button:
      widget = new QPushButton(Q(row.text), parent);
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      QAbstractButton* box = row.kind == ControlKind::CheckBox
                                 ? static_cast<QAbstractButton*>(new QCheckBox(Q(row.text), parent))
                                 : new QRadioButton(Q(row.text), parent);
      box->setChecked(row.properties & kestrin::ui::kChecked);
      widget = box;
      break;
    }
    case ControlKind::ToolBar: {
      auto* bar = new QToolBar(parent);
      bar->setMovable(false);
      bar->setFont(CellFont(parent->font(), true));
      for (std::string_view caption : kestrin::ui::LayoutLines(row.text)) {
        bar->widgetForAction(bar->addAction(Q(caption)))->setFixedWidth(row.width / 2 - 8);
      }
      widget = bar;
      break;
    }
    case ControlKind::StatusBar: {
      auto* bar = new QStatusBar(parent);
      bar->setSizeGripEnabled(false);
      auto* part = new QLabel(QString::fromUtf16(u"状态提示："));
      part->setFixedWidth(row.value);
      bar->addWidget(part);
      bar->addWidget(new QLabel, 1);
      bar->setGeometry(0, parent->height() - row.height, parent->width(), row.height);
      return bar;
    }
    case ControlKind::PageContainer: {
      auto* pages = new QStackedWidget(parent);
      pages->addWidget(new QWidget);
      pages->addWidget(new QWidget);
      widget = pages;
      break;
    }
    case ControlKind::PictureBox: {
      const std::span<const std::uint8_t> png = kestrin::MainPicturePng();
      auto* picture = new QLabel(parent);
      picture->setScaledContents(true);
      picture->setPixmap(QPixmap::fromImage(QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG")));
      widget = picture;
      break;
    }
    case ControlKind::Timer:
    case ControlKind::Browser:
      return nullptr;
  }
  widget->setGeometry(row.left, row.top, row.width, row.height);
  return widget;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const kestrin::ui::WindowLayout& layout = kestrin::app::MainWindowLayout();
  QWidget window;
  window.setWindowTitle(QStringLiteral("plain"));
  window.setFont(WindowFont());
  window.setFixedSize(layout.outerWidth, layout.outerHeight);
  QStackedWidget* pages = nullptr;
  for (const ControlLayout& row : layout.controls) {
    if (row.page != kestrin::ui::kOnWindow) continue;
    QWidget* widget = Make(row, &window);
    if (row.kind == ControlKind::PageContainer) pages = static_cast<QStackedWidget*>(widget);
  }
  for (const ControlLayout& row : layout.controls) {
    if (row.page != kestrin::ui::kOnWindow) Make(row, pages->widget(row.page));
  }
  const std::span<const std::uint8_t> icon = kestrin::WindowIconPng();
  window.setWindowIcon(QPixmap::fromImage(QImage::fromData(icon.data(), static_cast<int>(icon.size()), "PNG")));
  window.show();
  return QApplication::exec();
}
