// The shared behaviour table's probe on the Qt widgets, offscreen.
#include "tests/ui/window_probe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolButton>

#include <algorithm>

#include "tests/ui/qt/gui_helpers.h"
#include "ui/qt/widget_access.h"

namespace kestrin::ui::probe {
namespace {

QWidget* Control(std::string_view window, std::string_view control) {
  return qobject_cast<QWidget*>(ControlObject(window, control));
}

// Edit boxes and labels as their own widget, what takes the mouse for the others.
QWidget* MouseTarget(std::string_view window, std::string_view control) {
  QWidget* widget = Control(window, control);
  if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) return multi->viewport();
  return widget;
}

Box BoxOf(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

QList<QLabel*> StatusParts(std::string_view window, std::string_view bar) {
  return qobject_cast<QStatusBar*>(ControlObject(window, bar))->findChildren<QLabel*>();
}

// A tool bar shows its buttons' changes when it next lays them out, before it is next painted.
void LayOut() { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); }

}  // namespace

void Prepare() {
  SetBrowserFactory([](QWidget* parent) { return new QWidget(parent); });
  SetScreenSizeOverride(0, 0);
}

void Pump() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool PumpUntil(const std::function<bool()>& done) { return testgui::PumpUntil(done); }

void RunWorker(const std::function<void()>& work) { testgui::RunWorker(work); }

bool Exists(std::string_view window) { return WindowWidget(window) != nullptr; }

void Destroy(std::string_view window) { delete WindowWidget(window); }

void CloseByUser(std::string_view window) { WindowWidget(window)->close(); }

void Type(std::string_view window, std::string_view control, std::u16string_view keys) {
  QWidget* widget = Control(window, control);
  widget->setFocus();
  for (const char16_t key : keys) {
    if (key == u'\r') {
      QTest::keyClick(widget, Qt::Key_Return);
    } else if (key < 0x80) {
      QTest::keyClicks(widget, QString(QChar(key)));
    } else {  // what an input method hands over
      QInputMethodEvent event;
      event.setCommitString(QString(QChar(key)));
      QCoreApplication::sendEvent(widget, &event);
    }
  }
}

Text Shown(std::string_view window, std::string_view control) {
  QObject* object = ControlObject(window, control);
  if (auto* label = qobject_cast<QLabel*>(object)) return FromQString(label->text());
  QString text;
  if (auto* line = qobject_cast<QLineEdit*>(object)) text = line->text();
  if (auto* multi = qobject_cast<QPlainTextEdit*>(object)) text = multi->toPlainText();
  // A box holds a line break as "\n" and a lone CR as a zero-width space.
  text.replace(QChar(u'\n'), QStringLiteral("\r\n"));
  text.replace(QChar(0x200B), QChar(u'\r'));
  return FromQString(text);
}

void Click(std::string_view window, std::string_view control) {
  QTest::mouseClick(MouseTarget(window, control), Qt::LeftButton);
}

void ClickWindowAt(std::string_view window, int x, int y) {
  QWidget* top = WindowWidget(window);
  QWidget* under = top->childAt(x, y);
  if (under == nullptr) under = top;
  QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(top, QPoint(x, y)));
}

void OtherClick(std::string_view window, std::string_view control) {
  QTest::mouseClick(MouseTarget(window, control), Qt::RightButton);
}

bool CaretAtEnd(std::string_view window, std::string_view control) {
  QObject* object = ControlObject(window, control);
  if (auto* line = qobject_cast<QLineEdit*>(object)) {
    return line->cursorPosition() == line->text().size() && !line->hasSelectedText();
  }
  auto* multi = qobject_cast<QPlainTextEdit*>(object);
  return multi->textCursor().atEnd() && !multi->textCursor().hasSelection();
}

bool CanUndo(std::string_view window, std::string_view control) {
  QObject* object = ControlObject(window, control);
  if (auto* line = qobject_cast<QLineEdit*>(object)) return line->isUndoAvailable();
  return qobject_cast<QPlainTextEdit*>(object)->document()->isUndoAvailable();
}

int FirstVisibleLine(std::string_view window, std::string_view control) {
  auto* multi = qobject_cast<QPlainTextEdit*>(ControlObject(window, control));
  return multi->verticalScrollBar()->value();
}

bool Visible(std::string_view window, std::string_view control) {
  return Control(window, control)->isVisibleTo(WindowWidget(window));
}

bool Focused(std::string_view window, std::string_view control) { return Control(window, control)->hasFocus(); }

void Focus(std::string_view window, std::string_view control) { Control(window, control)->setFocus(); }

