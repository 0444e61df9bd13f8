// The built-in pictures scaled to the boxes that show them. Plain C++ on decoded pixels.
#pragma once

#include <cstdint>

#include "ui/png_decode.h"

namespace kestrin::ui {

// `image` resampled to `width` x `height`: shrunk, each pixel the average of the source area it
// covers, weighted by how much of each source pixel falls in it; enlarged, each pixel shaded
// between the source pixels nearest its centre. Weighted by alpha too, so that the colour of
// transparent pixels never bleeds into the picture. Straight alpha in and out. An empty image,
// or a size below 1, gives an empty image.
[[nodiscard]] DecodedImage ScaleImage(const DecodedImage& image, int width, int height);

// Each pixel laid over an opaque `background` (0xRRGGBB): opaque 0xFFRRGGBB pixels.
[[nodiscard]] DecodedImage ComposeOver(const DecodedImage& image, std::uint32_t background);

}  // namespace kestrin::ui
