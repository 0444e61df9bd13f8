// Decoding the built-in PNG pictures on Windows, with the Windows Imaging Component
// (ui/windows/png_decode.cpp). The Qt backend reads them with Qt's own image reader.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrin {

struct DecodedImage {
  int width = 0;
  int height = 0;
  // Row-major 32-bit pixels, 0xAARRGGBB (straight alpha), width * height of them.
  std::vector<std::uint32_t> pixels;
};

// Decodes a PNG held in memory into 32-bit pixels with alpha, whatever its colour type and depth.
// Empty when the bytes are not a well-formed PNG.
[[nodiscard]] std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> png);

}  // namespace kestrin
