#include "ui/qt/stand_in.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionSlider>
#include <QTextLayout>
#include <QTextOption>
#include <QWidget>

#include <thread>

#include "ui/qt/ahead_of_window.h"
#include "ui/qt/control_looks.h"
#include "ui/qt/control_surface.h"
#include "ui/qt/picture_box.h"
#include "ui/qt/tool_bar.h"
#include "ui/qt/widget_access.h"
#include "ui/qt/window_font.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {
namespace {

struct Item {
  const ControlLayout* row;
  QPoint origin;  // of what the control lies on, in the window
  std::shared_future<QImage> picture;
};

// What the drawing thread works from, taken on the window thread.
struct Inputs {
  std::vector<Item> items;
  const ControlLayout* statusBar = nullptr;
  QSize size;
  qreal pixelRatio = 1;  // of the screen the window shows on: the frame is as sharp as the widgets
  QPalette palette;
  bool active = false;
  Qt::LayoutDirection direction = Qt::LeftToRight;
  const QStyle* style = nullptr;
  const QWidget* probe = nullptr;
};

// What QStyleOption::initFrom gives a released control of `size`, which nothing has focused or
// hovered yet.
QStyleOption BaseOption(const Inputs& inputs, QSize size, const QPalette& palette, const QFont& font) {
  QStyleOption option;
  option.state = QStyle::State_Enabled;
  if (inputs.active) option.state |= QStyle::State_Active;
  option.direction = inputs.direction;
  option.rect = QRect(QPoint(), size);
  option.palette = palette;
  option.fontMetrics = QFontMetrics(font);
  return option;
}

// A painter as a widget's own starts: its font, its text colour.
void Begin(QPainter& painter, const QFont& font, const QColor& text) {
  painter.setFont(font);
  painter.setPen(text);
}

void PaintButton(QPainter& painter, const QStyle& style, const QStyleOption& base,
                 const QString& text) {
  QStyleOptionButton option;
  static_cast<QStyleOption&>(option) = base;
  option.features = QStyleOptionButton::None;
  option.state |= QStyle::State_Raised;
  option.text = text;
  const int icon = style.pixelMetric(QStyle::PM_ButtonIconSize);
  option.iconSize = QSize(icon, icon);
  style.drawControl(QStyle::CE_PushButton, &option, &painter, nullptr);
}

void PaintChoice(QPainter& painter, const QStyleOption& base, const ControlLayout& row) {
  QStyleOptionButton option;
  static_cast<QStyleOption&>(option) = base;
  option.state |= (row.properties & kChecked) ? QStyle::State_On : QStyle::State_Off;
  option.text = ToQString(row.text);
  const QStyle& style = *ChoiceStyle();
  const int icon = style.pixelMetric(QStyle::PM_ButtonIconSize);
  option.iconSize = QSize(icon, icon);
  style.drawControl(row.kind == ControlKind::CheckBox ? QStyle::CE_CheckBox : QStyle::CE_RadioButton, &option,
                    &painter, nullptr);
}

// As QLineEdit paints itself, its caret at the start and out of sight.
void PaintLineEdit(QPainter& painter, const QStyle& style, const QStyleOption& base,
                   const ControlLayout& row) {
  constexpr int kHorizontalMargin = 2;
  QStyleOptionFrame panel;
  static_cast<QStyleOption&>(panel) = base;
  panel.lineWidth = style.pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, nullptr);
  panel.midLineWidth = 0;
  panel.state |= QStyle::State_Sunken;
  if (row.properties & kReadOnly) panel.state |= QStyle::State_ReadOnly;
  panel.features = QStyleOptionFrame::None;
  style.drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, nullptr);

  const QRect contents = style.subElementRect(QStyle::SE_LineEditContents, &panel, nullptr);
  const QString text = ShownInLine(row.text);
  const QFontMetrics& metrics = base.fontMetrics;
  const int textHeight = std::max(metrics.boundingRect(text).height(), metrics.height());
  const int top = contents.y() + (contents.height() - textHeight + 1) / 2;
  painter.save();
  painter.setClipRect(contents);
  painter.setPen(base.palette.color(QPalette::Text));
  painter.drawText(QPoint(contents.x() + kHorizontalMargin, top + metrics.ascent()), text);
  painter.restore();
}

// A multi-line box's text laid out as the plain-text layout does it: each block wrapped at the
// viewport's width less the document's margin on each side, its lines one under the other.
struct TextLines {
  std::vector<std::unique_ptr<QTextLayout>> blocks;
  int lineCount = 0;
};

