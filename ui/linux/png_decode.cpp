#include "ui/png_decode.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace kestrin {
namespace {

// Sizes beyond anything a window shows: a corrupt or hostile header must not make us allocate
// gigabytes before the data runs out.
constexpr png_uint_32 kMaxSide = 16384;
constexpr std::size_t kMaxPixels = std::size_t{1} << 25;
// Deflate cannot shrink data by more than about 1032:1, so a header that promises more raw bytes
// than that many times the whole file is lying.
constexpr std::size_t kMaxDeflateRatio = 1032;

struct SpanReader {
  std::span<const std::uint8_t> bytes;
  std::size_t offset = 0;
};

void ReadFromSpan(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<SpanReader*>(png_get_io_ptr(png));
  if (count > reader->bytes.size() - reader->offset) png_error(png, "unexpected end of data");
  std::memcpy(out, reader->bytes.data() + reader->offset, count);
  reader->offset += count;
}

// libpng's default handlers print to stderr; a bad picture is reported by the empty result alone.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Reads the whole image as 8-bit RGBA bytes into `image.pixels`. Everything this function touches
// after setjmp lives in the caller, so a longjmp out of libpng leaves no half-built local behind.
bool ReadRgba(ReadStructs& structs, std::size_t fileSize, DecodedImage& image, std::vector<png_bytep>& rows) {
  png_structp png = structs.png;
  png_infop info = structs.info;
  if (setjmp(png_jmpbuf(png))) return false;

  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
      std::size_t{width} * height > kMaxPixels) {
    return false;
  }
  const std::size_t rawBytes = std::size_t{height} * (1 + png_get_rowbytes(png, info));
  if (rawBytes / kMaxDeflateRatio > fileSize) return false;

  // Palette, low-depth grey and tRNS become 8-bit RGB(A); 16-bit samples are scaled down; images
  // without alpha get an opaque one, so every row comes out as R, G, B, A bytes.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 4 ||
      png_get_rowbytes(png, info) != std::size_t{width} * 4) {
    return false;
  }

  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(std::size_t{width} * height);
  rows.resize(height);
  auto* base = reinterpret_cast<png_bytep>(image.pixels.data());
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = base + std::size_t{y} * width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> png) {
  constexpr std::size_t kSignatureSize = 8;
  if (png.size() < kSignatureSize || png_sig_cmp(png.data(), 0, kSignatureSize) != 0) return std::nullopt;

  ReadStructs structs;
  structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  if (structs.png == nullptr) return std::nullopt;
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) return std::nullopt;
  SpanReader reader{png};
  png_set_read_fn(structs.png, &reader, ReadFromSpan);

  DecodedImage image;
  std::vector<png_bytep> rows;
  try {
    if (!ReadRgba(structs, png.size(), image, rows)) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }

  // R, G, B, A bytes into 0xAARRGGBB, whatever the machine's byte order.
  for (std::uint32_t& pixel : image.pixels) {
    std::uint8_t rgba[4];
    std::memcpy(rgba, &pixel, 4);
    pixel = std::uint32_t{rgba[3]} << 24 | std::uint32_t{rgba[0]} << 16 | std::uint32_t{rgba[1]} << 8 | rgba[2];
  }
  return image;
}

}  // namespace kestrin
