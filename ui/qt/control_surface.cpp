#include "ui/qt/control_surface.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace kestrin::ui {
namespace {

// The surface's labels, in the order they were made.
template <typename Visit>
void ForEachLabel(const QObject& surface, const Visit& visit) {
  for (QObject* child : surface.children()) {
    if (auto* label = qobject_cast<PaintedLabel*>(child)) visit(*label);
  }
}

}  // namespace

ControlSurface::ControlSurface(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

void ControlSurface::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  ForEachLabel(*this, [&](const PaintedLabel& label) {
    if (event->rect().intersects(label.geometry())) label.paint(painter);
  });
  paintOver(painter, event->rect());
}

void ControlSurface::paintOver(QPainter&, const QRect&) {}

void ControlSurface::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  const QPoint at = event->position().toPoint();
  ForEachLabel(*this, [&](const PaintedLabel& label) {
    if (label.takesReleases() && label.geometry().contains(at)) label.release();
  });
}

PaintedLabel::PaintedLabel(const QRect& geometry, ControlSurface* surface)
    : QObject(surface), geometry_(geometry), font_(surface->font()) {}

ControlSurface* PaintedLabel::surface() const { return static_cast<ControlSurface*>(parent()); }

void PaintedLabel::setText(const QString& text) {
  text_ = text;
  Repaint();
}

void PaintedLabel::setFont(const QFont& font) {
  font_ = font;
  Repaint();
}

void PaintedLabel::setColour(const QColor& colour) {
  colour_ = colour;
  Repaint();
}

void PaintedLabel::setWordWrap(bool wrap) {
  wordWrap_ = wrap;
  Repaint();
}

void PaintedLabel::paint(QPainter& painter) const { Draw(painter, geometry_, font_, colour_, wordWrap_, text_); }

void PaintedLabel::Draw(QPainter& painter, const QRect& box, const QFont& font, const QColor& colour, bool wrap,
                        const QString& text) {
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | (wrap ? Qt::TextWordWrap : 0), text);
}

void PaintedLabel::release() const {
  if (released_) released_();
}

void PaintedLabel::Repaint() { surface()->update(geometry_); }

}  // namespace kestrin::ui