Box Place(std::string_view window, std::string_view control) {
  QWidget* widget = Control(window, control);
  return BoxOf(QRect(widget->mapTo(WindowWidget(window), QPoint()), widget->size()));
}

bool Wraps(std::string_view window, std::string_view control) {
  return qobject_cast<QLabel*>(ControlObject(window, control))->wordWrap();
}

int StatusPartCount(std::string_view window, std::string_view bar) {
  return static_cast<int>(StatusParts(window, bar).size());
}

Text StatusPart(std::string_view window, std::string_view bar, int part) {
  return FromQString(StatusParts(window, bar).at(part)->text());
}

int FirstStatusPartWidth(std::string_view window, std::string_view bar) {
  return StatusParts(window, bar).at(0)->width();
}

ToolLook ToolButton(std::string_view window, std::string_view bar, int index) {
  LayOut();
  const QToolButton* button = ToolButtonOf(window, bar, index);
  return {button->isChecked(), button->isEnabled(), !button->isHidden()};
}

Box ToolButtonPlace(std::string_view window, std::string_view bar, int index) {
  LayOut();
  const QToolButton* button = ToolButtonOf(window, bar, index);
  return button->isHidden() ? Box{} : BoxOf(button->geometry());
}

void ClickToolButton(std::string_view window, std::string_view bar, int index) {
  QTest::mouseClick(ToolButtonOf(window, bar, index), Qt::LeftButton);
}

Box OuterBox(std::string_view window) { return BoxOf(WindowWidget(window)->frameGeometry()); }

int ClientWidth(std::string_view window) { return WindowWidget(window)->width(); }

bool Resizable(std::string_view window) {
  const QWidget* widget = WindowWidget(window);
  return widget->minimumSize() != widget->maximumSize() || (widget->windowFlags() & Qt::WindowMaximizeButtonHint);
}

bool WindowShown(std::string_view window) { return WindowWidget(window)->isVisible(); }

Text Caption(std::string_view window) { return FromQString(WindowWidget(window)->windowTitle()); }

bool OwnedModeless(std::string_view window, std::string_view owner) {
  const QWidget* widget = WindowWidget(window);
  return widget->isWindow() && widget->parentWidget() == WindowWidget(owner) &&
         widget->windowModality() == Qt::NonModal;
}

void OverrideScreen(int width, int height) { SetScreenSizeOverride(width, height); }

void AnswerNextBox(int result, SeenBox* seen, std::string_view watched, std::function<void()> then) {
  static constexpr QMessageBox::StandardButton kByResult[] = {
      QMessageBox::Ok,    QMessageBox::Cancel, QMessageBox::Abort, QMessageBox::Retry,
      QMessageBox::Ignore, QMessageBox::Yes,   QMessageBox::No,
  };
  const bool watching = !watched.empty();
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, result, seen, watching, then = std::move(then)] {
    QMessageBox* box = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* each = qobject_cast<QMessageBox*>(top); each != nullptr && each->isVisible()) box = each;
    }
    if (box == nullptr) return;
    poll->stop();
    poll->deleteLater();
    seen->shown = true;
    seen->title = FromQString(box->windowTitle());
    seen->text = FromQString(box->text());
    seen->icon = box->icon() != QMessageBox::NoIcon;
    // A box that is modal for the application takes the input of every other window.
    seen->holdsWatched = watching && box->windowModality() == Qt::ApplicationModal;
    seen->onWindowThread = box->thread() == QCoreApplication::instance()->thread();
    for (QAbstractButton* each : box->buttons()) {
      const auto* at = std::find(std::begin(kByResult), std::end(kByResult), box->standardButton(each));
      if (at != std::end(kByResult)) seen->results.push_back(static_cast<int>(at - std::begin(kByResult)));
    }
    std::sort(seen->results.begin(), seen->results.end());
    if (then) then();
    QAbstractButton* chosen = result >= 0 && result < 7 ? box->button(kByResult[result]) : nullptr;
    if (chosen != nullptr) {
      chosen->click();
    } else {
      box->close();
    }
  });
  poll->start(5);
}

void CatchOpenedAddresses(std::vector<Text>* opened) {
  if (opened == nullptr) {
    SetAddressOpener({});
    return;
  }
  SetAddressOpener([opened](const Text& address) { opened->push_back(address); });
}

void PostClick(std::string_view window, std::string_view button) {
  auto* target = qobject_cast<QPushButton*>(ControlObject(window, button));
  QMetaObject::invokeMethod(target, [target] { target->click(); }, Qt::QueuedConnection);
}

}  // namespace kestrin::ui::probe
