#include "ui/qt/kept_frame.h"

#include <fontconfig/fontconfig.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

extern char** environ;

namespace kestrin::ui {
namespace {

constexpr char kMagic[8] = {'K', 'S', 'F', 'R', 'A', 'M', 'E', '1'};
constexpr int kKeyBytes = 32;        // SHA-256
constexpr std::uint32_t kMaxSide = 16384;

struct Header {
  char magic[8];
  char key[kKeyBytes];
  std::uint32_t controlsWidth;
  std::uint32_t controlsHeight;
  std::uint32_t barWidth;
  std::uint32_t barHeight;
  double pixelRatio;
};

std::uint64_t PixelBytes(std::uint32_t width, std::uint32_t height) { return std::uint64_t{width} * height * 4; }

// Reads `height` rows of `width` RGB32 pixels, or a null image.
QImage ReadPixels(std::ifstream& in, std::uint32_t width, std::uint32_t height, double ratio) {
  if (width == 0 || height == 0) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
  if (image.isNull()) return {};
  for (int y = 0; y < image.height(); ++y) {
    in.read(reinterpret_cast<char*>(image.scanLine(y)), static_cast<std::streamsize>(width) * 4);
  }
  if (!in) return {};
  image.setDevicePixelRatio(ratio);
  return image;
}

void WritePixels(std::ofstream& out, const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    out.write(reinterpret_cast<const char*>(image.constScanLine(y)), static_cast<std::streamsize>(image.width()) * 4);
  }
}

// Appends what identifies the file's content: name, size and change time.
void AddFile(QByteArray& into, const char* path) {
  struct stat status {};
  into.append(path).append('\0');
  if (::stat(path, &status) != 0) {
    into.append("missing\n");
    return;
  }
  into.append(QByteArray::number(static_cast<qulonglong>(status.st_dev)) + ' ' +
              QByteArray::number(static_cast<qulonglong>(status.st_ino)) + ' ' +
              QByteArray::number(static_cast<qlonglong>(status.st_size)) + ' ' +
              QByteArray::number(static_cast<qlonglong>(status.st_mtim.tv_sec)) + '.' +
              QByteArray::number(static_cast<qlonglong>(status.st_mtim.tv_nsec)) + '\n');
}

void AddFiles(QByteArray& into, FcStrList* list) {
  if (list == nullptr) return;
  std::vector<std::string> paths;
  while (const FcChar8* path = FcStrListNext(list)) paths.emplace_back(reinterpret_cast<const char*>(path));
  FcStrListDone(list);
  std::sort(paths.begin(), paths.end());
  for (const std::string& path : paths) AddFile(into, path.c_str());
}

// Variables that choose the toolkit's platform theme, style, scale, fonts and language.
bool ShapesTheLook(std::string_view variable) {
  constexpr std::string_view kPrefixes[] = {"QT_", "LC_", "KDE_"};
  constexpr std::string_view kNames[] = {"LANG",          "LANGUAGE",    "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP",
                                         "DESKTOP_SESSION", "GTK_THEME", "GDK_SCALE",           "GDK_DPI_SCALE"};
  const std::string_view name = variable.substr(0, variable.find('='));
  for (std::string_view prefix : kPrefixes) {
    if (name.starts_with(prefix)) return true;
  }
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// The X server's font settings (antialiasing, hinting, sub-pixel order) that the toolkit reads at
// start, or nothing off X. One round trip.
QByteArray XftResources() {
  auto* x11 = qGuiApp == nullptr ? nullptr : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 == nullptr ? nullptr : x11->connection();
  if (connection == nullptr) return {};
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (screen == nullptr) return {};
  const xcb_get_property_cookie_t cookie = xcb_get_property(connection, 0, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                                                            XCB_ATOM_STRING, 0, 1u << 20);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
  if (reply == nullptr) return {};
  const QByteArray all(static_cast<const char*>(xcb_get_property_value(reply)),
                       xcb_get_property_value_length(reply));
  std::free(reply);
  QByteArray xft;
  for (const QByteArray& line : all.split('\n')) {
    if (line.startsWith("Xft.")) xft.append(line).append('\n');
  }
  return xft;
}

}  // namespace

std::filesystem::path KeptFramePath(std::string_view window) {
  std::filesystem::path folder;
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
    folder = cache;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    folder = std::filesystem::path(home) / ".cache";
  } else {
    return {};
  }
  // Each program file keeps its own frames: two builds side by side would replace each other's.
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  QCryptographicHash name(QCryptographicHash::Sha256);
  name.addData(QByteArray::fromStdString(program.string()));
  name.addData(QByteArrayView("\0", 1));
  name.addData(QByteArrayView(window.data(), static_cast<qsizetype>(window.size())));
  return folder / "kestrin" / ("first-frame-" + name.result().toHex().left(16).toStdString());
}