constexpr int kDocumentMargin = 4;

TextLines LayOutText(const QString& text, const QFont& font, int width) {
  TextLines laidOut;
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  for (const QString& block : text.split(QChar(u'\n'))) {
    auto layout = std::make_unique<QTextLayout>(block, font);
    layout->setTextOption(option);
    layout->beginLayout();
    qreal height = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
      line.setLeadingIncluded(true);
      line.setLineWidth(width - 2 * kDocumentMargin);
      line.setPosition(QPointF(kDocumentMargin, height));
      height += line.height();
      ++laidOut.lineCount;
    }
    layout->endLayout();
    laidOut.blocks.push_back(std::move(layout));
  }
  return laidOut;
}

// The lines shown whole or in part at the bottom of a viewport `height` high, scrolled to the
// end: what the box's scroll bar takes as its page.
int LinesSeenFromBottom(const TextLines& text, int height) {
  const qreal visible = height - kDocumentMargin - 1;
  qreal y = 0;
  int seen = 0;
  for (auto block = text.blocks.rbegin(); block != text.blocks.rend(); ++block) {
    const QTextLayout& layout = **block;
    y += layout.boundingRect().bottom() + (block == text.blocks.rbegin() ? kDocumentMargin : 0);
    if (y > visible) {
      int line = 0;
      while (line < layout.lineCount() && layout.lineAt(line).naturalTextRect().top() < y - visible) ++line;
      return seen + layout.lineCount() - line;
    }
    seen += layout.lineCount();
  }
  return seen;
}

// As QPlainTextEdit paints itself with its vertical scroll bar always on and no horizontal one: a
// sunk frame around the white viewport and the bar, the text from the top and the document's
// margin.
void PaintTextEdit(QPainter& painter, const QStyle& style, const QStyleOption& base, const QFont& font,
                   const QString& text) {
  QStyleOptionFrame frame;
  static_cast<QStyleOption&>(frame) = base;
  frame.frameShape = QFrame::StyledPanel;
  frame.lineWidth = 1;
  frame.midLineWidth = 0;
  frame.state |= QStyle::State_Sunken;
  style.drawControl(QStyle::CE_ShapedFrame, &frame, &painter, nullptr);
  const int frameWidth = style.pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, nullptr);
  const QRect contents = base.rect.adjusted(frameWidth, frameWidth, -frameWidth, -frameWidth);

  QStyleOptionSlider bar;
  static_cast<QStyleOption&>(bar) = base;
  const int extent = style.pixelMetric(QStyle::PM_ScrollBarExtent, &bar, nullptr);
  const QRect barBox(contents.right() - extent + 1, contents.top(), extent, contents.height());
  const QRect viewport(contents.topLeft(), QPoint(barBox.left() - 1, contents.bottom()));
  painter.fillRect(viewport, base.palette.color(QPalette::Base));

  const TextLines lines = LayOutText(text, font, viewport.width());
  painter.save();
  painter.setClipRect(viewport);
  painter.setPen(base.palette.color(QPalette::Text));
  QPointF origin(viewport.left(), viewport.top() + kDocumentMargin);
  for (const auto& block : lines.blocks) {
    block->draw(&painter, origin);
    origin.ry() += block->boundingRect().bottom();
  }
  painter.restore();

  const int page = LinesSeenFromBottom(lines, viewport.height());
  bar.rect = QRect(QPoint(), barBox.size());
  bar.orientation = Qt::Vertical;
  bar.subControls = QStyle::SC_All;
  bar.activeSubControls = QStyle::SC_None;
  bar.minimum = 0;
  bar.maximum = std::max(0, lines.lineCount - page);
  bar.singleStep = 1;
  bar.pageStep = page;
  if (style.styleHint(QStyle::SH_ScrollBar_Transient, &bar, nullptr)) bar.state |= QStyle::State_On;
  painter.save();
  painter.translate(barBox.topLeft());
  painter.setClipRect(bar.rect);  // the bar draws past its box, which its widget would clip
  style.drawComplexControl(QStyle::CC_ScrollBar, &bar, &painter, nullptr);
  painter.restore();
}

