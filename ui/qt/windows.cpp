// Windows built from layout descriptions: loading and unloading them, their frame, place and
// caption, the hand-over of events to handlers, and the program's run.
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

#include "runtime/runtime_error.h"
#include "ui/qt/widget_access.h"
#include "ui/qt/window_font.h"
#include "ui/window_framework.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {
namespace {

// A top-level window of fixed outer size. Its client area is what is left inside the frame, so the
// client size follows the frame the window manager draws; without one (offscreen, bare X servers)
// the client area is the whole outer size.
class FormWindow final : public QWidget {
 public:
  FormWindow(std::string name, QSize outer, QWidget* owner)
      : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
        name_(std::move(name)),
        outer_(outer) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(outer_);
  }

  ~FormWindow() override {
    Withdraw();
    if (name_ == Windows().startWindow && Windows().endProgram) Windows().endProgram();
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    // Closing the start window ends the process here, also while workers wait on the window.
    if (name_ == Windows().startWindow && Windows().endProgram) Windows().endProgram();
    QWidget::closeEvent(event);
    // Closed is gone, as a window destroyed when closed is, its timers with it; the widget goes
    // a moment later.
    if (!event->isAccepted()) return;
    for (QTimer* timer : findChildren<QTimer*>()) timer->stop();
    Withdraw();
  }

  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (auto* bar = findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly)) {
      bar->setGeometry(0, height() - bar->height(), width(), bar->height());
      bar->raise();
    }
  }

  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    FitFrame();
  }

  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    FitFrame();  // window managers report their frame late, with a move
  }

 private:
  void Withdraw() {
    Registry& windows = Windows();
    auto live = windows.live.find(name_);
    if (live != windows.live.end() && live->second.widget == this) {
      WithdrawFormState(name_, live->second.state);
      windows.live.erase(live);
    }
  }

  void FitFrame() {
    const QWindow* handle = windowHandle();
    if (handle == nullptr) return;
    const QMargins frame = handle->frameMargins();
    const QSize client(outer_.width() - frame.left() - frame.right(), outer_.height() - frame.top() - frame.bottom());
    if (client != size() && client.isValid()) setFixedSize(client);
  }

  std::string name_;
  QSize outer_;
};

void SetIcon(QWidget* widget, PictureSource icon) {
  if (icon != nullptr) widget->setWindowIcon(QIcon(QPixmap::fromImage(StoredPicture(icon))));
}

// Hands the start window's created event over once the window has been painted, so that the
// window is on the screen while the start-up routine blocks; a second later at the latest. What
// the user sees: with the notice page slow or gone, the update check holds the window thread for
// up to its 3-second time-out, and without this the window would stay blank (or not be there at
// all) for those seconds instead of showing its controls.
class CreatedAfterPaint final : public QObject {
 public:
  CreatedAfterPaint(QWidget* window, std::string name) : QObject(window), name_(std::move(name)) {
    window->installEventFilter(this);
    QTimer::singleShot(1000, this, [this] { Fire(); });
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) QTimer::singleShot(0, this, [this] { Fire(); });
    return false;
  }

 private:
  void Fire() {
    if (fired_) return;
    fired_ = true;
    parent()->removeEventFilter(this);
    // The painted window may still sit in the connection's buffer, where it would stay for as
    // long as the start-up routine blocks: sent to the display, and drawn there, first.
    QGuiApplication::sync();
    Dispatch(name_, {}, Event::Created, 0);
  }

  std::string name_;
  bool fired_ = false;
};

enum class CreatedEvent { BeforeShow, AfterPaint };

// Creates the window's controls, those on the window first: page controls go onto the pages of the
// container. Then the workers may reach them.
void MakeControls(LiveWindow& live) {
  for (const ControlLayout& row : live.layout.controls) {
    if (row.page == kOnWindow) CreateControl(row, live.widget, live.widget, live);
  }
  QStackedWidget* pages = nullptr;
  if (const ControlLayout* container = PageContainerOf(live.layout)) {
    if (const ControlEntry* entry = FindControl(live.layout.name, container->name)) {
      pages = qobject_cast<QStackedWidget*>(entry->object);
    }
  }
  for (const ControlLayout& row : live.layout.controls) {
    if (pages == nullptr || row.page == kOnWindow || row.page >= pages->count()) continue;
    CreateControl(row, pages->widget(row.page), live.widget, live);
  }
  PublishFormState(std::string(live.layout.name), live.state);
}

