// The pictures built into the program.
#pragma once

#include <cstdint>
#include <span>

namespace kestrin {

// The main window's instructional picture: a 630 x 255 PNG with alpha.
[[nodiscard]] std::span<const std::uint8_t> MainPicturePng();
// The window icon: a 128 x 128 PNG with alpha.
[[nodiscard]] std::span<const std::uint8_t> WindowIconPng();
// The windows' Song face cut to the characters of the program's own texts (TrueType), under the
// family name "Kestrin Song"; empty when the build had no means to cut it.
[[nodiscard]] std::span<const std::uint8_t> WindowFontData();

}  // namespace kestrin
