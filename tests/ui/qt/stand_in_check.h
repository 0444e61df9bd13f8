// Compares a window's first frame, drawn before its widgets are made, with the window as its
// widgets draw it: for each control on the window and on the first page, the pixels of its box
// that differ.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <string>
#include <vector>

#include "ui/layout.h"
#include "ui/qt/stand_in.h"
#include "ui/qt/widget_access.h"

namespace kestrin::testgui {

struct BoxDifference {
  std::string control;  // UTF-8
  int pixels = 0;
};

struct FrameComparison {
  std::vector<BoxDifference> boxes;  // the first frame's controls, in the layout's order
  int windowPixels = 0;              // differing anywhere in the window
  QImage widgets;
  QImage standIn;
};

// `box` in the window's coordinates, `ratio` device pixels to each of its pixels.
inline int DifferingPixels(const QImage& a, const QImage& b, const QRect& logical, qreal ratio) {
  const QRect box(logical.topLeft() * ratio, logical.size() * ratio);
  int differing = 0;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    for (int x = box.left(); x <= box.right(); ++x) differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
  }
  return differing;
}

// `window` is loaded from `layout` with all its widgets. Nothing in it may have focus: a box with
// focus draws its frame and caret, which the first frame has none of.
inline FrameComparison CompareFirstFrame(const ui::WindowLayout& layout, QWidget& window) {
  FrameComparison comparison;
  comparison.widgets = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const qreal ratio = window.devicePixelRatioF();
  comparison.standIn = QImage(window.size() * ratio, QImage::Format_ARGB32_Premultiplied);
  comparison.standIn.setDevicePixelRatio(ratio);
  {
    ui::StandIn drawing(layout, window);
    QPainter painter(&comparison.standIn);
    drawing.Paint(painter, window.height());
  }
  QPoint pages;
  if (const ui::ControlLayout* container = ui::PageContainerOf(layout)) pages = {container->left, container->top};
  for (const ui::ControlLayout& row : layout.controls) {
    if (row.page > 0) continue;
    QRect box(QPoint(row.left, row.top) + (row.page == 0 ? pages : QPoint()), QSize(row.width, row.height));
    if (row.kind == ui::ControlKind::StatusBar) box = {0, window.height() - row.height, window.width(), row.height};
    const int pixels = DifferingPixels(comparison.widgets, comparison.standIn, box & window.rect(), ratio);
    comparison.boxes.push_back({ui::ToQString(row.name).toStdString(), pixels});
  }
  comparison.windowPixels = DifferingPixels(comparison.widgets, comparison.standIn, window.rect(), ratio);
  return comparison;
}

}  // namespace kestrin::testgui
