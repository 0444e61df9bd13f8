// The first frame kept on disk: read back as written, refused when the file is anything else, and
// keyed so that a change in what it was drawn from makes it unused.
#include "ui/qt/kept_frame.h"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include <QStyle>
#include <QWidget>

namespace kestrin::ui {
namespace {

namespace fs = std::filesystem;

fs::path Folder(const char* name) {
  const fs::path folder = fs::path(testing::TempDir()) / "kept_frame_test" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

QImage Picture(QSize size, qreal ratio, QRgb seed) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, seed ^ static_cast<QRgb>(x * 7 + y * 13));
  }
  image.setDevicePixelRatio(ratio);
  return image;
}

QByteArray Key(char fill) { return QByteArray(32, fill); }

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Sets a variable for the scope, and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(KeptFrameTest, AFrameReadsBackAsWritten) {
  const fs::path folder = Folder("round");
  struct Case {
    const char* name;
    QSize size;
    qreal ratio;
    int barHeight;  // 0: no status bar
  };
  const Case cases[] = {
      {"with a status bar", {37, 21}, 1, 5},
      {"without one", {16, 9}, 1, 0},
      {"two device pixels to a pixel", {40, 30}, 2, 8},
      {"a fractional ratio", {25, 25}, 1.25, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = folder / c.name;
    KeptFrame frame{Key('k'), Picture(c.size, c.ratio, 0xFF102030), {}};
    if (c.barHeight > 0) frame.statusBar = Picture({c.size.width(), c.barHeight}, c.ratio, 0xFF405060);
    ASSERT_TRUE(WriteKeptFrame(path, frame));
    const std::optional<KeptFrame> read = ReadKeptFrame(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->key, frame.key);
    EXPECT_EQ(read->controls, frame.controls);
    EXPECT_EQ(read->controls.devicePixelRatio(), c.ratio);
    EXPECT_EQ(read->statusBar, frame.statusBar);
    EXPECT_EQ(read->statusBar.isNull(), c.barHeight == 0);
    if (c.barHeight > 0) {
      EXPECT_EQ(read->statusBar.devicePixelRatio(), c.ratio);
    }
  }
}

TEST(KeptFrameTest, AnythingButAWholeFrameIsRefused) {
  const fs::path folder = Folder("refused");
  const fs::path good = folder / "good";
  ASSERT_TRUE(WriteKeptFrame(good, {Key('k'), Picture({8, 6}, 1, 0xFF000000), Picture({8, 2}, 1, 0xFFFFFFFF)}));
  const std::string bytes = Bytes(good);
  constexpr std::size_t kWidths = 40;  // the four sizes follow the magic and the key
  const auto withWord = [&](std::size_t at, std::uint32_t value) {
    std::string changed = bytes;
    std::memcpy(changed.data() + at, &value, sizeof value);
    return changed;
  };
  const auto withRatio = [&](double ratio) {
    std::string changed = bytes;
    std::memcpy(changed.data() + kWidths + 16, &ratio, sizeof ratio);
    return changed;
  };
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"the header alone", bytes.substr(0, kWidths + 24)},
      {"one byte short", bytes.substr(0, bytes.size() - 1)},
      {"one byte over", bytes + 'x'},
      {"another magic", "X" + bytes.substr(1)},
      {"no controls", withWord(kWidths, 0)},
      {"a side past any screen", withWord(kWidths + 4, 70000)},
      {"sizes the file holds no pixels for", withWord(kWidths + 4, 16384)},
      {"a bar with a width and no height", withWord(kWidths + 12, 0)},
      {"a ratio of nothing", withRatio(0)},
      {"a ratio that is no number", withRatio(std::nan(""))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = folder / "bad";
    Put(path, c.bytes);
    EXPECT_FALSE(ReadKeptFrame(path).has_value());
  }
  EXPECT_FALSE(ReadKeptFrame(folder / "missing").has_value());
  EXPECT_FALSE(ReadKeptFrame({}).has_value());
  EXPECT_FALSE(ReadKeptFrame(folder).has_value()) << "a folder";
}

TEST(KeptFrameTest, WritingReplacesTheFileWholeOrFailsLeavingNothing) {
  const fs::path folder = Folder("write");
  const fs::path path = folder / "deeper" / "frame";
  ASSERT_TRUE(WriteKeptFrame(path, {Key('a'), Picture({8, 8}, 1, 0xFF111111), {}}));
  ASSERT_TRUE(WriteKeptFrame(path, {Key('b'), Picture({9, 7}, 1, 0xFF222222), {}}));
  const std::optional<KeptFrame> read = ReadKeptFrame(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->key, Key('b'));
  EXPECT_EQ(read->controls.size(), QSize(9, 7));

  // A file where the folder should be: nothing can be written under it.
  Put(folder / "file", "x");
  EXPECT_FALSE(WriteKeptFrame(folder / "file" / "frame", {Key('a'), Picture({8, 8}, 1, 0xFF111111), {}}));
  // Frames that could not be read back are not written.
  EXPECT_FALSE(WriteKeptFrame(folder / "short key", {QByteArray("k"), Picture({8, 8}, 1, 0xFF111111), {}}));
  EXPECT_FALSE(WriteKeptFrame(folder / "no picture", {Key('a'), QImage(), {}}));
  EXPECT_FALSE(WriteKeptFrame(folder / "ratios apart",
                              {Key('a'), Picture({8, 8}, 1, 0xFF111111), Picture({8, 2}, 2, 0xFF111111)}));
  EXPECT_FALSE(WriteKeptFrame({}, {Key('a'), Picture({8, 8}, 1, 0xFF111111), {}}));
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"deeper", "file", "frame"}));
}

