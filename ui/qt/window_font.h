// The windows' default font.
#pragma once

#include <QFont>

namespace kestrin::ui {

// A Simplified Chinese Song face at 12 pixels, whatever the locale: the layouts were measured
// with such a face, whose Latin letters are half as wide as its Han characters and whose lines
// are 12 pixels apart. Fontconfig alone would pick the Han face by the locale's language (a
// Japanese one under C.UTF-8) and the Latin face apart (a wide one). The program's own texts come
// from a cut of the face built into it (family kCutFaceFamily), when the build made one.
// Needs the application object; window thread only.
[[nodiscard]] QFont WindowFont();

inline constexpr char kCutFaceFamily[] = "Kestrin Song";

}  // namespace kestrin::ui
