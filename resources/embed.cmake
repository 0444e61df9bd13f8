# cmake -DOUTPUT=<file.cpp> -DPICTURE=<png> -DICON=<png> -P embed.cmake
# Writes the PNGs' bytes as arrays behind the accessors of resources/resources.h.
function(kestrin_byte_array path var)
  file(READ ${path} hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "${path} is empty")
  endif()
  # Sixteen bytes to a line keeps the generated file readable in a diff or a debugger.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # CMake's regular expressions have no {n}: spell out the sixteen bytes.
  string(REPEAT "0x..," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  set(${var} "${bytes}" PARENT_SCOPE)
endfunction()

kestrin_byte_array(${PICTURE} picture_bytes)
kestrin_byte_array(${ICON} icon_bytes)

file(WRITE ${OUTPUT} "// Generated from resources/picture.png and resources/icon.png; edit those, not this.
#include \"resources/resources.h\"

namespace kestrin {
namespace {
constexpr std::uint8_t kPicture[] = {
    ${picture_bytes}
};
constexpr std::uint8_t kIcon[] = {
    ${icon_bytes}
};
}  // namespace

std::span<const std::uint8_t> MainPicturePng() { return kPicture; }
std::span<const std::uint8_t> WindowIconPng() { return kIcon; }

}  // namespace kestrin
")