TEST(KeptFrameTest, FramesAreKeptInTheUsersCacheFolder) {
  struct Case {
    const char* name;
    const char* cacheHome;
    const char* home;
    const char* folder;  // empty: nowhere
  };
  const Case cases[] = {
      {"the cache home named", "/var/cache-home", "/home/u", "/var/cache-home/kestrin"},
      {"a relative cache home is ignored", "cache", "/home/u", "/home/u/.cache/kestrin"},
      {"an empty one too", "", "/home/u", "/home/u/.cache/kestrin"},
      {"no cache home", nullptr, "/home/u", "/home/u/.cache/kestrin"},
      {"a relative home", nullptr, "u", ""},
      {"neither", nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedVariable cache("XDG_CACHE_HOME", c.cacheHome);
    const ScopedVariable home("HOME", c.home);
    const fs::path path = KeptFramePath("main");
    EXPECT_EQ(path.parent_path().string(), c.folder);
    if (!path.empty()) {
      EXPECT_NE(path, KeptFramePath("notice")) << "two windows share a file";
    }
  }
}

TEST(KeptFrameTest, TheKeyChangesWithWhatTheFrameIsDrawnFrom) {
  QWidget window;
  QPalette darker = window.palette();
  darker.setColor(QPalette::Window, Qt::darkGray);
  const FrameLooks looks{"main", {757, 665}, 1, window.palette(), window.style()->name().toUtf8(), false, false};
  const QByteArray system = Key('s');
  const QByteArray key = FrameKey(system, looks);
  EXPECT_EQ(key.size(), 32);
  EXPECT_EQ(key, FrameKey(system, looks)) << "the same frame, the same key";
  struct Case {
    const char* name;
    std::function<void(QByteArray&, FrameLooks&)> change;
  };
  const Case cases[] = {
      {"another system", [](QByteArray& s, FrameLooks&) { s = Key('t'); }},
      {"another window", [](QByteArray&, FrameLooks& l) { l.window = "notice"; }},
      {"another size", [](QByteArray&, FrameLooks& l) { l.size = {757, 666}; }},
      {"another pixel ratio", [](QByteArray&, FrameLooks& l) { l.pixelRatio = 1.5; }},
      {"another palette", [&](QByteArray&, FrameLooks& l) { l.palette = darker; }},
      {"another style", [](QByteArray&, FrameLooks& l) { l.style = "windows"; }},
      {"active", [](QByteArray&, FrameLooks& l) { l.active = true; }},
      {"right to left", [](QByteArray&, FrameLooks& l) { l.rightToLeft = true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray changedSystem = system;
    FrameLooks changed = looks;
    c.change(changedSystem, changed);
    EXPECT_NE(FrameKey(changedSystem, changed), key);
  }
}

TEST(KeptFrameTest, TheSystemsPartChangesWithTheLibrariesAndTheVariables) {
  FcInit();
  const std::vector<std::string> libraries = LoadedLibraries();
  ASSERT_FALSE(libraries.empty());
  const std::vector<std::string> variables{"LANG=zh_CN.UTF-8"};
  const QByteArray system = SystemFingerprint(libraries, variables);
  EXPECT_EQ(system, SystemFingerprint(libraries, variables));
  EXPECT_NE(SystemFingerprint(libraries, {"LANG=C.UTF-8"}), system) << "a variable changed";

  const fs::path folder = Folder("system");
  const fs::path library = folder / "libfake.so";
  Put(library, "one");
  std::vector<std::string> more = libraries;
  more.push_back(library.string());
  const QByteArray withFake = SystemFingerprint(more, variables);
  EXPECT_NE(withFake, system) << "a library more";
  Put(library, "other");
  EXPECT_NE(SystemFingerprint(more, variables), withFake) << "a library changed";
}

TEST(KeptFrameTest, TheVariablesThatShapeTheLookAreTaken) {
  struct Case {
    const char* variable;
    bool taken;
  };
  const Case cases[] = {
      {"QT_SCALE_FACTOR", true},     {"QT_STYLE_OVERRIDE", true}, {"LANG", true},
      {"LC_ALL", true},              {"XDG_CURRENT_DESKTOP", true}, {"GDK_SCALE", true},
      {"KESTRIN_UNRELATED", false},  {"LANGX", false},            {"XDG_RUNTIME_DIR", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variable);
    const ScopedVariable variable(c.variable, "kept-frame-test");
    const std::vector<std::string> taken = LookVariables();
    EXPECT_TRUE(std::is_sorted(taken.begin(), taken.end()));
    EXPECT_EQ(std::count(taken.begin(), taken.end(), std::string(c.variable) + "=kept-frame-test"), c.taken ? 1 : 0);
  }
}

}  // namespace
}  // namespace kestrin::ui
