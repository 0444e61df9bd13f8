// The WIC decoder against the built-in pictures (as libpng decodes them on Linux) and against
// small pictures of every colour type written here without a library.
#include "ui/png_decode.h"

#include "runtime/windows/windows_api.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "resources/resources.h"

namespace kestrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBig32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(Bytes& out, const char* type, const Bytes& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) blocks.
Bytes Stored(const Bytes& raw) {
  Bytes out = {0x78, 0x01};
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
    out.push_back(at + n == raw.size() ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(~n));
    out.push_back(static_cast<std::uint8_t>(~n >> 8));
    out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig32(out, b << 16 | a);
  return out;
}

struct Picture {
  const char* name;
  int width;
  int height;
  int colourType;  // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  int bitDepth;
  Bytes rows;      // packed samples, row after row, without filter bytes
  Bytes palette;   // R, G, B per entry
  Bytes transparency;
  std::vector<std::uint32_t> expected;  // 0xAARRGGBB, straight alpha
};

Bytes WritePng(const Picture& p) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  PutBig32(header, static_cast<std::uint32_t>(p.width));
  PutBig32(header, static_cast<std::uint32_t>(p.height));
  header.insert(header.end(), {static_cast<std::uint8_t>(p.bitDepth), static_cast<std::uint8_t>(p.colourType), 0, 0, 0});
  PutChunk(png, "IHDR", header);
  if (!p.palette.empty()) PutChunk(png, "PLTE", p.palette);
  if (!p.transparency.empty()) PutChunk(png, "tRNS", p.transparency);
  const std::size_t rowBytes = p.rows.size() / static_cast<std::size_t>(p.height);
  Bytes raw;
  for (int y = 0; y < p.height; ++y) {
    raw.push_back(0);  // filter: none
    const auto row = p.rows.begin() + static_cast<std::ptrdiff_t>(y * rowBytes);
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
  }
  PutChunk(png, "IDAT", Stored(raw));
  PutChunk(png, "IEND", {});
  return png;
}

const Picture kPictures[] = {
    {"RGBA with a transparent and a half-transparent pixel", 2, 1, 6, 8, {255, 0, 0, 255, 0, 128, 255, 0x80}, {}, {},
     {0xFFFF0000, 0x800080FF}},
    {"RGB gets an opaque alpha", 2, 1, 2, 8, {1, 2, 3, 250, 251, 252}, {}, {}, {0xFF010203, 0xFFFAFBFC}},
    {"grey with alpha", 1, 2, 4, 8, {0x40, 0x00, 0xC0, 0xFF}, {}, {}, {0x00404040, 0xFFC0C0C0}},
    {"16-bit grey is scaled down", 1, 1, 0, 16, {0xAB, 0xCD}, {}, {}, {0xFFABABAB}},
    {"two-bit palette with tRNS", 4, 1, 3, 2, {0b00011011}, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120},
     {0, 128}, {0x000A141E, 0x8028323C, 0xFF46505A, 0xFF646E78}},
};

TEST(PngDecodeTest, EveryColourTypeBecomesStraightArgb) {
  for (const Picture& p : kPictures) {
    const auto image = DecodePng(WritePng(p));
    ASSERT_TRUE(image) << p.name;
    EXPECT_EQ(image->width, p.width) << p.name;
    EXPECT_EQ(image->height, p.height) << p.name;
    EXPECT_EQ(image->pixels, p.expected) << p.name;
  }
}

std::uint64_t Fingerprint(const DecodedImage& image) {
  std::uint64_t hash = 1469598103934665603ull;
  for (std::uint32_t pixel : image.pixels) {
    for (int i = 0; i < 4; ++i) {
      hash ^= (pixel >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

// The fingerprints are libpng's decodings of the same files: both decoders give the same pixels.
TEST(PngDecodeTest, BuiltInPicturesDecodeAsLibpngDecodesThem) {
  const struct {
    const char* name;
    std::span<const std::uint8_t> png;
    int width;
    int height;
    std::uint64_t fingerprint;
  } cases[] = {
      {"main picture", MainPicturePng(), 630, 255, 0xc6325a6916a7d5ffull},
      {"window icon", WindowIconPng(), 128, 128, 0xcd9e6932c418561aull},
  };
  for (const auto& c : cases) {
    const auto image = DecodePng(c.png);
    ASSERT_TRUE(image) << c.name;
    EXPECT_EQ(image->width, c.width) << c.name;
    EXPECT_EQ(image->height, c.height) << c.name;
    EXPECT_EQ(Fingerprint(*image), c.fingerprint) << c.name;
  }
}

TEST(PngDecodeTest, BrokenBytesGiveNothing) {
  const Bytes icon(WindowIconPng().begin(), WindowIconPng().end());
  Bytes huge = WritePng(kPictures[0]);
  huge[16] = 0x7F;  // width 0x7F000002: beyond any window
  PutBig32(huge, 0);
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"signature only", Bytes(icon.begin(), icon.begin() + 8)},
      {"cut in the middle", Bytes(icon.begin(), icon.begin() + static_cast<std::ptrdiff_t>(icon.size() / 2))},
      {"not a png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"a side too long", huge},
  };
  for (const auto& c : cases) EXPECT_FALSE(DecodePng(c.bytes)) << c.name;
}

TEST(PngDecodeTest, RandomlyDamagedBytesNeverCrash) {
  const Bytes icon(WindowIconPng().begin(), WindowIconPng().end());
  std::mt19937 rng(2024);
  for (int round = 0; round < 200; ++round) {
    Bytes damaged = icon;
    for (int i = 0; i < 8; ++i) damaged[8 + rng() % (damaged.size() - 8)] = static_cast<std::uint8_t>(rng());
    const auto image = DecodePng(damaged);
    if (image) {
      EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width) * image->height);
    }
  }
}

// A thread that already uses COM in the other mode still decodes.
TEST(PngDecodeTest, DecodesOnAThreadInEitherComMode) {
  for (DWORD mode : {DWORD{COINIT_APARTMENTTHREADED}, DWORD{COINIT_MULTITHREADED}}) {
    bool decoded = false;
    std::thread([&] {
      ::CoInitializeEx(nullptr, mode);
      decoded = DecodePng(WindowIconPng()).has_value();
      ::CoUninitialize();
    }).join();
    EXPECT_TRUE(decoded) << mode;
  }
}

}  // namespace
}  // namespace kestrin
