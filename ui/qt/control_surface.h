// Labels drawn by the window or page they lie on rather than each by a widget of its own: a
// window of a dozen labels builds, shows and paints in one pass what would otherwise be a dozen
// widgets to polish and paint apart.
#pragma once

#include <functional>

#include <QColor>
#include <QFont>
#include <QObject>
#include <QRect>
#include <QString>
#include <QWidget>

class QPainter;

namespace kestrin::ui {

// A widget that draws the labels lying on it (the window's client area, a page) under its child
// widgets, and hands a left-button release over a label to the label.
class ControlSurface : public QWidget {
  Q_OBJECT

 public:
  explicit ControlSurface(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Draws over the labels, under the child widgets; nothing by default.
  virtual void paintOver(QPainter& painter, const QRect& exposed);
};

// A static text on a ControlSurface, which owns it. Its text starts at the top left of its box and
// is clipped to it; wrapped at word breaks when asked, on one line otherwise.
class PaintedLabel final : public QObject {
  Q_OBJECT

 public:
  // `geometry` in the surface's coordinates; the surface's font, black text, no wrapping.
  PaintedLabel(const QRect& geometry, ControlSurface* surface);

  [[nodiscard]] ControlSurface* surface() const;
  [[nodiscard]] QRect geometry() const { return geometry_; }
  [[nodiscard]] QString text() const { return text_; }
  [[nodiscard]] QFont font() const { return font_; }
  [[nodiscard]] QColor colour() const { return colour_; }
  [[nodiscard]] bool wordWrap() const { return wordWrap_; }
  // Each setter has the surface repaint the label's box.
  void setText(const QString& text);
  void setFont(const QFont& font);
  void setColour(const QColor& colour);
  void setWordWrap(bool wrap);
  // Runs when the left button is released over the label; none by default.
  void setReleaseHandler(std::function<void()> handler) { released_ = std::move(handler); }
  [[nodiscard]] bool takesReleases() const { return static_cast<bool>(released_); }

  // Draws the label with `painter`, which paints on the surface.
  void paint(QPainter& painter) const;
  void release() const;
  // Draws a label of this look in `box`, without one.
  static void Draw(QPainter& painter, const QRect& box, const QFont& font, const QColor& colour, bool wrap,
                   const QString& text);

 private:
  void Repaint();

  QRect geometry_;
  QString text_;
  QFont font_;
  QColor colour_{0, 0, 0};
  bool wordWrap_ = false;
  std::function<void()> released_;
};

}  // namespace kestrin::ui
