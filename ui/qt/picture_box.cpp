#include "ui/qt/picture_box.h"

#include <QPainter>

namespace kestrin::ui {

PictureBox::PictureBox(std::shared_future<QImage> image, QWidget* parent)
    : QWidget(parent), pending_(std::move(image)) {}

const QImage& PictureBox::image() const {
  if (pending_.valid()) {
    image_ = pending_.get();
    pending_ = {};
  }
  return image_;
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Draw(painter, rect(), image());
}

void PictureBox::Draw(QPainter& painter, const QRect& box, const QImage& picture) {
  if (picture.isNull()) return;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);  // only when the box is not the picture's size
  painter.drawImage(box, picture);
  painter.restore();
}

}  // namespace kestrin::ui
