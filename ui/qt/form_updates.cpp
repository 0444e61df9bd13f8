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
namespace {

// A frame of a 60 Hz screen: changes shown more often would not be seen.
constexpr auto kFrame = std::chrono::milliseconds(16);

}  // namespace

void ShowPendingChanges(LiveWindow& live) {
  live.showScheduled = false;
  live.lastShown = std::chrono::steady_clock::now();
  const PendingChanges changes = live.state->TakeChanges();
  for (const BoxChange& change : changes.boxes) {
    const auto entry = live.controls.find(change.control);
    if (entry == live.controls.end()) continue;
    if (change.kind == BoxChange::Kind::kReplace) {
      ShowEditText(entry->second, change.text);
    } else {
      ShowAppended(entry->second, change.text);
    }
  }
  for (const auto& [part, text] : changes.statusParts) {
    live.statusParts[static_cast<std::size_t>(part)]->setText(ToQString(text));
  }
}

void RequestShowChanges(const std::string& window) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(application, [window] {
    LiveWindow* live = FindWindow(window);
    if (live == nullptr || live->showScheduled) return;
    const auto due = live->lastShown + kFrame;
    const auto now = std::chrono::steady_clock::now();
    if (now >= due) {
      ShowPendingChanges(*live);
      return;
    }
    live->showScheduled = true;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    QTimer::singleShot(wait, live->widget, [window] {
      if (LiveWindow* again = FindWindow(window); again != nullptr && again->showScheduled) ShowPendingChanges(*again);
    });
  }, Qt::QueuedConnection);
}

}  // namespace kestrin::ui
