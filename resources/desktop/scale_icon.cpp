// Scales the program's icon to the square sizes a desktop's icon theme asks for, at build time:
// scale_icon <icon.png> <folder> <size>... writes <folder>/<size>x<size>/apps/kestrin.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: scale_icon <icon.png> <folder> <size>...\n");
    return 2;
  }
  QGuiApplication application(argc, argv);
  const QImage icon(QString::fromLocal8Bit(argv[1]));
  if (icon.isNull()) {
    std::fprintf(stderr, "scale_icon: cannot read %s\n", argv[1]);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    const int size = QString::fromLocal8Bit(argv[i]).toInt();
    const QString folder = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/%1x%1/apps").arg(size);
    const QImage scaled = size == icon.width() && size == icon.height()
                              ? icon
                              : icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (size <= 0 || !QDir().mkpath(folder) || !scaled.save(folder + QStringLiteral("/kestrin.png"), "PNG")) {
      std::fprintf(stderr, "scale_icon: cannot write the %s-pixel icon\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
