// The workers' changes on their way to the widgets: each window's form state published for any
// thread, and the changes shown on the window thread at most once a frame.
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <mutex>

#include "ui/qt/widget_access.h"
#include "ui/window_registry.h"

namespace kestrin::ui {
namespace {

// A frame of a 60 Hz screen: changes shown more often would not be seen.
constexpr auto kFrame = std::chrono::milliseconds(16);

struct Published {
  std::atomic<std::uint64_t> generation{0};
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<FormState>, std::less<>> states;
};

// Never freed: workers may still call in while the process ends.
Published& PublishedStates() {
  static auto* published = new Published;
  return *published;
}

}  // namespace

std::shared_ptr<FormState> FormStateOf(std::string_view window) {
  Published& published = PublishedStates();
  const std::lock_guard lock(published.mutex);
  const auto found = published.states.find(window);
  return found == published.states.end() ? nullptr : found->second;
}

void PublishFormState(const std::string& window, std::shared_ptr<FormState> state) {
  Published& published = PublishedStates();
  const std::lock_guard lock(published.mutex);
  published.states[window] = std::move(state);
  ++published.generation;
}

std::uint64_t FormStatesGeneration() { return PublishedStates().generation.load(); }

void WithdrawFormState(const std::string& window, const std::shared_ptr<FormState>& state) {
  {
    Published& published = PublishedStates();
    const std::lock_guard lock(published.mutex);
    const auto found = published.states.find(window);
    if (found != published.states.end() && found->second == state) published.states.erase(found);
    ++published.generation;
  }
  state->Close();
}

bool HasChangesToShow(std::string_view window) {
  const auto state = FormStateOf(window);
  return state != nullptr && state->HasPendingChanges();
}

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
