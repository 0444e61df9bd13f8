// The operations on controls that the program's logic calls, on the widgets: what the workers'
// Controls leave to the window thread, tool-bar button states, pages and the browser's address.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <memory>

#include "ui/qt/widget_access.h"
#include "ui/window_controls.h"
#include "ui/window_framework.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {
namespace {

class WidgetControls final : public TableControls<LiveWindow> {
 public:
  explicit WidgetControls(std::string window) : TableControls(std::move(window), Windows()) {}

 protected:
  // Kept by each thread until a window is loaded or unloaded: a worker writing every address of
  // a long run would otherwise queue on the table's lock each time.
  FormState* State(std::shared_ptr<FormState>& /*hold*/) const override {
    struct Kept {
      const WidgetControls* owner = nullptr;
      std::uint64_t generation = 0;
      std::shared_ptr<FormState> state;
    };
    thread_local Kept kept;
    const std::uint64_t generation = FormStatesGeneration();
    if (kept.owner != this || kept.generation != generation) {
      kept = {this, generation, FormStateOf(window())};
    }
    return kept.state.get();
  }

  void RequestShow() override { RequestShowChanges(window()); }

  Text ShownText(ControlName control) override {
    const ControlEntry& entry = RequireControl(window(), control);
    if (auto* label = qobject_cast<QLabel*>(entry.object)) return FromQString(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(entry.object)) return FromQString(button->text());
    return entry.row->kind == ControlKind::EditBox ? ShownEditText(entry) : Text();
  }

  bool ShownChecked(ControlName control) override {
    auto* button = qobject_cast<QAbstractButton*>(RequireControl(window(), control).object);
    return button != nullptr && button->isChecked();
  }

  void ShowText(ControlName control, const Text& text) override {
    ControlEntry& entry = RequireControl(window(), control);
    if (auto* label = qobject_cast<QLabel*>(entry.object)) {
      label->setText(ToQString(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(entry.object)) {
      button->setText(ToQString(text));
    }
  }
};

QToolBar& RequireToolBar(std::string_view window, std::string_view toolBar) {
  auto* bar = qobject_cast<QToolBar*>(RequireControl(window, toolBar).object);
  if (bar == nullptr) ReportNotLoaded();
  return *bar;
}

// The action of the tool bar's button at `index`, or nullptr outside its buttons.
QAction* ButtonAction(const QToolBar& bar, int index) {
  const QList<QAction*> actions = bar.actions();
  return index >= 0 && index < actions.size() ? actions[index] : nullptr;
}

}  // namespace

std::unique_ptr<WindowControls> MakeWindowControls(std::string window) {
  return std::make_unique<WidgetControls>(std::move(window));
}

int ChangeToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits, bool add) {
  QAction* action = ButtonAction(RequireToolBar(window, toolBar), index);
  if (action == nullptr) return -1;
  action->setProperty(kButtonState, ButtonStateAfter(action->property(kButtonState).toInt(), bits, add));
  ShowButtonState(action);
  return index;
}

int ToolButtonState(std::string_view window, std::string_view toolBar, int index) {
  int state = -1;
  RunOnWindowThread([&] {
    if (QAction* action = ButtonAction(RequireToolBar(window, toolBar), index)) {
      state = action->property(kButtonState).toInt();
    }
  });
  return state;
}

QToolButton* ToolButtonOf(std::string_view window, std::string_view toolBar, int index) {
  QToolButton* button = nullptr;
  RunOnWindowThread([&] {
    const ControlEntry* entry = FindControl(window, toolBar);
    auto* bar = entry != nullptr ? qobject_cast<QToolBar*>(entry->object) : nullptr;
    if (QAction* action = bar != nullptr ? ButtonAction(*bar, index) : nullptr) {
      button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    }
  });
  return button;
}

void SetCurrentPage(std::string_view window, std::string_view container, int page) {
  RunOnWindowThread([&] {
    auto* pages = qobject_cast<QStackedWidget*>(RequireControl(window, container).object);
    if (pages == nullptr) ReportNotLoaded();
    if (page >= 0 && page < pages->count()) pages->setCurrentIndex(page);
  });
}

int CurrentPage(std::string_view window, std::string_view container) {
  int page = -1;
  RunOnWindowThread([&] {
    auto* pages = qobject_cast<QStackedWidget*>(RequireControl(window, container).object);
    if (pages == nullptr) ReportNotLoaded();
    page = pages->currentIndex();
  });
  return page;
}

void SetBrowserAddress(std::string_view window, std::string_view browser, const Text& address) {
  RunOnWindowThread([&] {
    RequireControl(window, browser).object->setProperty("url", QUrl(ToQString(address), QUrl::TolerantMode));
  });
}

}  // namespace kestrin::ui
