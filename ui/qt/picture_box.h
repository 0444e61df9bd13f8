// A picture box: a stored picture stretched over its box, drawn from an image that may still be
// decoding on another thread. The window waits for the image only when it first paints the box,
// which leaves the decoding the whole build of the window to finish in.
#pragma once

#include <future>

#include <QImage>
#include <QWidget>

namespace kestrin::ui {

class PictureBox final : public QWidget {
  Q_OBJECT

 public:
  PictureBox(std::shared_future<QImage> image, QWidget* parent);

  // The picture, once decoded (waits for it); null when it could not be decoded.
  [[nodiscard]] const QImage& image() const;
  // Draws `picture` over `box`, as the box draws it.
  static void Draw(QPainter& painter, const QRect& box, const QImage& picture);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  mutable std::shared_future<QImage> pending_;
  mutable QImage image_;
};

}  // namespace kestrin::ui