// As QStatusBar lays out and paints its parts: 3 pixels above them, 2 below, 2 before the
// first, 6 between, the first `row.value` wide, the last the rest.
void PaintStatusBar(QPainter& painter, const QStyle& style, const QStyleOption& base,
                    const ControlLayout& row) {
  style.drawPrimitive(QStyle::PE_PanelStatusBar, &base, &painter, nullptr);
  const std::vector<std::string_view> parts = LayoutLines(row.text);
  const int top = 3;
  const int height = base.rect.height() - 5;
  int left = 2;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const QRect part(left, top, last ? base.rect.width() - left : row.value, height);
    QStyleOption frame(0);
    frame.rect = part.adjusted(-2, -1, 2, 1);
    frame.palette = base.palette;
    frame.state = QStyle::State_None;
    style.drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, nullptr);
    style.drawItemText(&painter, part, Qt::AlignLeft | Qt::AlignVCenter, base.palette, true,
                       ToQString(parts[i]), QPalette::WindowText);
    left = part.right() + 1 + 6;
  }
}

void PaintToolBar(QPainter& painter, const Inputs& inputs, const QStyleOption& base, const ControlLayout& row,
                  const QFont& font) {
  const QStyle& style = *inputs.style;
  // Told it draws for a widget that no main window holds, as the bar's own widget, the style
  // leaves the panel plain.
  const QStyleOptionToolBar panel = ToolBar::PanelOption(base, style, nullptr);
  style.drawControl(QStyle::CE_ToolBar, &panel, &painter, inputs.probe);
  const std::vector<std::string_view> captions = LayoutLines(row.text);
  const int count = static_cast<int>(captions.size());
  const std::vector<QRect> places = ToolBar::ButtonPlaces(style, nullptr, base.rect.size(), count, count);
  for (std::size_t i = 0; i < places.size(); ++i) {
    QStyleOption buttonBase = base;
    buttonBase.rect = QRect(QPoint(), places[i].size());
    const QStyleOptionToolButton button = ToolBar::ButtonOption(buttonBase, ToQString(captions[i]), font);
    painter.save();
    painter.translate(places[i].topLeft());
    style.drawComplexControl(QStyle::CC_ToolButton, &button, &painter, nullptr);
    painter.restore();
  }
}

void PaintControl(QPainter& painter, const Inputs& inputs, const Item& item, const QFont& windowFont, QSize size) {
  const ControlLayout& row = *item.row;
  const QStyle& style = *inputs.style;
  const QFont font = RowFont(windowFont, row.properties);
  const QRect box(QPoint(), size);
  const auto base = [&](const QPalette& palette) { return BaseOption(inputs, size, palette, font); };
  switch (row.kind) {
    case ControlKind::Label: {
      const QString text = ToQString(row.text);
      PaintedLabel::Draw(painter, box, font, TextColour(row.properties), NeedsWrap(font, text, row), text);
      break;
    }
    case ControlKind::Button: {
      const QStyleOption option = base(inputs.palette);
      Begin(painter, font, option.palette.color(QPalette::ButtonText));
      PaintButton(painter, style, option, ToQString(row.text));
      break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      const QStyleOption option = base(inputs.palette);
      Begin(painter, font, option.palette.color(QPalette::WindowText));
      PaintChoice(painter, option, row);
      break;
    }
    case ControlKind::EditBox: {
      const QStyleOption option = base(EditPalette(inputs.palette, row.properties));
      Begin(painter, font, option.palette.color(QPalette::Text));
      if (row.properties & kMultiLine) {
        int lines = 0;
        PaintTextEdit(painter, style, option, font, ShownInBlocks(row.text, lines));
      } else {
        PaintLineEdit(painter, style, option, row);
      }
      break;
    }
    case ControlKind::ToolBar: {
      const QStyleOption option = base(inputs.palette);
      Begin(painter, font, option.palette.color(QPalette::ButtonText));
      PaintToolBar(painter, inputs, option, row, font);
      break;
    }
    case ControlKind::StatusBar: {
      const QStyleOption option = base(inputs.palette);
      Begin(painter, font, option.palette.color(QPalette::WindowText));
      PaintStatusBar(painter, style, option, row);
      break;
    }
    case ControlKind::PictureBox:
      if (item.picture.valid()) PictureBox::Draw(painter, box, item.picture.get());
      break;
    case ControlKind::PageContainer:  // draws nothing of its own
    case ControlKind::Timer:
    case ControlKind::Browser:  // comes with its widget
      break;
  }
}

// Opaque, as the window's buffer is: drawn onto it line by line, without blending.
QImage Canvas(QSize size, qreal pixelRatio, const QPalette& palette) {
  QImage canvas(size * pixelRatio, QImage::Format_RGB32);
  canvas.setDevicePixelRatio(pixelRatio);
  canvas.fill(palette.color(QPalette::Window));
  return canvas;
}

