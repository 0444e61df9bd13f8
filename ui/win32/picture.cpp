// The built-in pictures, decoded with WIC, scaled to their boxes and handed to GDI as a bitmap
// or an icon.
#include "ui/win32/picture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/win32/framework.h"

namespace kestrin::ui {
namespace {

struct Weight {
  int source;
  double share;
};

// For each target position, the source positions that make it and what share each gives: when
// shrinking, those it covers by their coverage; when enlarging, the two nearest to its centre by
// their nearness, so that an enlarged picture shades between its pixels instead of showing blocks.
std::vector<std::vector<Weight>> Weights(int from, int to) {
  std::vector<std::vector<Weight>> weights(static_cast<std::size_t>(to));
  const double step = static_cast<double>(from) / to;
  if (to > from) {
    for (int t = 0; t < to; ++t) {
      const double centre = (t + 0.5) * step - 0.5;
      const int below = static_cast<int>(std::floor(centre));
      const double above = centre - below;
      auto& weight = weights[static_cast<std::size_t>(t)];
      weight.push_back({std::clamp(below, 0, from - 1), 1 - above});
      if (above > 1e-9) weight.push_back({std::clamp(below + 1, 0, from - 1), above});
    }
    return weights;
  }
  for (int t = 0; t < to; ++t) {
    const double begin = t * step;
    const double end = begin + step;
    for (int s = static_cast<int>(std::floor(begin)); s < from && s < end; ++s) {
      const double overlap = std::min<double>(end, s + 1) - std::max<double>(begin, s);
      if (overlap > 1e-9) weights[static_cast<std::size_t>(t)].push_back({s, overlap / step});
    }
  }
  return weights;
}

std::uint8_t Channel(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// A top-down 32-bit DIB section holding `image`'s pixels (B, G, R, A bytes).
HBITMAP MakeDib(const DecodedImage& image) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) std::copy(image.pixels.begin(), image.pixels.end(), static_cast<std::uint32_t*>(bits));
  return bitmap;
}

std::optional<DecodedImage> Scaled(PictureSource source, int width, int height) {
  if (source == nullptr || width < 1 || height < 1) return std::nullopt;
  std::optional<DecodedImage> decoded = DecodePng(source());
  if (!decoded) return std::nullopt;
  return ScaleImage(*decoded, width, height);
}

}  // namespace

DecodedImage ScaleImage(const DecodedImage& image, int width, int height) {
  DecodedImage scaled;
  if (image.width < 1 || image.height < 1 || width < 1 || height < 1) return scaled;
  scaled.width = width;
  scaled.height = height;
  scaled.pixels.resize(static_cast<std::size_t>(width) * height);
  const auto across = Weights(image.width, width);
  const auto down = Weights(image.height, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double a = 0, r = 0, g = 0, b = 0;  // premultiplied sums
      for (const Weight& row : down[static_cast<std::size_t>(y)]) {
        for (const Weight& column : across[static_cast<std::size_t>(x)]) {
          const std::uint32_t p = image.pixels[static_cast<std::size_t>(row.source) * image.width + column.source];
          const double w = row.share * column.share;
          const double alpha = (p >> 24) * w;
          a += alpha;
          r += (p >> 16 & 0xFF) * alpha;
          g += (p >> 8 & 0xFF) * alpha;
          b += (p & 0xFF) * alpha;
        }
      }
      std::uint32_t pixel = 0;
      if (a > 1e-9) {
        pixel = static_cast<std::uint32_t>(Channel(a)) << 24 | static_cast<std::uint32_t>(Channel(r / a)) << 16 |
                static_cast<std::uint32_t>(Channel(g / a)) << 8 | Channel(b / a);
      }
      scaled.pixels[static_cast<std::size_t>(y) * width + x] = pixel;
    }
  }
  return scaled;
}

DecodedImage ComposeOver(const DecodedImage& image, std::uint32_t background) {
  DecodedImage composed = image;
  for (std::uint32_t& p : composed.pixels) {
    const double alpha = (p >> 24) / 255.0;
    const auto mix = [&](int shift) {
      return static_cast<std::uint32_t>(Channel((p >> shift & 0xFF) * alpha + (background >> shift & 0xFF) * (1 - alpha)))
             << shift;
    };
    p = 0xFF000000u | mix(16) | mix(8) | mix(0);
  }
  return composed;
}

HBITMAP PictureBitmap(PictureSource source, int width, int height, COLORREF background) {
  const std::optional<DecodedImage> scaled = Scaled(source, width, height);
  if (!scaled) return nullptr;
  // COLORREF is 0x00BBGGRR; the pixels are 0xAARRGGBB.
  const std::uint32_t rgb = static_cast<std::uint32_t>(GetRValue(background)) << 16 |
                            static_cast<std::uint32_t>(GetGValue(background)) << 8 | GetBValue(background);
  return MakeDib(ComposeOver(*scaled, rgb));
}

HICON PictureIcon(PictureSource source, int size) {
  const std::optional<DecodedImage> scaled = Scaled(source, size, size);
  if (!scaled) return nullptr;
  // A 32-bit colour bitmap with alpha draws by its alpha; the mask is needed but not looked at.
  const HBITMAP colour = MakeDib(*scaled);
  const HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  const HICON icon = colour != nullptr && mask != nullptr ? ::CreateIconIndirect(&info) : nullptr;
  if (colour != nullptr) ::DeleteObject(colour);
  if (mask != nullptr) ::DeleteObject(mask);
  return icon;
}

}  // namespace kestrin::ui
