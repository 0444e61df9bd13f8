// Controls built from layout rows, their events, and the texts of edit boxes as the program sees
// them.
#include <QAbstractScrollArea>
#include <QAction>
#include <QCheckBox>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

#include "ui/qt/control_looks.h"
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

void ApplyFont(QWidget* widget, unsigned properties) {
  if (properties & (kLargeFont | kBoldFont)) widget->setFont(RowFont(widget->font(), properties));
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

// The buttons share the bar's width equally, with the margins and spacing the style gives a
// tool bar, so that each is as easy to hit as the bar allows.
QToolBar* MakeToolBar(const ControlLayout& row, QWidget* parent, const std::string& window,
                      const std::string& control) {
  auto* bar = new QToolBar(parent);
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  const std::vector<std::string_view> captions = LayoutLines(row.text);
  const int count = static_cast<int>(captions.size());
  const QStyle* style = bar->style();
  const int margin = style->pixelMetric(QStyle::PM_ToolBarItemMargin, nullptr, bar) +
                     style->pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, bar);
  const int spacing = style->pixelMetric(QStyle::PM_ToolBarItemSpacing, nullptr, bar);
  const int share = count > 0 ? (row.width - 2 * margin - (count - 1) * spacing) / count : 0;
  for (int index = 0; index < count; ++index) {
    QAction* action = bar->addAction(ToQString(captions[static_cast<std::size_t>(index)]));
    action->setCheckable(true);  // the checked look is the pressed look
    action->setData(index);
    action->setProperty(kButtonState, kStateEnabled);
    if (QWidget* button = bar->widgetForAction(action)) button->setFixedWidth(share);
  }
  QObject::connect(bar, &QToolBar::actionTriggered, bar, [window, control](QAction* action) {
    // A click toggles a checkable button by itself; only the state operations change the look.
    ShowButtonState(action);
    Dispatch(window, control, Event::ToolButtonClicked, action->data().toInt());
  });
  return bar;
}

QLabel* MakeLabel(const ControlLayout& row, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, TextColour(row.properties));
  label->setPalette(palette);
  const QString text = ToQString(row.text);
  label->setWordWrap(NeedsWrap(RowFont(parent->font(), row.properties), text, row));
  label->setText(text);
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

// The picture stretched over the box, smoothly, without a frame.
QLabel* MakePicture(const ControlLayout& row, QWidget* parent) {
  auto* picture = new QLabel(parent);
  picture->setScaledContents(true);
  if (row.picture != nullptr) picture->setPixmap(QPixmap::fromImage(StoredPicture(row.picture)));
  return picture;
}

}  // namespace

void CreateControl(const ControlLayout& row, QWidget* parent, QWidget* window, LiveWindow& live) {
  const std::string windowName(live.layout.name);
  const std::string controlName(row.name);
  QObject* object = nullptr;
  QWidget* widget = nullptr;
  switch (row.kind) {
    case ControlKind::Label:
      widget = MakeLabel(row, parent);
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
        auto* page = new QWidget;
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
    // A caption on one line reaches into the gap after its box rather than lose the end of its
    // last character: the boxes were measured with SimSun, which draws "：" at the left of its
    // cell, and the Song face here centres it (the dots of "推送接口：" lie at 52..55 of 56).
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && row.kind == ControlKind::Label &&
                                                       !label->wordWrap()) {
      label->resize(std::max(row.width, QFontMetrics(label->font()).horizontalAdvance(label->text())), row.height);
    }
    if (Windows().Bound(windowName, controlName, Event::LeftButtonReleased)) WatchReleases(widget, windowName, controlName);
    object = widget;
  }
  object->setObjectName(ToQString(row.name));

  ControlEntry& entry = live.controls[controlName];
  entry.row = &row;
  entry.object = object;
  if (row.kind == ControlKind::EditBox) {
    live.state->AddEditBox(controlName, Text(row.text));
    ShowEditText(entry, Text(row.text));
  }
}

QImage StoredPicture(PictureSource source) {
  const std::span<const std::uint8_t> png = source();
  return QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG");
}

void ShowButtonState(QAction* action) {
  const int state = action->property(kButtonState).toInt();
  action->setChecked((state & (kStateChecked | kStatePressed)) != 0);
  const bool hidden = (state & kStateHidden) != 0;
  // A hidden button gives its room to the buttons after it, and cannot be used either.
  action->setEnabled((state & kStateEnabled) && !(state & kStateIndeterminate) && !hidden);
  action->setVisible(!hidden);
}

}  // namespace kestrin::ui
