// Controls built from layout rows, their events, and the texts of edit boxes as the program sees
// them.
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

#include "ui/qt/ahead_of_window.h"
#include "ui/qt/control_looks.h"
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

void ApplyFont(QWidget* widget, unsigned properties) {
  if (properties & (kLargeFont | kBoldFont)) widget->setFont(RowFont(widget->font(), properties));
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
