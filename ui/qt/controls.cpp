// Controls built from layout rows, their events, and the texts of edit boxes as the program sees
// them.
#include <algorithm>
#include <map>

#include <QCheckBox>
#include <QImage>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

#include "ui/qt/ahead_of_window.h"
#include "ui/qt/control_surface.h"
#include "ui/qt/picture_box.h"
#include "ui/qt/tool_bar.h"
#include "ui/qt/widget_access.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {
namespace {

// Which window and control a widget belongs to, for the release filter.
constexpr char kWindowName[] = "kestrinWindow";
constexpr char kControlName[] = "kestrinControl";

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QColor TextColour(unsigned properties) {
  if (properties & kGreyText) return QColor(128, 128, 128);
  if (properties & kRedText) return QColor(255, 0, 0);
  return QColor(0, 0, 0);
}

// The pixel size whose cell, ascent and descent together, is `cell` pixels high: the largest
// that fits, as the desktop the layouts come from measures a character height. Each size tried
// loads a font, which the first paint waits for: the search starts a little below the size the
// base font's cell suggests (large sizes round their cells up) and mostly takes two. Window
// thread only.
int PixelSizeForCell(const QFont& base, int cell) {
  static std::map<int, int> sizes;
  if (auto known = sizes.find(cell); known != sizes.end()) return known->second;
  QFont font = base;
  const auto fits = [&](int size) {
    font.setPixelSize(size);
    return QFontMetrics(font).height() <= cell;
  };
  const double perPixel = base.pixelSize() > 0 ? QFontMetricsF(base).height() / base.pixelSize() : 1.0;
  int size = std::clamp(static_cast<int>(cell * 0.9 / perPixel), 9, cell);
  if (fits(size)) {
    while (size < cell && fits(size + 1)) ++size;
  } else {
    while (size > 9 && !fits(size - 1)) --size;
    --size;
  }
  sizes[cell] = size;
  return size;
}

// The font a row asks for on top of `base`, the font of what it lies on.
QFont RowFont(const QFont& base, unsigned properties) {
  if (!(properties & (kLargeFont | kBoldFont))) return base;
  QFont font = base;
  font.setWeight((properties & kBoldFont) ? QFont::Bold : QFont::Normal);
  // A character height of 20 is the height of the font's cell, not the size of its em; a bold
  // face drawn from the regular one has the regular one's cell.
  font.setPixelSize(PixelSizeForCell(base, 20));
  return font;
}

void ApplyFont(QWidget* widget, unsigned properties) {
  if (properties & (kLargeFont | kBoldFont)) widget->setFont(RowFont(widget->font(), properties));
}

// How far the ink of `text` drawn from x = 0 reaches. A glyph drawn from the face's bitmaps
// measures as its whole cell, so a caption ending in a full-width colon would count as 6 pixels
// wider than it shows.
int InkWidth(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  QImage canvas(metrics.horizontalAdvance(text) + metrics.maxWidth(), metrics.height(),
                QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(0, metrics.ascent(), text);
  painter.end();
  int reach = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
    for (int x = canvas.width() - 1; x >= reach; --x) {
      if (qAlpha(row[x]) != 0) {
        reach = x + 1;
        break;
      }
    }
  }
  return reach;
}

// A label's text goes on one line when its ink fits the box, and is broken into lines, as the
// desktop the layouts come from breaks it, when it does not and the box holds two lines; a box
// of one line's height never shows half of a second line. Only boxes of two lines need their
// text measured to tell, and not even those when every character as wide as the widest would
// fit: laying out text is what the first paint waits for.
bool NeedsWrap(const QFont& font, const QString& text, const ControlLayout& row) {
  const QFontMetrics metrics(font);
  if (row.height < 2 * metrics.lineSpacing()) return false;
  return text.size() * metrics.maxWidth() > row.width && metrics.horizontalAdvance(text) > row.width &&
         InkWidth(font, text) > row.width;
}

// The desktop the layouts come from leaves about 3 pixels between a check or radio box and its
// caption; the wider default here would cut the end of captions such as "gb2312编码". A style
// rather than a style sheet: sheets bring their parser and a slower way of drawing along.
class ChoiceSpacingStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

QStyle* ChoiceStyle() {
  static auto* style = new ChoiceSpacingStyle;  // on the application's style; never freed
  return style;
}

bool IsBound(std::string_view window, std::string_view control, Event event) {
  for (const Binding& binding : Windows().bindings) {
    if (binding.window == window && binding.control == control && binding.event == event) return true;
  }
  return false;
}

class ReleaseFilter final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      const QByteArray window = watched->property(kWindowName).toByteArray();
      const QByteArray control = watched->property(kControlName).toByteArray();
      Dispatch(View(window), View(control), Event::LeftButtonReleased, 0);
    }
    return false;  // the control still handles its release
  }
};

void WatchReleases(QWidget* widget, const std::string& window, const std::string& control) {
  static auto* filter = new ReleaseFilter;
  std::vector<QWidget*> targets{widget};
  // Scroll areas take the mouse on their viewport.
  if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) targets.push_back(area->viewport());
  for (QWidget* target : targets) {
    target->setProperty(kWindowName, QByteArray::fromStdString(window));
    target->setProperty(kControlName, QByteArray::fromStdString(control));
    target->installEventFilter(filter);
  }
}

