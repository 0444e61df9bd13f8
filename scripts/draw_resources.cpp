// Draws the main window's instructional picture and the window icon into resources/.
// Not part of the build: scripts/draw_resources.sh compiles and runs it once, offscreen, and the
// PNGs it writes are kept in the repository. Needs the Noto CJK fonts for the Chinese text.
#include <QtGui/QFont>
#include <QtGui/QFontMetrics>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>

#include <cmath>
#include <cstdio>

namespace {

const QString kSans = QStringLiteral("Noto Sans CJK SC");
const QString kMono = QStringLiteral("DejaVu Sans Mono");

QFont Font(const QString& family, int pixels, int weight = QFont::Normal) {
  QFont font(family);
  font.setPixelSize(pixels);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

// Text drawn with its baseline at y.
void Label(QPainter& p, int x, int y, const QString& text, const QFont& font, QColor colour) {
  p.setFont(font);
  p.setPen(colour);
  p.drawText(QPoint(x, y), text);
}

// A thick arrow from `from` to `to` whose shaft bends on the way, with a filled head at `to`.
void Arrow(QPainter& p, QPointF from, QPointF bend, QPointF to, QColor colour) {
  const double head = 18.0;
  const double angle = std::atan2(to.y() - bend.y(), to.x() - bend.x());
  const QPointF base = to - QPointF(std::cos(angle), std::sin(angle)) * head * 0.8;
  QPainterPath shaft(from);
  shaft.quadTo(bend, base);
  p.setPen(QPen(colour, 5, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shaft);
  const QPointF side(std::cos(angle + M_PI / 2) * head * 0.55, std::sin(angle + M_PI / 2) * head * 0.55);
  const QPointF tip = to;
  const QPointF back = to - QPointF(std::cos(angle), std::sin(angle)) * head;
  QPainterPath tipPath;
  tipPath.moveTo(tip);
  tipPath.lineTo(back + side);
  tipPath.lineTo(back - side);
  tipPath.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(tipPath);
}

QImage DrawPicture() {
  const int w = 630;
  const int h = 255;
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  // A browser window with rounded corners; everything outside it stays transparent.
  QPainterPath frame;
  frame.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 14, 14);
  p.setClipPath(frame);
  p.fillRect(0, 0, w, h, QColor(255, 255, 255));

  // Tab strip with the window buttons and one tab.
  p.fillRect(0, 0, w, 30, QColor(222, 225, 230));
  const QColor dots[] = {QColor(255, 95, 87), QColor(254, 188, 46), QColor(40, 200, 64)};
  for (int i = 0; i < 3; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(dots[i]);
    p.drawEllipse(QPointF(18 + i * 18, 15), 5.5, 5.5);
  }
  QPainterPath tab;
  tab.addRoundedRect(QRectF(78, 5, 210, 30), 8, 8);
  p.setBrush(QColor(246, 247, 249));
  p.drawPath(tab);
  p.setBrush(QColor(41, 98, 255));
  p.drawEllipse(QPointF(94, 18), 6, 6);
  Label(p, 90, 22, QStringLiteral("度"), Font(kSans, 8, QFont::Bold), Qt::white);
  Label(p, 106, 23, QStringLiteral("普通收录 - 搜索资源平台"), Font(kSans, 12), QColor(60, 64, 67));

  // Address bar.
  p.fillRect(0, 30, w, 32, QColor(246, 247, 249));
  p.setPen(QPen(QColor(218, 220, 224), 1));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(60, 36, w - 80, 21), 10.5, 10.5);
  p.setPen(QPen(QColor(120, 124, 128), 1.6));
  p.drawLine(QPointF(16, 46), QPointF(26, 46));  // back and forward arrows
  p.drawLine(QPointF(16, 46), QPointF(20, 42));
  p.drawLine(QPointF(16, 46), QPointF(20, 50));
  p.drawLine(QPointF(34, 46), QPointF(44, 46));
  p.drawLine(QPointF(44, 46), QPointF(40, 42));
  p.drawLine(QPointF(44, 46), QPointF(40, 50));
  Label(p, 76, 52, QStringLiteral("ziyuan.baidu.com/linksubmit/index"), Font(kSans, 12), QColor(95, 99, 104));
  p.fillRect(0, 61, w, 1, QColor(218, 220, 224));

  // Site header.
  p.fillRect(0, 62, w, 26, QColor(36, 104, 242));
  Label(p, 14, 80, QStringLiteral("搜索资源平台"), Font(kSans, 13, QFont::Bold), Qt::white);
  Label(p, 120, 80, QStringLiteral("站点管理     数据统计     资源提交     帮助文档"), Font(kSans, 12),
        QColor(222, 232, 255));

  // Side menu.
  const int side = 86;
  p.fillRect(0, 88, side, h - 88, QColor(244, 246, 249));
  const QString menu[] = {QStringLiteral("资源提交"), QStringLiteral("普通收录"), QStringLiteral("快速收录"),
                          QStringLiteral("死链提交"), QStringLiteral("网站改版")};
  for (int i = 0; i < 5; ++i) {
    const int y = 112 + i * 27;
    if (i == 1) {
      p.fillRect(0, y - 17, side, 25, QColor(226, 236, 255));
      p.fillRect(0, y - 17, 3, 25, QColor(36, 104, 242));
    }
    Label(p, i == 0 ? 12 : 20, y, menu[i], Font(kSans, 12, i == 0 ? QFont::Bold : QFont::Normal),
          i == 1 ? QColor(36, 104, 242) : QColor(70, 74, 78));
  }

  // The form: the submission tabs and the interface line.
  const int left = side + 16;
  Label(p, left, 110, QStringLiteral("普通收录"), Font(kSans, 15, QFont::Bold), QColor(32, 33, 36));
  const QString tabs[] = {QStringLiteral("API提交"), QStringLiteral("sitemap"), QStringLiteral("手动提交")};
  const QFont tabFont = Font(kSans, 12);
  int x = left;
  for (int i = 0; i < 3; ++i) {
    const int width = QFontMetrics(tabFont).horizontalAdvance(tabs[i]);
    Label(p, x, 134, tabs[i], tabFont, i == 0 ? QColor(36, 104, 242) : QColor(95, 99, 104));
    if (i == 0) p.fillRect(x - 2, 140, width + 4, 2, QColor(36, 104, 242));
    x += width + 28;
  }
  p.fillRect(left, 142, w - left - 14, 1, QColor(226, 228, 232));

  Label(p, left, 162, QStringLiteral("推送接口"), Font(kSans, 12, QFont::Bold), QColor(32, 33, 36));
  const QFont lineFont = Font(kSans, 11);
  const QString call = QStringLiteral("接口调用地址：http://data.zz.baidu.com/urls?site=www.example.com&token=xxxxxxxxxxxxxxxx");
  const int callWidth = QFontMetrics(lineFont).horizontalAdvance(call);
  const int callLeft = left + 4;
  Label(p, callLeft, 185, call, lineFont, QColor(32, 33, 36));

  // Example request in a code box.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(246, 248, 250));
  p.drawRoundedRect(QRectF(left, 200, w - left - 84, 44), 4, 4);
  const QFont code = Font(kMono, 10);
  Label(p, left + 8, 216, QStringLiteral("curl -H 'Content-Type:text/plain' --data-binary @urls.txt"), code,
        QColor(90, 94, 98));
  Label(p, left + 8, 234, QStringLiteral("\"http://data.zz.baidu.com/urls?site=...&token=...\""), code,
        QColor(90, 94, 98));

  // The red frame around the interface address and the arrow pointing at it.
  const QColor red(230, 0, 18);
  p.setPen(QPen(red, 2.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(callLeft - 6, 168, callWidth + 12, 24), 3, 3);
  Arrow(p, QPointF(w - 26, 242), QPointF(w - 26, 204), QPointF(callLeft + callWidth - 30, 196), red);

  // The window outline over everything.
  p.setClipping(false);
  p.setPen(QPen(QColor(176, 180, 186), 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(frame);
  p.end();
  std::printf("interface line: %d px wide, frame from %d to %d\n", callWidth, callLeft - 6, callLeft + callWidth + 6);
  return image;
}

QImage DrawIcon() {
  const int size = 128;
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  // Kestrel colours: a rufous tile with a darker rim.
  QLinearGradient fill(0, 0, 0, size);
  fill.setColorAt(0, QColor(240, 128, 64));
  fill.setColorAt(1, QColor(184, 66, 26));
  QPainterPath tile;
  tile.addRoundedRect(QRectF(4, 4, size - 8, size - 8), 26, 26);
  p.setPen(QPen(QColor(140, 48, 18), 3));
  p.setBrush(fill);
  p.drawPath(tile);

  // The glyph for "push", as the program's one job is to push addresses.
  QFont glyph = Font(kSans, 84, QFont::Black);
  p.setFont(glyph);
  p.setPen(QColor(80, 24, 6, 110));
  p.drawText(QRectF(3, 5, size, size), Qt::AlignCenter, QStringLiteral("推"));
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("推"));

  // A small upward arrow in the corner: the link goes up to the search engine.
  QPainterPath arrow;
  arrow.moveTo(104, 84);
  arrow.lineTo(116, 100);
  arrow.lineTo(108, 100);
  arrow.lineTo(108, 114);
  arrow.lineTo(100, 114);
  arrow.lineTo(100, 100);
  arrow.lineTo(92, 100);
  arrow.closeSubpath();
  p.setPen(QPen(QColor(140, 48, 18), 1.5));
  p.setBrush(QColor(255, 226, 120));
  p.drawPath(arrow);
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_resources <resources folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool ok = DrawPicture().save(folder + QStringLiteral("/picture.png"), "PNG") &&
                  DrawIcon().save(folder + QStringLiteral("/icon.png"), "PNG");
  if (!ok) std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
  return ok ? 0 : 1;
}
