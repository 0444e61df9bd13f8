// Helpers for tests that drive windows on the test's own thread: pumping events while workers
// wait on the window, and answering message boxes as a user would.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace kestrin::testgui {

// Pumps events until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs `work` on a new thread while this (the window) thread keeps handling events, so that the
// worker's blocking calls on the window are served.
inline void RunWorker(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
}

// Counts the calls that other threads carry to the window thread.
class WindowCallCounter final : public QObject {
 public:
  WindowCallCounter() { QCoreApplication::instance()->installEventFilter(this); }
  ~WindowCallCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
  [[nodiscard]] int Count() const { return count_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::MetaCall) ++count_;
    return false;
  }

 private:
  int count_ = 0;
};

// Pumps events until no worker has called on the window for `quietMs`, so that detached workers
// have finished with the window before a test takes it down.
inline void PumpUntilQuiet(int quietMs = 300) {
  WindowCallCounter counter;
  int seen = -1;
  QElapsedTimer quiet;
  quiet.start();
  while (quiet.elapsed() < quietMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (counter.Count() != seen) {
      seen = counter.Count();
      quiet.restart();
    }
  }
}

// What a message box showed when it was answered.
struct SeenBox {
  bool shown = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::WindowModality modality = Qt::NonModal;
  QStringList buttons;
};

// Clicks `button` on the next message box that opens, noting what it showed; `then` runs after.
inline void AnswerNextBox(QMessageBox::StandardButton button, SeenBox* seen,
                          std::function<void()> then = {}) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, button, seen, then = std::move(then)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    if (seen != nullptr) {
      seen->shown = true;
      seen->title = box->windowTitle();
      seen->text = box->text();
      seen->icon = box->icon();
      seen->modality = box->windowModality();
      for (QAbstractButton* each : box->buttons()) seen->buttons.append(each->text());
    }
    if (QAbstractButton* chosen = box->button(button)) {
      chosen->click();
    } else {
      box->close();
    }
    if (then) then();
  });
  poll->start(5);
}

}  // namespace kestrin::testgui