ToolBar* MakeToolBar(const ControlLayout& row, QWidget* parent, const std::string& window,
                     const std::string& control) {
  std::vector<QString> captions;
  for (std::string_view caption : LayoutLines(row.text)) captions.push_back(ToQString(caption));
  return new ToolBar(captions, [window, control](int index) {
    Dispatch(window, control, Event::ToolButtonClicked, index);
  }, parent);
}

PaintedLabel* MakeLabel(const ControlLayout& row, QWidget* parent, const std::string& window,
                        const std::string& control) {
  auto* surface = qobject_cast<ControlSurface*>(parent);
  if (surface == nullptr) return nullptr;
  auto* label = new PaintedLabel(QRect(row.left, row.top, row.width, row.height), surface);
  label->setFont(RowFont(surface->font(), row.properties));
  label->setColour(TextColour(row.properties));
  const QString text = ToQString(row.text);
  label->setWordWrap(NeedsWrap(label->font(), text, row));
  label->setText(text);
  if (IsBound(window, control, Event::LeftButtonReleased)) {
    label->setReleaseHandler([window, control] { Dispatch(window, control, Event::LeftButtonReleased, 0); });
  }
  return label;
}

QStatusBar* MakeStatusBar(const ControlLayout& row, QWidget* window, LiveWindow& live) {
  auto* bar = new QStatusBar(window);
  bar->setSizeGripEnabled(false);  // the window has a fixed size
  bar->setFixedHeight(row.height);
  const std::vector<std::string_view> parts = LayoutLines(row.text);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    auto* part = new QLabel(ToQString(parts[i]));
    part->setTextFormat(Qt::PlainText);
    if (i + 1 < parts.size()) {
      part->setFixedWidth(row.value);
      bar->addWidget(part);
    } else {
      bar->addWidget(part, 1);  // the last part takes the rest
    }
    live.statusParts.push_back(part);
  }
  live.state->SetStatusPartCount(static_cast<int>(parts.size()));
  bar->setGeometry(0, window->height() - row.height, window->width(), row.height);
  return bar;
}

PictureBox* MakePicture(const ControlLayout& row, QWidget* parent) {
  if (row.picture == nullptr) return new PictureBox({}, parent);
  return new PictureBox(PictureImageLater(row.picture, QSize(row.width, row.height)), parent);
}

}  // namespace

void CreateControl(const ControlLayout& row, QWidget* parent, QWidget* window, LiveWindow& live) {
  const std::string windowName(live.layout.name);
  const std::string controlName(row.name);
  QObject* object = nullptr;
  QWidget* widget = nullptr;
  switch (row.kind) {
    case ControlKind::Label:
      object = MakeLabel(row, parent, windowName, controlName);
      break;
    case ControlKind::EditBox:
      widget = MakeEditBox(row, parent, windowName, controlName);
      break;
    case ControlKind::Button: {
      auto* button = new QPushButton(ToQString(row.text), parent);
      QObject::connect(button, &QPushButton::clicked, button, [windowName, controlName] {
        Dispatch(windowName, controlName, Event::Clicked, 0);
      });
      widget = button;
      break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      QAbstractButton* box = row.kind == ControlKind::CheckBox
                                 ? static_cast<QAbstractButton*>(new QCheckBox(ToQString(row.text), parent))
                                 : new QRadioButton(ToQString(row.text), parent);
      box->setChecked(row.properties & kChecked);
      live.state->AddChoice(controlName, box->isChecked());
      // Radio buttons of a group change each other: every change reaches the form state.
      QObject::connect(box, &QAbstractButton::toggled, box, [state = live.state, controlName](bool checked) {
        state->SetChecked(controlName, checked);
      });
      box->setStyle(ChoiceStyle());
      widget = box;
      break;
    }
    case ControlKind::ToolBar:
      widget = MakeToolBar(row, parent, windowName, controlName);
      break;
    case ControlKind::StatusBar:
      object = MakeStatusBar(row, window, live);
      break;
    case ControlKind::PageContainer: {
      auto* pages = new QStackedWidget(parent);
      for (std::string_view name : LayoutLines(row.text)) {
        auto* page = new ControlSurface;
        page->setObjectName(ToQString(name));
        pages->addWidget(page);
      }
      widget = pages;
      break;
    }
    case ControlKind::PictureBox:
      widget = MakePicture(row, parent);
      break;
    case ControlKind::Timer: {
      auto* timer = new QTimer(window);
      timer->setInterval(row.value);
      QObject::connect(timer, &QTimer::timeout, timer, [windowName, controlName] {
        Dispatch(windowName, controlName, Event::TimerTick, 0);
      });
      if (row.value > 0) timer->start();
      object = timer;
      break;
    }
    case ControlKind::Browser:
      widget = MakeBrowser(parent);
      break;
  }
  if (widget != nullptr) {
    widget->setGeometry(row.left, row.top, row.width, row.height);
    ApplyFont(widget, row.properties);
    if (IsBound(windowName, controlName, Event::LeftButtonReleased)) WatchReleases(widget, windowName, controlName);
    object = widget;
  }
  if (object == nullptr) return;  // a label on a widget that draws none
  object->setObjectName(ToQString(row.name));

  ControlEntry& entry = live.controls[controlName];
  entry.row = &row;
  entry.object = object;
  if (row.kind == ControlKind::EditBox) {
    live.state->AddEditBox(controlName, Text(row.text));
    ShowEditText(entry, Text(row.text));
  }
}

}  // namespace kestrin::ui
