#include "platform/qt_canvas.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "platform/fonts.h"

namespace orv {
namespace {

constexpr QRgb kGround = 0xFF808080;  // neither pen, brush nor background colour
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

// A canvas over a grey image, painted when the test reads the pixels.
class Surface {
 public:
  explicit Surface(int w = 120, int h = 80) : image_(w, h, QImage::Format_RGB32) {
    image_.fill(kGround);
    painter_ = std::make_unique<QPainter>(&image_);
    canvas_ = std::make_unique<QtCanvas>(painter_.get(), Rect{0, 0, w, h});
  }
  QtCanvas& c() { return *canvas_; }
  const QImage& image() {
    canvas_.reset();
    painter_.reset();
    return image_;
  }
  QRgb at(int x, int y) { return image().pixel(x, y); }

 private:
  QImage image_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<QtCanvas> canvas_;
};

// Bounding box of the pixels that differ from the ground, as a GDI rectangle.
Rect changed(const QImage& img) {
  Rect box{img.width(), img.height(), 0, 0};
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixel(x, y) == kGround) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

TEST(QtCanvasShapes, RectangleWithOnePixelPenCoversExactlyItsPixels) {
  Surface s;
  s.c().setPen({clBlack, 1});
  s.c().setBrush({clWhite});
  s.c().rectangle({10, 20, 30, 35});
  const QImage& img = s.image();
  EXPECT_EQ(changed(img), (Rect{10, 20, 30, 35}));
  for (int y = 20; y < 35; ++y) {
    for (int x = 10; x < 30; ++x) {
      bool edge = x == 10 || x == 29 || y == 20 || y == 34;
      ASSERT_EQ(img.pixel(x, y), edge ? kBlack : kWhite) << x << "," << y;
    }
  }
}

TEST(QtCanvasShapes, RectangleWithoutPenFillsOnePixelLess) {
  Surface s;
  s.c().setPenStyle(PenStyle::Clear);
  s.c().setBrush({rgb(255, 0, 0)});
  s.c().rectangle({10, 20, 30, 35});
  EXPECT_EQ(changed(s.image()), (Rect{10, 20, 29, 34}));
}

TEST(QtCanvasShapes, FillRectIsExactAndIgnoresThePen) {
  Surface s;
  s.c().setPen({clBlack, 5});
  s.c().setPenMode(PenMode::Xor);
  s.c().setBrush({rgb(0, 0, 255)});
  s.c().fillRect({3, 4, 9, 7});
  s.c().fillRect({50, 50, 50, 60});  // empty
  const QImage& img = s.image();
  EXPECT_EQ(changed(img), (Rect{3, 4, 9, 7}));
  EXPECT_EQ(img.pixel(3, 4), 0xFF0000FFu);
  EXPECT_EQ(img.pixel(8, 6), 0xFF0000FFu);
}

TEST(QtCanvasShapes, HostileCoordinatesAreClippedNotWalked) {
  Surface s;
  s.c().setBrush({clBlack});
  s.c().fillRect({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
  s.c().setPenStyle(PenStyle::Dot);
  s.c().moveTo(INT32_MIN, 5);
  s.c().lineTo(INT32_MAX, 5);
  s.c().moveTo(INT32_MIN, INT32_MIN);
  s.c().lineTo(INT32_MAX, INT32_MAX);
  s.c().ellipse({-2000000000, -2000000000, 2000000000, 2000000000});
  EXPECT_EQ(s.at(0, 0), kBlack);
}

TEST(QtCanvasShapes, PieGoesCounterClockwiseFromStartToEnd) {
  // From the radial through the right-hand point to the one through the top:
  // the upper-right quarter, going counter-clockwise.
  Surface s;
  s.c().setBrush({clWhite});
  s.c().pie({20, 10, 81, 71}, {100, 40}, {50, 0});
  const QImage& img = s.image();
  EXPECT_EQ(img.pixel(65, 25), kWhite);   // upper right: inside
  EXPECT_EQ(img.pixel(35, 25), kGround);  // upper left
  EXPECT_EQ(img.pixel(35, 55), kGround);  // lower left
  EXPECT_EQ(img.pixel(65, 55), kGround);  // lower right
  // Swapping the points takes the other three quarters.
  Surface t;
  t.c().setBrush({clWhite});
  t.c().pie({20, 10, 81, 71}, {50, 0}, {100, 40});
  const QImage& other = t.image();
  EXPECT_EQ(other.pixel(65, 25), kGround);
  EXPECT_EQ(other.pixel(35, 25), kWhite);
  EXPECT_EQ(other.pixel(35, 55), kWhite);
  EXPECT_EQ(other.pixel(65, 55), kWhite);
}

TEST(QtCanvasShapes, RoundRectKeepsItsCornersClear) {
  Surface s;
  s.c().setBrush({clWhite});
  s.c().roundRect({10, 10, 61, 41}, 20, 20);
  const QImage& img = s.image();
  EXPECT_EQ(changed(img), (Rect{10, 10, 61, 41}));
  EXPECT_EQ(img.pixel(11, 11), kGround);  // cut corner
  EXPECT_EQ(img.pixel(35, 10), kBlack);   // straight top edge
  EXPECT_EQ(img.pixel(35, 25), kWhite);
}

TEST(QtCanvasLines, LineToLeavesOutTheEndPixel) {
  Surface s;
  s.c().moveTo(10, 5);
  s.c().lineTo(20, 5);  // horizontal
  s.c().moveTo(5, 10);
  s.c().lineTo(5, 3);  // vertical, upwards
  s.c().moveTo(30, 30);
  s.c().lineTo(40, 40);  // diagonal
  EXPECT_EQ(s.c().state().current, (Point{40, 40}));
  const QImage& img = s.image();
  for (int x = 10; x < 20; ++x) EXPECT_EQ(img.pixel(x, 5), kBlack) << x;
  EXPECT_EQ(img.pixel(20, 5), kGround);
  EXPECT_EQ(img.pixel(9, 5), kGround);
  for (int y = 4; y <= 10; ++y) EXPECT_EQ(img.pixel(5, y), kBlack) << y;
  EXPECT_EQ(img.pixel(5, 3), kGround);
  for (int i = 30; i < 40; ++i) EXPECT_EQ(img.pixel(i, i), kBlack) << i;
  EXPECT_EQ(img.pixel(40, 40), kGround);
  EXPECT_EQ(img.pixel(31, 30), kGround);
}

// Pixels of row y from x0 on, as '#' (pen), 'o' (background colour), '.' (untouched).
std::string row(const QImage& img, int y, int x0, int n) {
  std::string out;
  for (int x = x0; x < x0 + n; ++x) {
    QRgb p = img.pixel(x, y);
    out += p == kBlack ? '#' : p == kWhite ? 'o' : '.';
  }
  return out;
}

std::string pattern(std::initializer_list<int> runs, char gap, int n) {
  std::string out;
  while (int(out.size()) < n) {
    bool on = true;
    for (int r : runs) {
      out += std::string(size_t(r), on ? '#' : gap);
      on = !on;
    }
  }
  return out.substr(0, size_t(n));
}

TEST(QtCanvasLines, CosmeticDashPatternsFollowGdi) {
  struct Case {
    PenStyle style;
    std::initializer_list<int> runs;
  } cases[] = {{PenStyle::Dash, {18, 6}},
               {PenStyle::Dot, {3, 3}},
               {PenStyle::DashDot, {9, 6, 3, 6}},
               {PenStyle::DashDotDot, {9, 3, 3, 3, 3, 3}}};
  for (const Case& k : cases) {
    for (BkMode mode : {BkMode::Transparent, BkMode::Opaque}) {
      Surface s;
      s.c().setPen({clBlack, 1, k.style});
      s.c().setBkMode(mode);
      s.c().setBkColor(clWhite);
      s.c().moveTo(2, 10);
      s.c().lineTo(102, 10);
      char gap = mode == BkMode::Opaque ? 'o' : '.';
      EXPECT_EQ(row(s.image(), 10, 2, 100), pattern(k.runs, gap, 100)) << int(k.style);
    }
  }
}

TEST(QtCanvasLines, DashesRunOnAroundARectangle) {
  Surface s;
  s.c().setPen({clBlack, 1, PenStyle::Dash});
  s.c().setBrushStyle(BrushStyle::Clear);
  s.c().setBkMode(BkMode::Transparent);
  s.c().rectangle({10, 10, 30, 60});
  const QImage& img = s.image();
  // Top edge: pixels 10..28 are the first 19 of the pattern; the right edge
  // goes on from pixel 19 of it.
  EXPECT_EQ(row(img, 10, 10, 19), pattern({18, 6}, '.', 19));
  std::string right;
  for (int y = 10; y < 59; ++y) right += img.pixel(29, y) == kBlack ? '#' : '.';
  EXPECT_EQ(right, pattern({18, 6}, '.', 68).substr(19, 49));
}

// A slanted line is walked only where it crosses the surface. The pixels it
// leaves there must be the ones the whole walk gives (the walk written out
// again here for solid lines), and a dashed line must keep the phase it would
// have had, which a surface large enough for the whole line shows.
TEST(QtCanvasLines, SlantedLinesCrossingTheSurfaceKeepTheirPixelsAndDashes) {
  constexpr int kSmall = 100, kLarge = 1700;
  uint32_t seed = 12345;
  auto next = [&](int range) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(range));
  };
  for (int i = 0; i < 80; ++i) {
    // From far on the large surface through a pixel of the small one, and on
    // beyond its top left: the walk of the large surface is whole up to there.
    const Point p{next(kSmall), next(kSmall)};
    const Point from{kSmall + next(kLarge - kSmall), kSmall + next(kLarge - kSmall)};
    const int f = 1 + next(8);
    const Point to{p.x - (from.x - p.x) * f / 8, p.y - (from.y - p.y) * f / 8};
    if (from.x == to.x || from.y == to.y) continue;
    for (PenStyle style : {PenStyle::Solid, PenStyle::DashDot}) {
      // Solid lines are checked going either way.
      const bool back = style == PenStyle::Solid && i % 2;
      const Point a = back ? to : from, b = back ? from : to;
      Surface small(kSmall, kSmall), large(kLarge, kLarge);
      for (Surface* s : {&small, &large}) {
        s->c().setPen({clBlack, 1, style});
        s->c().setBkMode(BkMode::Transparent);
        s->c().moveTo(a.x, a.y);
        s->c().lineTo(b.x, b.y);
      }
      QImage want(kSmall, kSmall, QImage::Format_RGB32);
      want.fill(kGround);
      if (style == PenStyle::Solid) {
        // The walk as GDI draws it, the end point left out.
        int x = a.x, y = a.y;
        const int sx = b.x > a.x ? 1 : -1, sy = b.y > a.y ? 1 : -1;
        const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
        int err = dx + dy;
        while (!(x == b.x && y == b.y)) {
          if (x >= 0 && y >= 0 && x < kSmall && y < kSmall) want.setPixel(x, y, kBlack);
          const int e2 = 2 * err;
          if (e2 >= dy) err += dy, x += sx;
          if (e2 <= dx) err += dx, y += sy;
        }
      } else {
        want = large.image().copy(0, 0, kSmall, kSmall);
      }
      EXPECT_EQ(small.image(), want)
          << a.x << "," << a.y << " to " << b.x << "," << b.y << " " << int(style);
    }
  }
}

TEST(QtCanvasLines, WidePenIsCentredOnTheLine) {
  Surface s;
  s.c().setPen({clBlack, 3});
  s.c().moveTo(20, 30);
  s.c().lineTo(60, 30);
  const QImage& img = s.image();
  for (int y = 29; y <= 31; ++y) EXPECT_EQ(img.pixel(40, y), kBlack) << y;
  EXPECT_EQ(img.pixel(40, 28), kGround);
  EXPECT_EQ(img.pixel(40, 32), kGround);
  // Wide dashed pens draw solid.
  Surface d;
  d.c().setPen({clBlack, 2, PenStyle::Dash});
  d.c().moveTo(0, 10);
  d.c().lineTo(60, 10);
  EXPECT_EQ(row(d.image(), 10, 5, 40), std::string(40, '#'));
}

TEST(QtCanvasLines, XorTwiceRestores) {
  Surface s;
  s.c().setBrush({rgb(10, 200, 30)});
  s.c().fillRect({0, 0, 60, 40});
  s.c().setPen({rgb(255, 255, 255), 1, PenStyle::Solid, PenMode::Xor});
  s.c().moveTo(5, 5);
  s.c().lineTo(50, 5);
  s.c().moveTo(5, 5);
  s.c().lineTo(50, 5);
  s.c().moveTo(5, 20);
  s.c().lineTo(50, 20);
  const QImage& img = s.image();
  EXPECT_EQ(img.pixel(20, 5), 0xFF0AC81Eu);                 // twice: back to the fill
  EXPECT_EQ(img.pixel(20, 20), 0xFF0AC81Eu ^ 0x00FFFFFFu);  // once: inverted
}

TEST(QtCanvasShapes, EllipseStaysInsideItsRectangle) {
  Surface s;
  s.c().setBrush({clWhite});
  s.c().ellipse({10, 10, 51, 31});
  const QImage& img = s.image();
  EXPECT_EQ(changed(img), (Rect{10, 10, 51, 31}));
  EXPECT_EQ(img.pixel(30, 20), kWhite);  // filled inside
  EXPECT_EQ(img.pixel(10, 20), kBlack);  // outline at the extremes
  EXPECT_EQ(img.pixel(50, 20), kBlack);
  EXPECT_EQ(img.pixel(30, 10), kBlack);
  EXPECT_EQ(img.pixel(30, 30), kBlack);
}

TEST(QtCanvasClip, ClipRegionFollowsTheState) {
  Surface s;
  s.c().setBrush({clBlack});
  s.c().intersectClipRect({10, 10, 50, 50});
  s.c().excludeClipRect({20, 20, 30, 30});
  s.c().fillRect({0, 0, 120, 80});
  s.c().save();
  s.c().setClipRect(Rect{100, 0, 110, 10});
  s.c().restore();
  s.c().fillRect({100, 0, 110, 10});  // outside the restored clip
  const QImage& img = s.image();
  EXPECT_EQ(changed(img), (Rect{10, 10, 50, 50}));
  EXPECT_EQ(img.pixel(25, 25), kGround);
  EXPECT_EQ(img.pixel(19, 25), kBlack);
  EXPECT_EQ(img.pixel(30, 25), kBlack);
}

TEST(QtCanvasText, InkStaysInTheTextCell) {
  Surface s(200, 80);
  FontSpec f;
  f.height = -20;
  s.c().setFont(f);
  s.c().setBkMode(BkMode::Transparent);
  const Size ext = s.c().textExtent("Hxg");
  const TextMetrics m = s.c().textMetrics();
  s.c().textOut(30, 10, "Hxg");
  Rect ink = changed(s.image());
  // Antialiased edges may touch one more pixel.
  EXPECT_GE(ink.left, 30 - 1);
  EXPECT_LE(ink.right, 30 + ext.cx + 1);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.bottom, 10 + ext.cy + 1);
  // The capital's top is near the ascent line, the descender below the baseline.
  EXPECT_LE(ink.top, 10 + m.internalLeading + 3);
  EXPECT_GT(ink.bottom, 10 + m.ascent);
}

TEST(QtCanvasText, OpaqueBackgroundFillsTheCell) {
  Surface s(200, 80);
  s.c().setBkMode(BkMode::Opaque);
  s.c().setBkColor(clWhite);
  const Size ext = s.c().textExtent("abc");
  s.c().textOut(5, 6, "abc");
  EXPECT_EQ(changed(s.image()), (Rect{5, 6, 5 + ext.cx, 6 + ext.cy}));
}

TEST(QtCanvasText, RotatedTextRisesFromTheOrigin) {
  Surface s(100, 200);
  FontSpec f;
  f.height = -20;
  f.escapement = 900;
  s.c().setFont(f);
  s.c().setBkMode(BkMode::Transparent);
  const Size ext = s.c().textExtent("HHHHH");
  s.c().textOut(40, 150, "HHHHH");
  Rect ink = changed(s.image());
  // Rotated a quarter turn counter-clockwise about (40, 150): the cell spans
  // x 40..40+height and y 150-width..150.
  EXPECT_GE(ink.left, 40 - 1);
  EXPECT_LE(ink.right, 40 + ext.cy + 1);
  EXPECT_GE(ink.top, 150 - ext.cx - 1);
  EXPECT_LE(ink.bottom, 150 + 1);
  EXPECT_GT(ink.height(), ext.cx - 6);
}

TEST(QtCanvasText, TheMostNegativeEscapementTurnsTheTextLikeAnyOther) {
  // The angle a file gives is taken modulo a full turn, whatever its size.
  auto ink = [](int32_t escapement) {
    Surface s(200, 200);
    FontSpec f;
    f.height = -20;
    f.escapement = escapement;
    s.c().setFont(f);
    s.c().setBkMode(BkMode::Transparent);
    s.c().textOut(100, 100, "HHHHH");
    return changed(s.image());
  };
  const Rect extreme = ink(INT32_MIN);
  const Rect same = ink(INT32_MIN % 3600);
  EXPECT_FALSE(extreme.isEmpty());
  EXPECT_NEAR(extreme.left, same.left, 1);
  EXPECT_NEAR(extreme.top, same.top, 1);
  EXPECT_NEAR(extreme.right, same.right, 1);
  EXPECT_NEAR(extreme.bottom, same.bottom, 1);
}

TEST(QtCanvasText, JustificationAndExtraMoveTheGlyphs) {
  auto inkRight = [](int extra, int justify) {
    Surface s(300, 40);
    s.c().setBkMode(BkMode::Transparent);
    s.c().setTextCharacterExtra(extra);
    s.c().setTextJustification(justify, 2);
    s.c().textOut(10, 5, "I I I");
    return changed(s.image()).right;
  };
  const int plain = inkRight(0, 0);
  EXPECT_EQ(inkRight(0, 11), plain + 11);
  EXPECT_EQ(inkRight(3, 0), plain + 4 * 3);  // the last glyph moves by four extras
}

TEST(QtCanvasText, ClippedOutputStaysInTheRectangle) {
  Surface s(200, 60);
  FontSpec f;
  f.height = -30;
  s.c().setFont(f);
  s.c().setBkMode(BkMode::Transparent);
  Rect clip{10, 10, 40, 30};
  s.c().textOut(5, 5, "WWWWWW", &clip, etoClipped);
  Rect ink = changed(s.image());
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 40);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.bottom, 30);
  // Opaque output fills the whole clip rectangle first.
  Surface o(200, 60);
  o.c().setBkColor(clWhite);
  o.c().textOut(12, 12, "", &clip, etoOpaque);
  EXPECT_EQ(changed(o.image()), clip);
}

