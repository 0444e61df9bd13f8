#include "ui/qt/control_looks.h"

#include <algorithm>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QProxyStyle>

namespace kestrin::ui {
namespace {

// The desktop the layouts come from leaves about 3 pixels between a check or radio box and its
// caption; the wider default here would cut the end of captions such as "gb2312编码". A style
// rather than a style sheet: sheets bring their parser and a slower way of drawing along.
class ChoiceSpacingStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

}  // namespace

QColor TextColour(unsigned properties) {
  if (properties & kGreyText) return QColor(128, 128, 128);
  if (properties & kRedText) return QColor(255, 0, 0);
  return QColor(0, 0, 0);
}

QPalette EditPalette(QPalette base, unsigned properties) {
  base.setColor(QPalette::Text, TextColour(properties));
  base.setColor(QPalette::Base, Qt::white);
  return base;
}

int PixelSizeForCell(const QFont& base, int cell) {
  QFont font = base;
  const auto fits = [&](int size) {
    font.setPixelSize(size);
    return QFontMetrics(font).height() <= cell;
  };
  const double perPixel = base.pixelSize() > 0 ? QFontMetricsF(base).height() / base.pixelSize() : 1.0;
  int size = std::clamp(static_cast<int>(cell * 0.9 / perPixel), 9, cell);
  if (fits(size)) {
    while (size < cell && fits(size + 1)) ++size;
  } else {
    while (size > 9 && !fits(size - 1)) --size;
    --size;
  }
  return size;
}

int CaptionReach(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  const int advance = metrics.horizontalAdvance(text);
  if (text.isEmpty()) return advance;
  const QChar last = text.back();
  const bool fullWidthMark = last.isPunct() && last.unicode() >= 0x3000;
  return fullWidthMark ? advance - metrics.horizontalAdvance(last) / 2 : advance;
}

QFont RowFont(const QFont& base, unsigned properties) {
  if (!(properties & (kLargeFont | kBoldFont))) return base;
  QFont font = base;
  font.setWeight((properties & kBoldFont) ? QFont::Bold : QFont::Normal);
  // A character height of 20 is the height of the font's cell, not the size of its em; a bold
  // face drawn from the regular one has the regular one's cell.
  font.setPixelSize(PixelSizeForCell(base, 20));
  return font;
}

// A label's text goes on one line when it reaches no further than the box, and is broken into
// lines, as the desktop the layouts come from breaks it, when it does and the box holds two lines;
// a box of one line's height never shows half of a second line.
bool NeedsWrap(const QFont& font, const QString& text, const ControlLayout& row) {
  if (row.height < 2 * QFontMetrics(font).lineSpacing()) return false;
  return CaptionReach(font, text) > row.width;
}

QStyle* ChoiceStyle() {
  static auto* style = new ChoiceSpacingStyle;  // on the application's style; never freed
  return style;
}

}  // namespace kestrin::ui
