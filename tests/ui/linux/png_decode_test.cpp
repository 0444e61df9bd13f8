#include "ui/png_decode.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "resources/resources.h"

namespace kestrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TestPicture {
  int width;
  int height;
  int colourType;
  int bitDepth;
  Bytes samples;  // rows as libpng expects them, packed, without filter bytes
  std::vector<png_color> palette = {};
  Bytes transparency = {};  // tRNS: alpha per palette entry, or one grey / RGB 16-bit value
  bool interlaced = false;
};

void AppendToBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

Bytes WritePng(const TestPicture& picture) {
  // Everything with a destructor lives from before setjmp, so a longjmp skips none of them.
  Bytes out;
  Bytes samples = picture.samples;
  std::vector<png_bytep> rows;
  png_color_16 colour{};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test picture";
    return {};
  }
  png_set_write_fn(png, &out, AppendToBytes, nullptr);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colourType,
               picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty()) {
    png_set_PLTE(png, info, picture.palette.data(), static_cast<int>(picture.palette.size()));
  }
  if (!picture.transparency.empty()) {
    if (picture.colourType == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, picture.transparency.data(), static_cast<int>(picture.transparency.size()), nullptr);
    } else {
      colour.gray = picture.transparency[0];
      colour.red = picture.transparency[0];
      colour.green = picture.transparency.size() > 1 ? picture.transparency[1] : 0;
      colour.blue = picture.transparency.size() > 2 ? picture.transparency[2] : 0;
      png_set_tRNS(png, info, nullptr, 0, &colour);
    }
  }
  png_write_info(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  for (int y = 0; y < picture.height; ++y) rows.push_back(samples.data() + y * rowBytes);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A chunk's CRC covers its type and data; rewriting a field means rewriting the CRC as well.
void RewriteChunkCrc(Bytes& png, std::size_t chunkStart) {
  const std::uint32_t length = std::uint32_t{png[chunkStart]} << 24 | png[chunkStart + 1] << 16 |
                               png[chunkStart + 2] << 8 | png[chunkStart + 3];
  const std::uint32_t crc = crc32(0, png.data() + chunkStart + 4, 4 + length);
  const std::size_t at = chunkStart + 8 + length;
  for (int i = 0; i < 4; ++i) png[at + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

// Sets the height in IHDR, which always starts right after the 8-byte signature.
Bytes WithHeaderSize(Bytes png, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
    png[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
  }
  RewriteChunkCrc(png, 8);
  return png;
}

Bytes Builtin(std::span<const std::uint8_t> png) { return Bytes(png.begin(), png.end()); }

TEST(PngDecodeTest, BuiltInPicturesDecodeWithTheirSizesAndAlpha) {
  struct Case {
    const char* name;
    Bytes png;
    int width;
    int height;
  };
  const Case cases[] = {
      {"main picture", Builtin(MainPicturePng()), 630, 255},
      {"window icon", Builtin(WindowIconPng()), 128, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto image = DecodePng(c.png);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    ASSERT_EQ(image->pixels.size(), static_cast<std::size_t>(c.width) * c.height);
    // Rounded corners: the very corner is see-through while the middle is solid.
    EXPECT_EQ(image->pixels.front() >> 24, 0u);
    EXPECT_EQ(image->pixels[c.height / 2 * c.width + c.width / 2] >> 24, 0xFFu);
  }
}

TEST(PngDecodeTest, EveryColourTypeBecomesStraightArgb) {
  struct Case {
    const char* name;
    TestPicture picture;
    std::vector<std::uint32_t> pixels;
  };
  const Case cases[] = {
      {"grey 8-bit", {3, 1, PNG_COLOR_TYPE_GRAY, 8, {0x00, 0x80, 0xFF}},
       {0xFF000000, 0xFF808080, 0xFFFFFFFF}},
      {"grey 1-bit scales to full range", {4, 1, PNG_COLOR_TYPE_GRAY, 1, {0b1010'0000}},
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000}},
      {"grey 8-bit with a transparent value", {3, 1, PNG_COLOR_TYPE_GRAY, 8, {0x10, 0x20, 0x10}, {}, {0x10}},
       {0x00101010, 0xFF202020, 0x00101010}},
      {"grey with alpha", {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x40, 0x7F, 0xC0, 0x00}},
       {0x7F404040, 0x00C0C0C0}},
      {"grey 16-bit", {2, 1, PNG_COLOR_TYPE_GRAY, 16, {0x12, 0x12, 0xFE, 0xFE}},
       {0xFF121212, 0xFFFEFEFE}},
      {"palette with tRNS",
       {3, 1, PNG_COLOR_TYPE_PALETTE, 8, {2, 0, 1}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {0x00, 0x80}},
       {0xFF0000FF, 0x00FF0000, 0x8000FF00}},
      {"palette 2-bit over two rows",
       {2, 2, PNG_COLOR_TYPE_PALETTE, 2, {0b0001'0000, 0b1011'0000},
        {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}}},
       {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}},
      {"RGB without alpha is opaque", {2, 1, PNG_COLOR_TYPE_RGB, 8, {0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC}},
       {0xFF112233, 0xFFAABBCC}},
      {"RGB with a transparent colour", {2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {}, {1, 2, 3}},
       {0x00010203, 0xFF040506}},
      {"RGB 16-bit",
       {1, 2, PNG_COLOR_TYPE_RGB, 16, {0x12, 0x12, 0x34, 0x34, 0x56, 0x56, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80}},
       {0xFF123456, 0xFFFF0080}},
      {"RGBA 16-bit keeps its alpha",
       {1, 1, PNG_COLOR_TYPE_RGBA, 16, {0x01, 0x01, 0x02, 0x02, 0x03, 0x03, 0x40, 0x40}},
       {0x40010203}},
      {"RGBA 8-bit is not premultiplied", {2, 1, PNG_COLOR_TYPE_RGBA, 8, {0xFF, 0xFF, 0xFF, 0x00, 9, 8, 7, 0x80}},
       {0x00FFFFFF, 0x80090807}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto image = DecodePng(WritePng(c.picture));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, c.picture.width);
    EXPECT_EQ(image->height, c.picture.height);
    EXPECT_EQ(image->pixels, c.pixels);
  }
}

TEST(PngDecodeTest, InterlacedPictureComesOutInRowOrder) {
  // Adam7 spreads the pixels over seven passes; each pixel here says where it belongs.
  const int size = 11;
  TestPicture picture{size, size, PNG_COLOR_TYPE_RGBA, 8, {}, {}, {}, true};
  std::vector<std::uint32_t> expected;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const std::uint8_t r = static_cast<std::uint8_t>(x), g = static_cast<std::uint8_t>(y), b = 0x5A;
      const std::uint8_t a = static_cast<std::uint8_t>(x * size + y);
      picture.samples.insert(picture.samples.end(), {r, g, b, a});
      expected.push_back(std::uint32_t{a} << 24 | std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b);
    }
  }
  const auto image = DecodePng(WritePng(picture));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->pixels, expected);
}

