// The workers' changes on their way to the widgets, shown on the window thread at most once a
// frame.
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include "ui/qt/widget_access.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {

void ShowPendingChanges(LiveWindow& live) {
  ShowChanges(live, [&live](int part, const Text& text) {
    live.statusParts[static_cast<std::size_t>(part)]->setText(ToQString(text));
  });
}

void RequestShowChanges(const std::string& window) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(application, [window] {
    LiveWindow* live = FindWindow(window);
    ShowWithinFrame(live, [&](std::chrono::milliseconds wait) {
      QTimer::singleShot(wait, live->widget, [window] {
        if (LiveWindow* again = FindWindow(window); again != nullptr && again->showScheduled) ShowPendingChanges(*again);
      });
    });
  }, Qt::QueuedConnection);
}

}  // namespace kestrin::ui
