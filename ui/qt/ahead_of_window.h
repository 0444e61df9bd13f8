// Work that building the start window needs and that can start before the toolkit is up: the
// pictures decoded (and scaled to their boxes), and fontconfig's configuration and caches loaded.
// It runs on a thread of its own while the window thread connects to the display.
#pragma once

#include <future>

#include <QImage>
#include <QSize>

#include "ui/layout.h"

namespace kestrin::ui {

// Starts the work for `layout`'s icon and picture boxes. Call once, on the window thread, before
// any of them is shown; later calls do nothing.
void PrepareAhead(const WindowLayout& layout);

// The stored picture, scaled smoothly to `size` unless `size` is empty, alpha premultiplied; a
// null image when it cannot be decoded. Taken from the prepared pictures when one was prepared
// for this source and size, else decoded now. Window thread only.
[[nodiscard]] QImage PictureImage(PictureSource source, QSize size = {});
// As PictureImage, without waiting for the image: a picture that was not prepared is decoded when
// the result is first waited for.
[[nodiscard]] std::shared_future<QImage> PictureImageLater(PictureSource source, QSize size = {});

// Lets go of the prepared pictures, once the window that needed them is built; images handed out
// stay valid.
void ReleasePreparedPictures();

}  // namespace kestrin::ui
