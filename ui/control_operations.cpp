// The operations on controls that the program's logic calls: the Controls interface the workers
// use, tool-bar button states, pages and the browser's address.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QStackedWidget>
#include <QToolBar>
#include <QUrl>

#include <memory>
#include <mutex>

#include "ui/widget_access.h"
#include "ui/window_framework.h"
#include "ui/window_registry.h"

namespace kestrin::ui {
namespace {

Text ControlText(const ControlEntry& entry) {
  if (auto* label = qobject_cast<QLabel*>(entry.object)) return FromQString(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(entry.object)) return FromQString(button->text());
  if (entry.row->kind == ControlKind::EditBox) return EditText(entry);
  return Text();
}

class WindowControls final : public Controls {
 public:
  explicit WindowControls(std::string window) : window_(std::move(window)) {}

  Text ReadText(ControlName control) override {
    Text text;
    RunOnWindowThread([&] { text = ControlText(RequireControl(window_, control)); });
    return text;
  }

  bool ReadState(ControlName control) override {
    bool checked = false;
    RunOnWindowThread([&] {
      if (auto* button = qobject_cast<QAbstractButton*>(RequireControl(window_, control).object)) {
        checked = button->isChecked();
      }
    });
    return checked;
  }

  void SetText(ControlName control, const Text& text) override {
    RunOnWindowThread([&] {
      ControlEntry& entry = RequireControl(window_, control);
      if (entry.row->kind == ControlKind::EditBox) {
        SetEditText(entry, text);
      } else if (auto* label = qobject_cast<QLabel*>(entry.object)) {
        label->setText(ToQString(text));
      } else if (auto* button = qobject_cast<QAbstractButton*>(entry.object)) {
        button->setText(ToQString(text));
      }
    });
  }

  void AppendEditText(ControlName control, const std::vector<Text>& texts) override {
    RunOnWindowThread([&] {
      ControlEntry& entry = RequireControl(window_, control);
      if (entry.row->kind == ControlKind::EditBox) AppendEditTexts(entry, texts);
    });
  }

  void SetStatusPartText(int part, const Text& text) override {
    RunOnWindowThread([&] {
      LiveWindow* live = FindWindow(window_);
      if (live == nullptr) ReportNotLoaded();
      if (part < 0 || part >= static_cast<int>(live->statusParts.size())) return;
      live->statusParts[static_cast<std::size_t>(part)]->setText(ToQString(text));
    });
  }

  void SetCaption(const Text& caption) override { SetWindowCaption(window_, caption); }

  int MessageBox(const Text& message, int flags, const Text& caption) override {
    return ui::MessageBox(message, flags, caption);
  }

  void OpenAddress(const Text& address) override { ui::OpenAddress(address); }

 private:
  std::string window_;
};

int ChangeToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits, bool add) {
  int result = -1;
  RunOnWindowThread([&] {
    auto* bar = qobject_cast<QToolBar*>(RequireControl(window, toolBar).object);
    if (bar == nullptr) ReportNotLoaded();
    const QList<QAction*> actions = bar->actions();
    if (index < 0 || index >= actions.size()) return;
    QAction* action = actions[index];
    int state = action->property(kButtonState).toInt();
    const int direct = bits & (kStateChecked | kStatePressed | kStateHidden | kStateIndeterminate);
    const bool disabled = (bits & 4) != 0;
    if (add) {
      state = (state | direct) & ~(disabled ? kStateEnabled : 0);
    } else {
      state = (state & ~direct) | (disabled ? kStateEnabled : 0);
    }
    action->setProperty(kButtonState, state);
    ShowButtonState(action);
    result = index;
  });
  return result;
}

}  // namespace

Controls& FormControls(std::string_view window) {
  static auto* mutex = new std::mutex;
  static auto* forms = new std::map<std::string, std::unique_ptr<WindowControls>, std::less<>>;
  const std::lock_guard lock(*mutex);
  auto found = forms->find(window);
  if (found == forms->end()) {
    found = forms->emplace(std::string(window), std::make_unique<WindowControls>(std::string(window))).first;
  }
  return *found->second;
}

int AddToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeToolButtonState(window, toolBar, index, bits, true);
}

int RemoveToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits) {
  return ChangeToolButtonState(window, toolBar, index, bits, false);
}

int ToolButtonState(std::string_view window, std::string_view toolBar, int index) {
  int state = -1;
  RunOnWindowThread([&] {
    auto* bar = qobject_cast<QToolBar*>(RequireControl(window, toolBar).object);
    if (bar == nullptr) ReportNotLoaded();
    const QList<QAction*> actions = bar->actions();
    if (index >= 0 && index < actions.size()) state = actions[index]->property(kButtonState).toInt();
  });
  return state;
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
