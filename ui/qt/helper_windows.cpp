// Windows shown by a helper program in a process of their own: starting and stopping the
// helper from this side, and the helper's watch on the process that started it.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QWidget>

#include "runtime/helper_program.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {
namespace {

int g_endPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  (void)!write(g_endPipe[1], &byte, 1);
}

}  // namespace

bool StartHelper(const WindowLayout& layout, QWidget* owner) {
  auto* helper = new QProcess(QCoreApplication::instance());
  helper->setProgram(QFile::decodeName(QByteArray::fromStdString(HelperProgramPath(layout.helper))));
  // The helper places its window over its owner's; the owner is known to it by its window id (0:
  // none). What the program handed down for the helper follows.
  QStringList arguments{QString::number(owner != nullptr ? owner->winId() : 0)};
  for (const std::string& argument : HelperArguments(layout.helper)) arguments.append(QString::fromLatin1(argument));
  helper->setArguments(arguments);
  helper->setProcessChannelMode(QProcess::ForwardedChannels);
  // The helper's standard input stays a pipe from here: when this process ends, however it
  // ends, the pipe's end tells the helper to go. The signal is the second warning.
  helper->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  const std::string name(layout.name);
  QObject::connect(helper, &QProcess::finished, helper, [helper, name] {
    Registry& windows = Windows();
    if (auto found = windows.helpers.find(name); found != windows.helpers.end() && found->second == helper) {
      windows.helpers.erase(found);
    }
    helper->deleteLater();
  });
  helper->start();
  if (!helper->waitForStarted()) {
    delete helper;
    return false;
  }
  Windows().helpers[name] = helper;
  return true;
}

void StopHelper(std::string_view window) {
  const auto found = Windows().helpers.find(window);
  if (found != Windows().helpers.end()) found->second->closeWriteChannel();
}

void WatchStarter(const std::function<void()>& end) {
  QCoreApplication* application = QCoreApplication::instance();
  auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, application);
  QObject::connect(input, &QSocketNotifier::activated, input, [input, end] {
    char buffer[256];
    if (read(STDIN_FILENO, buffer, sizeof buffer) > 0) return;  // nothing is sent; the end is what counts
    input->setEnabled(false);
    end();
  });
  if (g_endPipe[0] < 0 && pipe2(g_endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* terminated = new QSocketNotifier(g_endPipe[0], QSocketNotifier::Read, application);
  QObject::connect(terminated, &QSocketNotifier::activated, terminated, [terminated, end] {
    terminated->setEnabled(false);
    end();
  });
  struct sigaction action {};
  action.sa_handler = &OnTerminate;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace kestrin::ui