bool Load(std::string_view window, std::string_view owner, bool modal, CreatedEvent created) {
  const WindowLayout* layout = Windows().Layout(window);
  if (layout == nullptr) return false;
  QWidget* ownerWidget = nullptr;
  if (!owner.empty()) {
    const LiveWindow* ownerWindow = FindWindow(owner);
    if (ownerWindow == nullptr) return false;
    ownerWidget = ownerWindow->widget;
  }
  if (!layout->helper.empty() && Windows().helpersEnabled) {
    return Windows().helpers.contains(window) || StartHelper(*layout, ownerWidget);
  }
  if (LiveWindow* loaded = FindWindow(window)) {
    loaded->widget->show();
    loaded->widget->raise();
    return true;
  }

  const std::string name(window);
  auto* widget = new FormWindow(name, QSize(layout->outerWidth, layout->outerHeight), ownerWidget);
  LiveWindow& live = Windows().live[name];
  live.layout = *layout;
  live.widget = widget;
  widget->setWindowTitle(ToQString(layout->caption));
  widget->setFont(WindowFont());
  SetIcon(widget, layout->icon);
  MakeControls(live);

  widget->move((ScreenWidth() - layout->outerWidth) / 2, (ScreenHeight() - layout->outerHeight) / 2);
  if (modal) widget->setWindowModality(Qt::ApplicationModal);

  const QPointer<QWidget> guard(widget);
  if (created == CreatedEvent::BeforeShow) Dispatch(window, {}, Event::Created, 0);
  if (guard.isNull()) return true;
  if (layout->visible) widget->show();
  if (created == CreatedEvent::AfterPaint) new CreatedAfterPaint(widget, name);
  if (modal) {
    QEventLoop loop;
    QObject::connect(widget, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

}  // namespace

Registry& Windows() {
  static auto* registry = new Registry;
  return *registry;
}

void InstallProgram(const Program& program) { Windows().Install(program); }

namespace {

void StartApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  // The program takes no command line; Qt is given the program's name alone.
  static int argc = 1;
  static char name[] = "kestrin";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // never deleted: workers may still call in at the end
  QApplication::setFont(WindowFont());  // message boxes too
}

}  // namespace

void RunProgram(const Program& program) {
  StartApplication();
  InstallWindowServices();
  InstallProgram(program);
  Registry& windows = Windows();
  windows.startWindow = std::string(program.startWindow);
  windows.helpersEnabled = true;
  windows.endProgram = EndOfProgram(program.exitRoutine);
  if (!Load(program.startWindow, {}, false, CreatedEvent::AfterPaint)) ReportRuntimeError(0, "载入启动窗口失败");
  QApplication::exec();
  windows.endProgram();
  std::_Exit(0);
}

void RunHelperWindow(const Program& program, std::string_view window, int argc, char** argv) {
  StartApplication();
  InstallWindowServices();
  InstallProgram(program);
  Registry& windows = Windows();
  windows.startWindow = std::string(window);
  // The window's widgets, a web engine's among them, go before the process does.
  windows.endProgram = [] { QCoreApplication::quit(); };
  if (!Load(window, {}, false, CreatedEvent::BeforeShow)) ReportRuntimeError(0, "载入启动窗口失败");
  const std::string name(window);
  WatchStarter([name] {
    if (LiveWindow* live = FindWindow(name)) {
      live->widget->close();
    } else {
      QCoreApplication::quit();
    }
  });
  if (argc > 1) {
    LiveWindow* live = FindWindow(window);
    const WId owner = QString::fromLocal8Bit(argv[1]).toULongLong();
    if (live != nullptr && owner != 0 && live->widget->windowHandle() != nullptr) {
      live->widget->windowHandle()->setTransientParent(QWindow::fromWinId(owner));
    }
  }
  QApplication::exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  if (program.exitRoutine != nullptr) program.exitRoutine();
  std::fflush(nullptr);
  std::_Exit(0);
}

bool LoadWindow(std::string_view window, std::string_view owner, bool modal) {
  bool loaded = false;
  RunOnWindowThread([&] { loaded = Load(window, owner, modal, CreatedEvent::BeforeShow); });
  return loaded;
}

void UnloadWindow(std::string_view window) {
  RunOnWindowThread([&] {
    if (Windows().helpers.contains(window)) {
      StopHelper(window);
      return;
    }
    WithWindow(Windows(), window, [](LiveWindow& live) { live.widget->deleteLater(); });
  });
}

bool IsWindowLoaded(std::string_view window) {
  bool loaded = false;
  RunOnWindowThread([&] { loaded = FindWindow(window) != nullptr || Windows().helpers.contains(window); });
  return loaded;
}

void SetWindowPosition(std::string_view window, int left, int top) {
  // A top-level widget's position is its frame's.
  WithWindow(Windows(), window, [&](LiveWindow& live) { live.widget->move(left, top); });
}

void SetWindowCaption(std::string_view window, const Text& caption) {
  WithWindow(Windows(), window, [&](LiveWindow& live) { live.widget->setWindowTitle(ToQString(caption)); });
}

QWidget* WindowWidget(std::string_view window) {
  QWidget* widget = nullptr;
  RunOnWindowThread([&] {
    if (const LiveWindow* live = FindWindow(window)) widget = live->widget;
  });
  return widget;
}

QObject* ControlObject(std::string_view window, std::string_view control) {
  QObject* object = nullptr;
  RunOnWindowThread([&] {
    if (const ControlEntry* entry = FindControl(window, control)) object = entry->object;
  });
  return object;
}

}  // namespace kestrin::ui
