// The baseline of the window measurements: a plain Qt Widgets program showing one Chinese
// label, with the toolkit's defaults (no OpenGL sharing, no web engine).
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QLabel label(QStringLiteral("你好，世界"));
  label.setWindowTitle(QStringLiteral("hello"));
  label.setAlignment(Qt::AlignCenter);
  label.resize(320, 120);
  label.show();
  return QApplication::exec();
}
