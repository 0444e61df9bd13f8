// The start window's first frame, kept on disk from the last start. Drawing the frame costs some
// milliseconds of font and style work that would otherwise sit between showing the window and
// its first paint; a kept frame is read on a thread while the toolkit starts instead.
//
// A kept frame is used only when its key matches: the key covers the program file, the toolkit's
// libraries, fontconfig's configuration and font folders, the environment that picks style,
// scale and language, and, once the toolkit is up, the window's size, pixel ratio, style and
// palette, the screen's resolution and the X server's font settings. Whatever else differs shows only until the widgets paint over it a moment later.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QPalette>
#include <QSize>

namespace kestrin::ui {

struct KeptFrame {
  QByteArray key;   // what the frame was drawn from, as FrameKey gives it
  QImage controls;  // the window's controls but the status bar, RGB32, at its pixel ratio
  QImage statusBar;  // null without one
};

// Where this program keeps the first frame of `window`: a file under $XDG_CACHE_HOME/kestrin, or
// ~/.cache/kestrin. Empty when neither variable names an absolute folder. Any thread.
[[nodiscard]] std::filesystem::path KeptFramePath(std::string_view window);

// The file at `path`, or nothing when it is missing, unreadable, of another format or cut
// short. Any thread.
[[nodiscard]] std::optional<KeptFrame> ReadKeptFrame(const std::filesystem::path& path);

// Replaces the file at `path` with `frame` as a whole: another process reads the old frame or the
// new one, never half of one. Makes the folder. False when it cannot be written. Any thread.
bool WriteKeptFrame(const std::filesystem::path& path, const KeptFrame& frame);

// The shared libraries loaded, by path. Taken before the toolkit starts, it is the libraries the
// program was linked with, the toolkit and the font and shaping libraries among them; later, the
// plugins loaded so far too. Any thread.
[[nodiscard]] std::vector<std::string> LoadedLibraries();

// The environment variables that choose the toolkit's platform theme, style, scale, fonts and
// language, as "NAME=value", sorted. Not while another thread changes the environment, as the
// toolkit does while it starts.
[[nodiscard]] std::vector<std::string> LookVariables();

// The part of the key that needs no toolkit: the program file, the `libraries`, fontconfig's
// files and font folders, and the `variables`. Any thread, fontconfig initialised.
[[nodiscard]] QByteArray SystemFingerprint(const std::vector<std::string>& libraries,
                                           const std::vector<std::string>& variables);

// What else the frame is drawn from, known once the window exists.
struct FrameLooks {
  std::string_view window;
  QSize size;
  qreal pixelRatio = 1;
  QPalette palette;
  QByteArray style;
  bool active = false;
  bool rightToLeft = false;
};

// The key of a frame drawn for `looks` on a system with `system` (SystemFingerprint). Needs the
// application object, for the toolkit's platform and screen.
[[nodiscard]] QByteArray FrameKey(const QByteArray& system, const FrameLooks& looks);

}  // namespace kestrin::ui