TEST(QtCanvasText, UnderlineSpansTheText) {
  Surface s(200, 60);
  FontSpec f;
  f.height = -20;
  f.underline = true;
  s.c().setFont(f);
  s.c().setBkMode(BkMode::Transparent);
  const int w = s.c().textWidth("a b");
  const TextMetrics m = s.c().textMetrics();
  s.c().textOut(10, 10, "a b");
  const ScaledFont& sf = scaledFont(f);
  EXPECT_EQ(row(s.image(), 10 + m.ascent + sf.underlineOffset(), 10, w),
            std::string(size_t(w), '#'));
}

TEST(QtCanvasText, WingdingsCheckMarkIsDrawn) {
  Surface s(60, 60);
  FontSpec f;
  f.face = "Wingdings";
  f.height = -40;
  s.c().setFont(f);
  s.c().setBkMode(BkMode::Transparent);
  s.c().textOut(5, 5, "\xFC");
  Rect ink = changed(s.image());
  EXPECT_FALSE(ink.isEmpty());
  EXPECT_GT(ink.width(), 15);
}

TEST(QtCanvasImages, EnlargingRepeatsPixels) {
  QImage src(2, 2, QImage::Format_RGB32);
  src.setPixel(0, 0, kBlack);
  src.setPixel(1, 0, kWhite);
  src.setPixel(0, 1, kWhite);
  src.setPixel(1, 1, kBlack);
  Surface s;
  s.c().stretchImage({10, 10, 18, 18}, src);
  s.c().stretchImage({48, 10, 40, 18}, src);  // reversed: mirrored
  const QImage& img = s.image();
  EXPECT_EQ(changed(img), (Rect{10, 10, 48, 18}));
  for (int y = 10; y < 18; ++y) {
    for (int x = 10; x < 18; ++x) {
      bool black = (x < 14) == (y < 14);
      ASSERT_EQ(img.pixel(x, y), black ? kBlack : kWhite) << x << "," << y;
    }
  }
  EXPECT_EQ(img.pixel(40, 10), kWhite);
  EXPECT_EQ(img.pixel(47, 10), kBlack);
}

