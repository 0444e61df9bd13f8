// The main of the window tests: GoogleTest inside a QApplication, offscreen unless told
// otherwise, so that the tests need no display.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

namespace {

// The offscreen platform says for every window what it cannot do; nothing the tests look at.
QtMessageHandler g_standardHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  g_standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleMock(&argc, argv);
  // Death tests start the binary afresh rather than fork a process that holds Qt's threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  g_standardHandler = qInstallMessageHandler(QuietMessages);
  QApplication application(argc, argv);
  const int result = RUN_ALL_TESTS();
  // Owned windows go with their owners; only the unowned ones are deleted here.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->parentWidget() == nullptr) delete widget;
  }
  return result;
}
