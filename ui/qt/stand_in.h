// The start window's first frame, drawn before its widgets are made. Making some forty widgets,
// polishing, showing and painting them one by one is most of what the first paint would wait
// for. Each control is drawn instead from its row, with the style's own primitives, as its widget
// draws itself; the widgets are made right after the first paint, over the same pixels.
//
// The drawing starts on a thread of its own as soon as the window is made, while the window
// thread shows the window and waits for the display to expose it.
#pragma once

#include <future>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QRect>

#include "ui/layout.h"

class QPainter;
class QWidget;

namespace kestrin::ui {

class StandIn {
 public:
  // Starts drawing the controls that lie on `window` and on the first page of its page container,
  // as the framework would make them for `layout`, with `window`'s style and palette and the
  // window font. Window thread.
  StandIn(const WindowLayout& layout, const QWidget& window);
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Draws them with `painter`, which paints on the window, `height` pixels high; waits for the
  // drawing to finish. The status bar lies along the bottom, whatever the window's height.
  void Paint(QPainter& painter, int height);

  // What the thread draws: all the controls but the status bar, on the window's background from
  // its top left, and the status bar apart (null without one).
  struct Drawn {
    QImage controls;
    QImage statusBar;
  };

 private:
  std::unique_ptr<QWidget> probe_;  // what the style is told it draws for; never shown
  std::future<Drawn> drawing_;
  std::optional<Drawn> drawn_;
};

}  // namespace kestrin::ui
