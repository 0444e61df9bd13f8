// Work that building the start window needs and that can start before the toolkit is up: the
// pictures decoded (and scaled to their boxes), fontconfig's configuration and caches loaded, and
// the window's first frame kept from the last start read.
// It runs on a thread of its own while the window thread connects to the display.
#pragma once

#include <filesystem>
#include <future>
#include <optional>
#include <string_view>

#include <QImage>
#include <QSize>

#include "ui/layout.h"
#include "ui/qt/kept_frame.h"

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

// The first frame kept on disk for a window, read ahead, with what is needed to judge it.
struct FrameOnDisk {
  std::filesystem::path path;  // where it is kept; empty when there is nowhere to keep it
  QByteArray system;           // SystemFingerprint of this start
  std::optional<KeptFrame> kept;
};

// What PrepareAhead reads for `window`'s first frame; an invalid future when it was prepared for
// another window or not at all. Window thread.
[[nodiscard]] std::shared_future<FrameOnDisk> FrameOnDiskAhead(std::string_view window);

// Lets go of the prepared pictures and the frame read from disk, once the window that needed them
// is built; images handed out stay valid.
void ReleasePrepared();

}  // namespace kestrin::ui
