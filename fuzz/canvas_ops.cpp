// Drives QtCanvas with arbitrary drawing calls, as a metafile player does with
// the records of a hostile file: coordinates, sizes, pen widths, font heights
// and escapements take any value. Nothing may crash, hang or allocate beyond
// the small image drawn on.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/qt_canvas.h"

namespace {

struct Reader {
  const uint8_t* p;
  size_t n;
  bool empty() const { return n == 0; }
  uint8_t byte() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  // Mostly small values, sometimes extreme ones, so that both pixel paths and
  // overflow guards are reached.
  int32_t coord() {
    uint8_t kind = byte();
    if (kind < 200) return int32_t(kind) - 60;
    int32_t v = 0;
    for (int i = 0; i < 4; ++i) v = int32_t(uint32_t(v) << 8 | byte());
    return v;
  }
  orv::Rect rect() { return {coord(), coord(), coord(), coord()}; }
  orv::Point point() { return {coord(), coord()}; }
};

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_canvas_ops";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  QImage image(64, 48, QImage::Format_RGB32);
  image.fill(Qt::gray);
  QPainter painter(&image);
  orv::QtCanvas c(&painter, {0, 0, 64, 48});
  Reader in{data, size};
  for (int ops = 0; ops < 64 && !in.empty(); ++ops) {
    switch (in.byte() % 20) {
      case 0: {
        orv::PenSpec pen;
        pen.color = orv::rgb(in.byte(), in.byte(), in.byte());
        pen.width = in.coord();
        pen.style = orv::PenStyle(in.byte() % 7);
        pen.mode = orv::PenMode(in.byte() % 3);
        c.setPen(pen);
        break;
      }
      case 1:
        c.setBrush({orv::Color(in.coord()), orv::BrushStyle(in.byte() % 2)});
        break;
      case 2: {
        orv::FontSpec f;
        static const char* faces[] = {"Arial", "Courier New", "Wingdings", "Times New Roman", "x"};
        f.face = faces[in.byte() % 5];
        f.height = in.coord();
        f.weight = in.coord();
        f.italic = in.byte() & 1;
        f.underline = in.byte() & 1;
        f.strikeOut = in.byte() & 1;
        f.charset = in.byte();
        f.escapement = in.coord();
        c.setFont(f);
        break;
      }
      case 3:
        c.moveTo(in.coord(), in.coord());
        break;
      case 4:
        c.lineTo(in.coord(), in.coord());
        break;
      case 5:
        c.rectangle(in.rect());
        break;
      case 6:
        c.ellipse(in.rect());
        break;
      case 7:
        c.roundRect(in.rect(), in.coord(), in.coord());
        break;
      case 8:
        c.arc(in.rect(), in.point(), in.point());
        break;
      case 9:
        c.pie(in.rect(), in.point(), in.point());
        break;
      case 10:
        c.fillRect(in.rect());
        break;
      case 11: {
        std::vector<orv::Point> pts(in.byte() % 8);
        for (auto& p : pts) p = in.point();
        if (in.byte() & 1) {
          c.polygon(pts);
        } else {
          c.polyline(pts);
        }
        break;
      }
      case 12: {
        std::string text(in.byte() % 24, ' ');
        for (char& ch : text) ch = char(in.byte());
        orv::Rect clip = in.rect();
        uint32_t flags = in.byte();
        c.textOut(in.coord(), in.coord(), text, (flags & 1) ? &clip : nullptr, flags);
        break;
      }
      case 13: {
        std::string text(in.byte() % 32, ' ');
        for (char& ch : text) ch = char(in.byte());
        orv::Rect r = in.rect();
        c.drawText(text, r, in.byte() | (uint32_t(in.byte()) << 8));
        break;
      }
      case 14:
        c.setTextCharacterExtra(in.coord());
        break;
      case 15:
        c.setTextJustification(in.coord(), in.coord());
        break;
      case 16:
        c.intersectClipRect(in.rect());
        break;
      case 17:
        c.excludeClipRect(in.rect());
        break;
      case 18: {
        if (in.byte() & 1) {
          c.save();
        } else {
          c.restore();
        }
        c.setBkMode(in.byte() & 1 ? orv::BkMode::Opaque : orv::BkMode::Transparent);
        break;
      }
      case 19: {
        QImage small(1 + in.byte() % 4, 1 + in.byte() % 4, QImage::Format_RGB32);
        small.fill(Qt::red);
        c.stretchImage(in.rect(), small);
        break;
      }
    }
  }
  return 0;
}