// On the drawing thread. Its fonts are its own: a font is not to be resolved on two threads at once.
StandIn::Drawn Draw(const Inputs& inputs) {
  const QFont windowFont = WindowFont();
  StandIn::Drawn drawn{Canvas(inputs.size, inputs.pixelRatio, inputs.palette), {}};
  QPainter painter(&drawn.controls);
  for (const Item& item : inputs.items) {
    const ControlLayout& row = *item.row;
    painter.save();
    painter.translate(item.origin + QPoint(row.left, row.top));
    painter.setClipRect(QRect(0, 0, row.width, row.height));
    PaintControl(painter, inputs, item, windowFont, QSize(row.width, row.height));
    painter.restore();
  }
  painter.end();
  if (inputs.statusBar != nullptr) {
    const QSize size(inputs.size.width(), inputs.statusBar->height);
    drawn.statusBar = Canvas(size, inputs.pixelRatio, inputs.palette);
    QPainter bar(&drawn.statusBar);
    PaintControl(bar, inputs, Item{inputs.statusBar, {}, {}}, windowFont, size);
  }
  return drawn;
}

}  // namespace

StandIn::StandIn(const WindowLayout& layout, const QWidget& window, std::shared_future<FrameOnDisk> onDisk) {
  Inputs inputs;
  inputs.size = window.size();
  inputs.pixelRatio = window.devicePixelRatioF();
  inputs.palette = window.palette();
  inputs.active = window.isActiveWindow();
  inputs.direction = window.layoutDirection();
  // Styles make their parts when first asked, which is for the window thread to do.
  inputs.style = window.style();
  if (const FrameOnDisk* disk = onDisk.valid() ? &onDisk.get() : nullptr; disk != nullptr && !disk->path.empty()) {
    key_ = FrameKey(disk->system, {layout.name, inputs.size, inputs.pixelRatio, inputs.palette,
                                  inputs.style->name().toUtf8(), inputs.active,
                                  inputs.direction == Qt::RightToLeft});
    if (disk->kept && disk->kept->key == key_ && disk->kept->controls.size() == inputs.size * inputs.pixelRatio) {
      drawn_ = Drawn{disk->kept->controls, disk->kept->statusBar};
      fromDisk_ = true;
      return;
    }
    keepAt_ = disk->path;
  }
  (void)inputs.style->pixelMetric(QStyle::PM_DefaultFrameWidth);
  (void)ChoiceStyle()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  probe_ = std::make_unique<QWidget>();
  inputs.probe = probe_.get();
  // The container's first page lies on it at its top left, without a frame.
  const ControlLayout* pages = PageContainerOf(layout);
  for (const ControlLayout& row : layout.controls) {
    if (row.kind == ControlKind::StatusBar && row.page == kOnWindow) {
      inputs.statusBar = &row;
      continue;
    }
    QPoint origin;
    if (row.page != kOnWindow) {
      if (pages == nullptr || row.page != 0) continue;
      origin = QPoint(pages->left, pages->top);
    }
    Item item{&row, origin, {}};
    if (row.kind == ControlKind::PictureBox && row.picture != nullptr) {
      item.picture = PictureImageLater(row.picture, QSize(row.width, row.height));
    }
    inputs.items.push_back(std::move(item));
  }
  drawing_ = std::async(std::launch::async, [inputs = std::move(inputs)] { return Draw(inputs); });
}

StandIn::~StandIn() {
  if (drawing_.valid()) drawing_.wait();  // the thread uses the probe
}

void StandIn::Paint(QPainter& painter, int height) {
  if (!drawn_) drawn_ = drawing_.get();
  painter.drawImage(0, 0, drawn_->controls);
  if (!drawn_->statusBar.isNull()) {
    painter.drawImage(0, height - drawn_->statusBar.deviceIndependentSize().toSize().height(), drawn_->statusBar);
  }
}

void StandIn::Keep() {
  if (!drawn_ || keepAt_.empty()) return;
  // A process that ends before the thread does keeps nothing; the next start draws again.
  std::thread([path = std::move(keepAt_), frame = KeptFrame{key_, drawn_->controls, drawn_->statusBar}] {
    WriteKeptFrame(path, frame);
  }).detach();
  keepAt_.clear();
}

}  // namespace kestrin::ui
