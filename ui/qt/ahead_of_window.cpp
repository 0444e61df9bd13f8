#include "ui/qt/ahead_of_window.h"

#include <fontconfig/fontconfig.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ui/png_decode.h"

namespace kestrin::ui {
namespace {

struct Prepared {
  PictureSource source;
  QSize size;
  std::shared_future<QImage> image;
};

struct PreparedFrame {
  std::string window;
  std::shared_future<FrameOnDisk> frame;
};

PreparedFrame& FramePrepared() {
  static auto* prepared = new PreparedFrame;
  return *prepared;
}

// Window thread only; never freed, as the thread may still be at work when the process ends.
std::vector<Prepared>& Preparations() {
  static auto* preparations = new std::vector<Prepared>;
  return *preparations;
}

QImage Decode(PictureSource source, QSize size) {
  const std::optional<DecodedImage> decoded = DecodePng(source());
  if (!decoded) return QImage();
  QImage image(decoded->width, decoded->height, QImage::Format_ARGB32);
  for (int y = 0; y < decoded->height; ++y) {
    std::memcpy(image.scanLine(y), decoded->pixels.data() + static_cast<std::size_t>(y) * decoded->width,
                static_cast<std::size_t>(decoded->width) * sizeof(std::uint32_t));
  }
  // Premultiplied is what the screen's buffer takes: nothing is converted again when painted.
  image.convertTo(QImage::Format_ARGB32_Premultiplied);
  if (size.isEmpty() || size == image.size()) return image;
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

void PrepareAhead(const WindowLayout& layout) {
  static bool started = false;
  if (started) return;
  started = true;
  struct Job {
    PictureSource source;
    QSize size;
    std::promise<QImage> image;
  };
  std::vector<Job> jobs;  // in the order the window needs them
  for (const ControlLayout& row : layout.controls) {
    if (row.picture != nullptr) jobs.push_back({row.picture, QSize(row.width, row.height), {}});
  }
  if (layout.icon != nullptr) jobs.push_back({layout.icon, {}, {}});
  for (Job& job : jobs) Preparations().push_back({job.source, job.size, job.image.get_future().share()});
  std::promise<FrameOnDisk> frame;
  FramePrepared() = {std::string(layout.name), frame.get_future().share()};
  // Taken here, before the toolkit starts: it loads plugins and changes the environment as it
  // does, and the key must not hang on how far it got by the time the thread looks.
  FrameOnDisk onDisk{KeptFramePath(layout.name), {}, std::nullopt};
  std::vector<std::string> libraries = LoadedLibraries();
  std::vector<std::string> variables = LookVariables();
  std::thread([jobs = std::move(jobs), frame = std::move(frame), onDisk = std::move(onDisk),
               libraries = std::move(libraries), variables = std::move(variables)]() mutable {
    // Loading fontconfig's files is the slow half of the toolkit's first font; done here, the
    // window thread finds them loaded.
    FcInit();
    if (!onDisk.path.empty()) {
      onDisk.system = SystemFingerprint(libraries, variables);
      onDisk.kept = ReadKeptFrame(onDisk.path);
    }
    frame.set_value(std::move(onDisk));
    for (Job& job : jobs) job.image.set_value(Decode(job.source, job.size));
  }).detach();
}

QImage PictureImage(PictureSource source, QSize size) { return PictureImageLater(source, size).get(); }

std::shared_future<QImage> PictureImageLater(PictureSource source, QSize size) {
  std::vector<Prepared>& preparations = Preparations();
  for (const Prepared& prepared : preparations) {
    if (prepared.source == source && prepared.size == size) return prepared.image;
  }
  return std::async(std::launch::deferred, [source, size] { return Decode(source, size); }).share();
}

std::shared_future<FrameOnDisk> FrameOnDiskAhead(std::string_view window) {
  const PreparedFrame& prepared = FramePrepared();
  return prepared.window == window ? prepared.frame : std::shared_future<FrameOnDisk>();
}

void ReleasePrepared() {
  Preparations().clear();
  FramePrepared() = {};
}

}  // namespace kestrin::ui
