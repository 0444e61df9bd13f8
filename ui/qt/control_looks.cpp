#include "ui/qt/control_looks.h"

#include <algorithm>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
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

int InkWidth(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  QImage canvas(metrics.horizontalAdvance(text) + metrics.maxWidth(), metrics.height(),
                QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(0, metrics.ascent(), text);
  painter.end();
  int reach = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
    for (int x = canvas.width() - 1; x >= reach; --x) {
      if (qAlpha(row[x]) != 0) {
        reach = x + 1;
        break;
      }
    }
  }
  return reach;
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

// A label's text goes on one line when its ink fits the box, and is broken into lines, as the
// desktop the layouts come from breaks it, when it does not and the box holds two lines; a box
// of one line's height never shows half of a second line. Only boxes of two lines need their
// text measured to tell, and not even those when every character as wide as the widest would fit.
bool NeedsWrap(const QFont& font, const QString& text, const ControlLayout& row) {
  const QFontMetrics metrics(font);
  if (row.height < 2 * metrics.lineSpacing()) return false;
  if (text.size() * metrics.maxWidth() <= row.width || metrics.horizontalAdvance(text) <= row.width) return false;
  return InkWidth(font, text) > row.width;
}

QStyle* ChoiceStyle() {
  static auto* style = new ChoiceSpacingStyle;  // on the application's style; never freed
  return style;
}

}  // namespace kestrin::ui
