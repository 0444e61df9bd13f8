// The window services that are not about one window, on Qt: text conversion, carrying work to the
// window thread, the screen, message boxes, opening addresses and the runtime's hooks.
#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "runtime/codepage.h"
#include "runtime/events.h"
#include "runtime/runtime_error.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"
#include "ui/window_services.h"

namespace kestrin::ui {
namespace {

// Windows names buttons on a Chinese system this way; Qt only would with translations loaded.
void NameButtons(QMessageBox& box) {
  struct Name {
    QMessageBox::StandardButton button;
    const char16_t* text;
  };
  static constexpr Name kNames[] = {
      {QMessageBox::Ok, u"确定"},    {QMessageBox::Cancel, u"取消"}, {QMessageBox::Abort, u"中止"},
      {QMessageBox::Retry, u"重试"}, {QMessageBox::Ignore, u"忽略"}, {QMessageBox::Yes, u"是"},
      {QMessageBox::No, u"否"},
  };
  for (const Name& name : kNames) {
    if (QAbstractButton* button = box.button(name.button)) button->setText(QString::fromUtf16(name.text));
  }
}

}  // namespace

int ShowMessageBox(const Text& message, int flags, const Text& caption) {
  QMessageBox box;
  box.setWindowTitle(ToQString(caption));
  box.setText(ToQString(message));
  box.setTextFormat(Qt::PlainText);
  // A system-modal box has no owner to hold: as on Windows, it stays on top and leaves the
  // program's windows usable. A task-modal box holds them all.
  const bool systemModal = (flags & 0x3000) == 0x1000;
  box.setWindowModality(systemModal ? Qt::NonModal : Qt::ApplicationModal);
  if (systemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint);

  switch (flags & 0x70) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }

  QList<QAbstractButton*> order;  // in Windows' order, for the default-button bits
  auto add = [&](QMessageBox::StandardButton button) { order.append(box.addButton(button)); };
  auto addOther = [&](const char16_t* text) {  // results Windows numbers above 7: mapped to 0
    order.append(box.addButton(QString::fromUtf16(text), QMessageBox::AcceptRole));
  };
  switch (flags & 0xF) {
    case 1: add(QMessageBox::Ok); add(QMessageBox::Cancel); break;
    case 2: add(QMessageBox::Abort); add(QMessageBox::Retry); add(QMessageBox::Ignore); break;
    case 3: add(QMessageBox::Yes); add(QMessageBox::No); add(QMessageBox::Cancel); break;
    case 4: add(QMessageBox::Yes); add(QMessageBox::No); break;
    case 5: add(QMessageBox::Retry); add(QMessageBox::Cancel); break;
    case 6: add(QMessageBox::Cancel); addOther(u"重试"); addOther(u"继续"); break;
    default: add(QMessageBox::Ok); break;
  }
  NameButtons(box);
  const int defaultIndex = (flags >> 8) & 0xF;
  if (defaultIndex < order.size()) {
    if (auto* push = qobject_cast<QPushButton*>(order[defaultIndex])) box.setDefaultButton(push);
  }

  if (systemModal) {
    QEventLoop answered;
    QObject::connect(&box, &QMessageBox::finished, &answered, &QEventLoop::quit);
    box.show();
    answered.exec();
  } else {
    box.exec();
  }
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return 0;
    case QMessageBox::Cancel: return 1;
    case QMessageBox::Abort: return 2;
    case QMessageBox::Retry: return 3;
    case QMessageBox::Ignore: return 4;
    case QMessageBox::Yes: return 5;
    case QMessageBox::No: return 6;
    default: return 0;
  }
}

namespace {

void ShowErrorBox(const Text& text) {
  RunOnWindowThread([&] {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf16(u"错误"), ToQString(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    NameButtons(box);
    box.exec();
  });
}

void ProcessWindowEvents() {
  // Only the window thread has an event queue of its own; workers have nothing to let through.
  if (QCoreApplication::instance() != nullptr && OnWindowThread()) QCoreApplication::processEvents();
}

}  // namespace

QString ToQString(std::string_view gbk) {
  const std::u16string utf16 = GbkToUtf16(gbk);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

Text FromQString(const QString& text) {
  return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                        static_cast<std::size_t>(text.size())));
}

bool OnWindowThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOnWindowThread(const std::function<void()>& work) {
  if (OnWindowThread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), [&work] { work(); }, Qt::BlockingQueuedConnection);
}

void InstallWindowServices() {
  SetErrorBoxHook(&ShowErrorBox);
  SetProcessPendingEventsHook(&ProcessWindowEvents);
}

ScreenSize PrimaryScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? ScreenSize{screen->geometry().width(), screen->geometry().height()} : ScreenSize{};
}

void OpenWithDesktop(const Text& address) { QDesktopServices::openUrl(QUrl(ToQString(address), QUrl::TolerantMode)); }

}  // namespace kestrin::ui
