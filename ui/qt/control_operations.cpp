// The operations on controls that the program's logic calls: the Controls interface the workers
// use, tool-bar button states, pages and the browser's address.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QStackedWidget>
#include <QThread>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>

#include "ui/qt/control_surface.h"
#include "ui/qt/tool_bar.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"
#include "ui/window_registry.h"

namespace kestrin::ui {
namespace {

// A worker far ahead of the window waits once this much text waits to be shown.
constexpr std::size_t kPendingLimit = 8u << 20;

bool OnWindowThread() {
  const QCoreApplication* application = QCoreApplication::instance();
  return application == nullptr || QThread::currentThread() == application->thread();
}

// Shows the window's pending changes now, so that the window thread's own operations and reads
// of the widgets come after every change made before them.
void CatchUp(std::string_view window) {
  if (LiveWindow* live = FindWindow(window)) ShowPendingChanges(*live);
}

Text ControlText(std::string_view window, std::string_view control) {
  CatchUp(window);
  const ControlEntry& entry = RequireControl(window, control);
  if (auto* label = qobject_cast<PaintedLabel*>(entry.object)) return FromQString(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(entry.object)) return FromQString(button->text());
  if (entry.row->kind != ControlKind::EditBox) return Text();
  const Text shown = ShownEditText(entry);
  FindWindow(window)->state->Refresh(control, shown);
  return *FindWindow(window)->state->EditText(control);
}

// Workers read and write the form state without waiting on the window thread; the window shows
// their changes once a frame. Whatever the state does not keep goes to the window thread.
class WindowControls final : public Controls {
 public:
  explicit WindowControls(std::string window) : window_(std::move(window)) {}

  Text ReadText(ControlName control) override {
    if (FormState* state = State()) {
      if (std::optional<Text> text = state->EditText(control)) return *std::move(text);
    }
    Text text;
    RunOnWindowThread([&] { text = ControlText(window_, control); });
    return text;
  }

  bool ReadState(ControlName control) override {
    if (FormState* state = State()) {
      if (const std::optional<bool> checked = state->Checked(control)) return *checked;
    }
    bool checked = false;
    RunOnWindowThread([&] {
      if (auto* button = qobject_cast<QAbstractButton*>(RequireControl(window_, control).object)) {
        checked = button->isChecked();
      }
    });
    return checked;
  }

  void SetText(ControlName control, const Text& text) override {
    if (Show([&](FormState& state) { return state.Replace(control, text); })) return;
    RunOnWindowThread([&] {
      CatchUp(window_);
      ControlEntry& entry = RequireControl(window_, control);
      if (auto* label = qobject_cast<PaintedLabel*>(entry.object)) {
        label->setText(ToQString(text));
      } else if (auto* button = qobject_cast<QAbstractButton*>(entry.object)) {
        button->setText(ToQString(text));
      }
    });
  }

  void AppendEditText(ControlName control, const std::vector<Text>& texts) override {
    if (Show([&](FormState& state) { return state.Append(control, texts); })) return;
    // Not an edit box: nothing to append to, but a control that does not exist is still fatal.
    RunOnWindowThread([&] { (void)RequireControl(window_, control); });
  }

  void SetStatusPartText(int part, const Text& text) override {
    if (Show([&](FormState& state) { return state.SetStatusPart(part, text); })) return;
    RunOnWindowThread([&] { (void)RequireControl(window_, names::状态条1); });
  }

  void SetCaption(const Text& caption) override { SetWindowCaption(window_, caption); }

  int MessageBox(const Text& message, int flags, const Text& caption) override {
    return ui::MessageBox(message, flags, caption);
  }

  void OpenAddress(const Text& address) override { ui::OpenAddress(address); }

 private:
  // Makes a change through the form state; false when the state does not keep that control.
  template <typename Change>
  bool Show(const Change& change) {
    FormState* state = State();
    if (state == nullptr) return false;
    const Queued queued = change(*state);
    if (queued == Queued::kNotHere) return false;
    if (OnWindowThread()) {
      CatchUp(window_);
      return true;
    }
    if (queued == Queued::kWake) RequestShowChanges(window_);
    if (state->PendingBytes() > kPendingLimit) state->WaitForRoom(kPendingLimit);
    return true;
  }

  // The window's form state, kept by each thread until a window is loaded or unloaded: a worker
  // writing every address of a long run would otherwise queue on the table's lock each time.
  FormState* State() const {
    struct Kept {
      const WindowControls* owner = nullptr;
      std::uint64_t generation = 0;
      std::shared_ptr<FormState> state;
    };
    thread_local Kept kept;
    const std::uint64_t generation = FormStatesGeneration();
    if (kept.owner != this || kept.generation != generation) {
      kept = {this, generation, FormStateOf(window_)};
    }
    return kept.state.get();
  }

  std::string window_;
};

ToolBar& RequireToolBar(std::string_view window, std::string_view toolBar) {
  auto* bar = qobject_cast<ToolBar*>(RequireControl(window, toolBar).object);
  if (bar == nullptr) ReportNotLoaded();
  return *bar;
}

int ChangeToolButtonState(std::string_view window, std::string_view toolBar, int index, int bits, bool add) {
  int result = -1;
  RunOnWindowThread([&] {
    ToolBar& bar = RequireToolBar(window, toolBar);
    int state = bar.state(index);
    if (state < 0) return;
    const int direct = bits & (kStateChecked | kStatePressed | kStateHidden | kStateIndeterminate);
    const bool disabled = (bits & 4) != 0;
    if (add) {
      state = (state | direct) & ~(disabled ? kStateEnabled : 0);
    } else {
      state = (state & ~direct) | (disabled ? kStateEnabled : 0);
    }
    bar.setState(index, state);
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
  RunOnWindowThread([&] { state = RequireToolBar(window, toolBar).state(index); });
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
