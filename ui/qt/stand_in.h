// The start window's first frame, drawn before its widgets are made. Making some forty widgets,
// polishing, showing and painting them one by one is most of what the first paint would wait
// for. Each control is drawn instead from its row, with the style's own primitives, as its widget
// draws itself; the widgets are made right after the first paint, over the same pixels.
//
// The drawing starts on a thread of its own as soon as the window is made, while the window
// thread shows the window and waits for the display to expose it. A frame kept from the last
// start, when it was drawn from the same, is shown instead of drawing; a frame drawn is kept.
#pragma once

#include <future>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QRect>

#include "ui/layout.h"
#include "ui/qt/ahead_of_window.h"

class QPainter;
class QWidget;

namespace kestrin::ui {

class StandIn {
 public:
  // Starts drawing the controls that lie on `window` and on the first page of its page container,
  // as the framework would make them for `layout`, with `window`'s style and palette and the
  // window font. With `onDisk` valid, takes the frame kept there when it matches, and else can
  // keep the frame drawn there (Keep). Window thread.
  StandIn(const WindowLayout& layout, const QWidget& window, std::shared_future<FrameOnDisk> onDisk = {});
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Draws them with `painter`, which paints on the window, `height` pixels high; waits for the
  // drawing to finish. The status bar lies along the bottom, whatever the window's height.
  void Paint(QPainter& painter, int height);

  // Keeps the frame drawn and painted where `onDisk` said, on a thread of its own; nothing when
  // the frame came from disk or was not painted yet. Called once the window is on the screen: the
  // writing would slow the first frame on its way there.
  void Keep();

  // Whether the frame is the one kept on disk, not drawn.
  [[nodiscard]] bool FromDisk() const { return fromDisk_; }

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
  bool fromDisk_ = false;
  std::filesystem::path keepAt_;  // where to keep the drawn frame; empty to keep nothing
  QByteArray key_;
};

}  // namespace kestrin::ui
