#include "ui/qt/window_font.h"

#include <QByteArray>
#include <QFontDatabase>
#include <QStringList>

#include "resources/resources.h"

namespace kestrin::ui {
namespace {

// The cut of the Song face built into the program, registered once. The toolkit reads it where
// it lies, in the program's image: only the pages of the glyphs drawn are ever loaded.
bool CutFaceRegistered() {
  static const bool registered = [] {
    const std::span<const std::uint8_t> face = WindowFontData();
    if (face.empty()) return false;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(face.data()), static_cast<qsizetype>(face.size()));
    return QFontDatabase::addApplicationFontFromData(bytes) >= 0;
  }();
  return registered;
}

}  // namespace

QFont WindowFont() {
  QFont font;
  // The cut of AR PL UMing CN for the program's own texts, the full face (scripts/setup.sh
  // installs it) for any other character; the others are wider or taller, but still draw Han
  // characters in their mainland forms.
  QStringList families{QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
                       QStringLiteral("Noto Sans CJK SC")};
  if (CutFaceRegistered()) families.prepend(QString::fromLatin1(kCutFaceFamily));
  font.setFamilies(families);
  font.setPixelSize(12);
  // At 12 pixels the face carries hand-made bitmaps, drawn only without smoothing: the crisp
  // look of SimSun on a Chinese desktop, and no outline to rasterise before the first paint.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

}  // namespace kestrin::ui
