// The pictures built into the program.
#pragma once

#include <cstdint>
#include <span>

namespace kestrin {

// The main window's instructional picture: a 630 x 255 PNG with alpha.
[[nodiscard]] std::span<const std::uint8_t> MainPicturePng();
// The window icon: a 128 x 128 PNG with alpha.
[[nodiscard]] std::span<const std::uint8_t> WindowIconPng();

}  // namespace kestrin