// Columns that hold ink taller than half the cell: the stem of a capital.
std::vector<int> tallColumns(const QImage& img) {
  std::vector<int> cols;
  for (int x = 0; x < img.width(); ++x) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) n += img.pixel(x, y) != kGround;
    if (n > 8) cols.push_back(x);
  }
  return cols;
}

TEST(QtCanvasText, RightToLeftReadingMovesTrailingNeutralsLeft) {
  FontSpec f;
  f.height = -20;
  auto draw = [&](uint32_t flags) {
    Surface s(200, 40);
    s.c().setFont(f);
    s.c().setBkMode(BkMode::Transparent);
    s.c().textOut(10, 5, "I....", nullptr, flags);
    return tallColumns(s.image());
  };
  Surface m(10, 10);
  m.c().setFont(f);
  const int w = m.c().textWidth("I....");
  std::vector<int> ltr = draw(0), rtl = draw(etoRtlReading);
  ASSERT_FALSE(ltr.empty());
  ASSERT_FALSE(rtl.empty());
  // Left to right the capital comes first; with a right-to-left paragraph
  // the trailing points are placed before it, on the left.
  EXPECT_LT(ltr.back(), 10 + w / 2);
  EXPECT_GT(rtl.front(), 10 + w / 2);
}

TEST(QtCanvasText, HebrewLettersAreReversedInRightToLeftOrder) {
  // Alef then tav in code page 1255: drawn right to left they must give the
  // same pixels as tav then alef drawn left to right.
  FontSpec f;
  f.height = -24;
  f.face = "DejaVu Sans";
  f.charset = 177;
  auto draw = [&](std::string_view text, uint32_t flags) {
    Surface s(120, 40);
    s.c().setFont(f);
    s.c().setBkMode(BkMode::Transparent);
    s.c().textOut(10, 5, text, nullptr, flags);
    return s.image().copy();
  };
  EXPECT_EQ(draw("\xE0\xFA", etoRtlReading), draw("\xFA\xE0", 0));
  EXPECT_NE(draw("\xE0\xFA", 0), draw("\xFA\xE0", 0));
}

TEST(QtCanvasText, PdfOutputKeepsRealText) {
  QProcess probe;
  probe.start("pdftotext", {"-v"});
  if (!probe.waitForFinished(10000)) GTEST_SKIP() << "pdftotext is not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString pdf = dir.filePath("t.pdf");
  {
    QPdfWriter writer(pdf);
    writer.setResolution(300);
    QPainter painter(&writer);
    QtCanvas c(&painter, {0, 0, 2400, 3300}, 300, 300);
    FontSpec f;
    f.height = -50;
    c.setFont(f);
    c.setBkMode(BkMode::Transparent);
    c.textOut(200, 200, "Relat\xF3rio de vendas \x80 1.234,56");
    f.face = "Courier New";
    c.setFont(f);
    c.setTextJustification(40, 2);
    c.textOut(200, 400, "Total geral 99");
  }
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(p.waitForFinished(20000));
  const QString text = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(text.contains(QStringLiteral(u"Relatório de vendas € 1.234,56")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Total"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("geral"))) << text.toStdString();
}

}  // namespace
}  // namespace orv