TEST(PngDecodeTest, BrokenBytesGiveNothing) {
  const Bytes icon = Builtin(WindowIconPng());
  const Bytes small = WritePng({2, 2, PNG_COLOR_TYPE_GRAY, 8, {1, 2, 3, 4}});
  Bytes crcBroken = icon;
  crcBroken[crcBroken.size() / 2] ^= 0x55;  // inside the image data: its chunk CRC no longer matches
  Bytes noSignature = icon;
  noSignature[1] = 'Q';
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"signature alone", Bytes(icon.begin(), icon.begin() + 8)},
      {"cut inside the header", Bytes(icon.begin(), icon.begin() + 20)},
      {"cut halfway through the data", Bytes(icon.begin(), icon.begin() + icon.size() / 2)},
      {"cut before the end chunk", Bytes(icon.begin(), icon.end() - 12)},
      {"cut inside the end chunk", Bytes(icon.begin(), icon.end() - 1)},
      {"damaged image data", crcBroken},
      {"not a PNG signature", noSignature},
      {"header promises more rows than the data holds", WithHeaderSize(small, 2, 9)},
      {"side above the limit", WithHeaderSize(small, 20000, 1)},
      {"huge picture in a tiny file", WithHeaderSize(small, 16384, 16384)},
      {"zero width", WithHeaderSize(small, 0, 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecodePng(c.bytes).has_value());
  }
}

TEST(PngDecodeTest, RandomAndDamagedBytesNeverCrash) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (int round = 0; round < 200; ++round) {
    Bytes noise = round % 2 == 0 ? signature : Bytes{};
    const int length = 1 + round * 7;
    for (int i = 0; i < length; ++i) noise.push_back(static_cast<std::uint8_t>(byte(random)));
    EXPECT_FALSE(DecodePng(noise).has_value()) << "round " << round;
  }
  // Damage one byte at a time across the icon: whatever survives must still be a 128 x 128 picture.
  const Bytes icon = Builtin(WindowIconPng());
  for (std::size_t at = 8; at < icon.size(); at += 37) {
    Bytes damaged = icon;
    damaged[at] ^= static_cast<std::uint8_t>(1 + byte(random) % 255);
    const auto image = DecodePng(damaged);
    if (image) {
      EXPECT_EQ(image->width, 128) << "byte " << at;
      EXPECT_EQ(image->pixels.size(), 128u * 128u) << "byte " << at;
    }
  }
}

}  // namespace
}  // namespace kestrin