std::optional<KeptFrame> ReadKeptFrame(const std::filesystem::path& path) {
  if (path.empty()) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  Header header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header)) return std::nullopt;
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) return std::nullopt;
  if (header.controlsWidth == 0 || header.controlsHeight == 0 || header.controlsWidth > kMaxSide ||
      header.controlsHeight > kMaxSide || header.barWidth > kMaxSide || header.barHeight > kMaxSide ||
      (header.barWidth == 0) != (header.barHeight == 0)) {
    return std::nullopt;
  }
  if (!std::isfinite(header.pixelRatio) || header.pixelRatio < 0.25 || header.pixelRatio > 16) return std::nullopt;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size != sizeof header + PixelBytes(header.controlsWidth, header.controlsHeight) +
                            PixelBytes(header.barWidth, header.barHeight)) {
    return std::nullopt;
  }
  KeptFrame frame;
  frame.key = QByteArray(header.key, kKeyBytes);
  frame.controls = ReadPixels(in, header.controlsWidth, header.controlsHeight, header.pixelRatio);
  if (frame.controls.isNull()) return std::nullopt;
  frame.statusBar = ReadPixels(in, header.barWidth, header.barHeight, header.pixelRatio);
  if (header.barWidth != 0 && frame.statusBar.isNull()) return std::nullopt;
  return frame;
}

bool WriteKeptFrame(const std::filesystem::path& path, const KeptFrame& frame) {
  if (path.empty() || frame.key.size() != kKeyBytes || frame.controls.isNull()) return false;
  const QImage controls = frame.controls.convertToFormat(QImage::Format_RGB32);
  const QImage bar = frame.statusBar.isNull() ? QImage() : frame.statusBar.convertToFormat(QImage::Format_RGB32);
  if (!bar.isNull() && bar.devicePixelRatio() != controls.devicePixelRatio()) return false;
  Header header{};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  std::memcpy(header.key, frame.key.constData(), kKeyBytes);
  header.controlsWidth = static_cast<std::uint32_t>(controls.width());
  header.controlsHeight = static_cast<std::uint32_t>(controls.height());
  header.barWidth = static_cast<std::uint32_t>(bar.width());
  header.barHeight = static_cast<std::uint32_t>(bar.height());
  header.pixelRatio = controls.devicePixelRatio();

  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (error) return false;
  // Written aside and renamed over the old file, which readers see whole until then.
  std::filesystem::path written = path;
  written += ".";
  written += std::to_string(::getpid());
  written += ".part";
  {
    std::ofstream out(written, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    WritePixels(out, controls);
    WritePixels(out, bar);
    out.close();
    if (!out) {
      std::filesystem::remove(written, error);
      return false;
    }
  }
  std::filesystem::rename(written, path, error);
  if (error) std::filesystem::remove(written, error);
  return !error;
}

std::vector<std::string> LoadedLibraries() {
  std::vector<std::string> paths;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/') {
          static_cast<std::vector<std::string>*>(data)->emplace_back(info->dlpi_name);
        }
        return 0;
      },
      &paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> LookVariables() {
  std::vector<std::string> variables;
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    if (ShapesTheLook(*variable)) variables.emplace_back(*variable);
  }
  std::sort(variables.begin(), variables.end());
  return variables;
}

QByteArray SystemFingerprint(const std::vector<std::string>& libraries, const std::vector<std::string>& variables) {
  QByteArray text;
  AddFile(text, "/proc/self/exe");  // its path is in the frame file's name
  for (const std::string& library : libraries) AddFile(text, library.c_str());
  text.append("fontconfig " + QByteArray::number(FcGetVersion()) + '\n');
  AddFiles(text, FcConfigGetConfigFiles(nullptr));
  AddFiles(text, FcConfigGetFontDirs(nullptr));
  for (const std::string& variable : variables) text.append(variable.c_str()).append('\n');
  return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

QByteArray FrameKey(const QByteArray& system, const FrameLooks& looks) {
  QByteArray looksBytes;
  {
    QBuffer buffer(&looksBytes);
    buffer.open(QIODevice::WriteOnly);
    QDataStream out(&buffer);
    out << system << QByteArray(looks.window.data(), static_cast<qsizetype>(looks.window.size())) << looks.size
        << looks.pixelRatio << looks.palette << looks.style << looks.active << looks.rightToLeft
        << QByteArray(qVersion()) << QGuiApplication::platformName() << QGuiApplication::font().toString()
        << XftResources();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      out << screen->logicalDotsPerInch() << screen->physicalDotsPerInch() << screen->devicePixelRatio();
    }
  }
  return QCryptographicHash::hash(looksBytes, QCryptographicHash::Sha256);
}

}  // namespace kestrin::ui
