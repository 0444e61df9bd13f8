#include "ui/window_font.h"

#include <QStringList>

namespace kestrin::ui {

QFont WindowFont() {
  QFont font;
  // AR PL UMing CN (scripts/setup.sh installs it) first; the others are wider or taller, but
  // still draw Han characters in their mainland forms.
  font.setFamilies({QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  // At 12 pixels the face carries hand-made bitmaps, drawn only without smoothing: the crisp
  // look of SimSun on a Chinese desktop, and no outline to rasterise before the first paint.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

}  // namespace kestrin::ui
