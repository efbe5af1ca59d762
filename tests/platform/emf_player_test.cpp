#include "platform/emf_player.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <functional>

#include "platform/emf_canvas.h"
#include "platform/emf_records.h"
#include "platform/emf_test_util.h"
#include "platform/error.h"
#include "platform/qt_canvas.h"

namespace orv {
namespace {

using namespace emf;
using emftest::EmfBuilder;
using emftest::ofType;
using emftest::Record;
using emftest::records;
using emftest::WmfBuilder;

using Scene = std::function<void(Canvas&)>;

QImage paintDirect(const Rect& bounds, const Scene& scene) {
  QImage img(bounds.width(), bounds.height(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  {
    QtCanvas c(&p, bounds);
    scene(c);
  }
  return img;
}

QImage paintBytes(const Rect& bounds, std::span<const uint8_t> bytes, const Rect& dest) {
  QImage img(bounds.width(), bounds.height(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  {
    QtCanvas c(&p, bounds);
    playMetafile(bytes, c, dest);
  }
  return img;
}

// The lengths of the runs of colour c along row y, left to right.
std::vector<int> colourRuns(const QImage& img, int y, QRgb c) {
  std::vector<int> out;
  int n = 0;
  for (int x = 0; x < img.width(); ++x) {
    if (img.pixel(x, y) == c) {
      ++n;
    } else if (n) {
      out.push_back(n);
      n = 0;
    }
  }
  if (n) out.push_back(n);
  return out;
}

std::vector<uint8_t> record(const Rect& bounds, const Scene& scene) {
  EmfCanvas c(bounds);
  scene(c);
  return c.finish();
}

int differingPixels(const QImage& a, const QImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

// Drawing on the recorder and playing the recording back paints exactly what
// drawing on the screen canvas paints.
void expectRoundTrip(const Scene& scene) {
  const Rect bounds{0, 0, 240, 160};
  const QImage direct = paintDirect(bounds, scene);
  const QImage replayed = paintBytes(bounds, record(bounds, scene), bounds);
  EXPECT_EQ(differingPixels(direct, replayed), 0);
  if (differingPixels(direct, replayed) != 0) {
    direct.save("/tmp/emf_direct.png");
    replayed.save("/tmp/emf_replayed.png");
  }
  // Something was drawn at all.
  QImage blank(direct.size(), direct.format());
  blank.fill(Qt::white);
  EXPECT_GT(differingPixels(direct, blank), 50);
}

TEST(EmfRoundTrip, ShapesAndLines) {
  expectRoundTrip([](Canvas& c) {
    c.setBrush({rgb(200, 220, 0), BrushStyle::Solid});
    c.rectangle({5, 5, 60, 40});
    c.setPen({rgb(0, 0, 200), 3, PenStyle::Solid, PenMode::Copy});
    c.ellipse({70, 5, 130, 45});
    c.setBrushStyle(BrushStyle::Clear);
    c.roundRect({140, 5, 230, 50}, 20, 14);
    c.setPen({rgb(200, 0, 0), 1, PenStyle::Dash, PenMode::Copy});
    c.arc({5, 60, 80, 120}, {80, 90}, {5, 90});
    c.setBrush({rgb(0, 150, 150), BrushStyle::Solid});
    c.setPen({clBlack, 2, PenStyle::Solid, PenMode::Copy});
    c.pie({90, 60, 150, 120}, {150, 90}, {120, 60});
    const Point tri[] = {{160, 60}, {230, 70}, {190, 120}};
    c.polygon(tri);
    const Point zig[] = {{5, 150}, {40, 130}, {80, 155}, {120, 128}};
    c.polyline(zig);
    c.setPen({clBlack, 1, PenStyle::Dot, PenMode::Copy});
    c.moveTo(130, 150);
    c.lineTo(230, 140);
    c.lineTo(230, 125);
    c.setBrush({rgb(255, 0, 255), BrushStyle::Solid});
    c.fillRect({200, 130, 220, 158});
    c.setPen({clBlack, 5, PenStyle::Solid, PenMode::Xor});
    c.moveTo(0, 0);
    c.lineTo(239, 159);
  });
}

TEST(EmfRoundTrip, Text) {
  expectRoundTrip([](Canvas& c) {
    FontSpec f;
    f.height = -15;
    c.setFont(f);
    c.textOut(4, 4, "Total geral: 1.234,56");
    f.weight = 700;
    f.italic = true;
    f.underline = true;
    f.face = "Courier New";
    c.setFont(f);
    c.setTextColor(rgb(0, 0, 160));
    c.setBkColor(rgb(255, 255, 180));
    c.setTextCharacterExtra(2);
    c.textOut(4, 26, "Extra spacing");
    c.setTextCharacterExtra(0);
    c.setBkMode(BkMode::Transparent);
    c.setTextJustification(13, 3);
    c.textOut(4, 48, "a b c d e");
    c.setTextJustification(0, 0);
    f = FontSpec{};
    f.height = -13;
    f.strikeOut = true;
    f.charset = 204;
    c.setFont(f);
    const Rect clip{4, 72, 90, 80};
    c.textOut(4, 70, "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0", &clip, etoClipped | etoOpaque);
    f = FontSpec{};
    f.height = -18;
    f.escapement = 900;
    c.setFont(f);
    c.textOut(200, 150, "Up");
    f.escapement = 2700;
    c.setFont(f);
    c.textOut(220, 20, "Down");
  });
}

TEST(EmfRoundTrip, ClippingAndSavedStates) {
  expectRoundTrip([](Canvas& c) {
    c.setBrush({rgb(0, 120, 0), BrushStyle::Solid});
    c.save();
    c.intersectClipRect({10, 10, 200, 140});
    c.excludeClipRect({50, 30, 120, 90});
    c.rectangle({0, 0, 240, 160});
    c.setClipRect(Rect{150, 100, 230, 150});
    c.setBrushColor(rgb(200, 0, 0));
    c.ellipse({100, 60, 240, 160});
    c.restore();
    c.setPen({rgb(0, 0, 255), 2, PenStyle::Solid, PenMode::Copy});
    c.moveTo(0, 80);
    c.lineTo(240, 80);
  });
}

TEST(EmfRoundTrip, Images) {
  QImage img(4, 3, QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) img.setPixel(x, y, qRgb(60 * x, 80 * y, 255 - 50 * x));
  expectRoundTrip([&](Canvas& c) {
    c.stretchImage({10, 10, 90, 70}, img);
    c.stretchImage({100, 20, 108, 26}, img);
    c.intersectClipRect({120, 0, 200, 100});
    c.stretchImage({110, 30, 230, 150}, img);
  });
}

// ---- geometry through a recording target ----

std::vector<Record> replayRecords(std::span<const uint8_t> bytes, const Rect& dest,
                                  std::vector<uint8_t>& keep) {
  EmfCanvas target({0, 0, 1000, 1000});
  playMetafile(bytes, target, dest);
  keep = target.finish();
  return records(keep);
}

Rect boxOf(const Record& r) {
  return {r.i(0), r.i(1), r.i(2), r.i(3)};
}

TEST(EmfPlayer, MapsTheFrameOntoTheDestination) {
  const auto emf = record({0, 0, 100, 100}, [](Canvas& c) {
    c.setPenWidth(3);
    c.rectangle({10, 20, 60, 70});
    FontSpec f;
    f.height = -16;
    c.setFont(f);
    c.textOut(10, 80, "x");
  });
  std::vector<uint8_t> keep;
  const auto recs = replayRecords(emf, {50, 50, 250, 250}, keep);
  const auto rects = ofType(recs, EMR_RECTANGLE);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(boxOf(rects[0]), (Rect{70, 90, 170, 190}));
  EXPECT_EQ(ofType(recs, EMR_CREATEPEN).at(0).i(2), 6);
  EXPECT_EQ(ofType(recs, EMR_EXTCREATEFONTINDIRECTW).at(0).i(1), -32);
  const auto texts = ofType(recs, EMR_EXTTEXTOUTW);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].i(7), 70);
  EXPECT_EQ(texts[0].i(8), 210);
  EXPECT_EQ(metafileSize(emf), (Size{100, 100}));
}

// Frame 2540 (one inch) on a 96-dpi reference device: one logical unit of
// MM_TEXT is one destination pixel when the destination is 96 pixels wide.
// Pens as the platform makes them: width 0 and cosmetic extended pens are one
// device pixel at any stretch; other widths are logical units and grow with
// the stretch; a CreatePen pen wider than one unit draws solid. Each pen draws
// a vertical line in its own colour, so both what reaches a recording canvas
// and the pixels on the screen canvas can be told apart.
TEST(EmfPlayer, PensScaleWithThePlaybackUnlessCosmetic) {
  struct PenCase {
    const char* what;
    uint32_t color;
    double logical;  // -1: one device pixel at every stretch
  };
  const PenCase pens[] = {
      {"CreatePen width 0", 0x0000C0, -1},     {"CreatePen width 1", 0x00C000, 1},
      {"CreatePen width 3", 0xC00000, 3},      {"cosmetic extended pen", 0xC0C000, -1},
      {"geometric extended pen", 0x00C0C0, 3}, {"dashed width 3", 0xC000C0, 3},
  };
  // A picture of one inch, 96 x 96 logical pixels.
  EmfBuilder b(2540, 2540, 8);
  b.rec(EMR_CREATEPEN, {1, PS_SOLID, 0, 0, int32_t(pens[0].color)})
      .rec(EMR_CREATEPEN, {2, PS_SOLID, 1, 0, int32_t(pens[1].color)})
      .rec(EMR_CREATEPEN, {3, PS_SOLID, 3, 0, int32_t(pens[2].color)})
      .rec(EMR_EXTCREATEPEN, {4, 0, 0, 0, 0, PS_SOLID, 1, BS_SOLID, int32_t(pens[3].color), 0, 0})
      .rec(EMR_EXTCREATEPEN,
           {5, 0, 0, 0, 0, PS_GEOMETRIC | PS_SOLID, 3, BS_SOLID, int32_t(pens[4].color), 0, 0})
      .rec(EMR_CREATEPEN, {6, PS_DASH, 3, 0, int32_t(pens[5].color)});
  for (int32_t i = 0; i < 6; ++i)
    b.rec(EMR_SELECTOBJECT, {i + 1})
        .rec(EMR_MOVETOEX, {10 + 15 * i, 10})
        .rec(EMR_LINETO, {10 + 15 * i, 90});
  const auto emf = b.finish();

  for (double stretch : {1.0, 2.5, 6.25}) {
    const int32_t side = int32_t(96 * stretch);
    std::vector<uint8_t> keep;
    const auto recs = replayRecords(emf, {0, 0, side, side}, keep);
    const auto created = ofType(recs, EMR_CREATEPEN);
    for (const PenCase& pen : pens) {
      const int32_t want = pen.logical < 0 ? 0 : roundEven(pen.logical * stretch);
      auto it = std::find_if(created.begin(), created.end(),
                             [&](const Record& r) { return r.u(4) == pen.color; });
      ASSERT_NE(it, created.end()) << pen.what;
      EXPECT_EQ(it->i(2), want) << pen.what << " at " << stretch;
      EXPECT_EQ(it->u(1), uint32_t(PS_SOLID)) << pen.what;
    }

    const QImage img = paintBytes({0, 0, side, side}, emf, {0, 0, side, side});
    const int row = side / 2;
    for (const PenCase& pen : pens) {
      const QRgb c = toQColor(pen.color).rgb();
      int n = 0;
      for (int x = 0; x < side; ++x) n += img.pixel(x, row) == c;
      const int want = pen.logical < 0 ? 1 : std::max(1, roundEven(pen.logical * stretch));
      EXPECT_EQ(n, want) << pen.what << " at " << stretch;
    }
  }

  // The WMF pen record follows the same rule: width 0 one pixel, width 1 one
  // unit, here a tenth of an inch.
  WmfBuilder w(true, 0, 0, 1000, 1000, 1000, 4);
  w.rec(0x020B, {0, 0})
      .rec(0x020C, {1000, 1000})
      .rec(0x02FA, {0, 0, 0, 0x00FF, 0})
      .rec(0x012D, {0})
      .rec(0x0214, {100, 100})  // MOVETO y, x
      .rec(0x0213, {900, 100})  // LINETO y, x
      .rec(0x02FA, {0, 100, 0, 0, 0x00FF})
      .rec(0x012D, {1})
      .rec(0x0214, {100, 500})
      .rec(0x0213, {900, 500});
  std::vector<uint8_t> keep;
  const auto created = ofType(replayRecords(w.finish(), {0, 0, 250, 250}, keep), EMR_CREATEPEN);
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0].i(2), 0);
  EXPECT_EQ(created[1].i(2), 25);
}

// Stretched three times as wide as high, a geometric pen becomes an ellipse:
// a vertical line is three times as thick as a horizontal one, and a
// rectangle's sides follow suit. Cosmetic pens stay one pixel either way.
TEST(EmfPlayer, GeometricPensFollowAStretchThatIsNotTheSameBothWays) {
  const auto emf = EmfBuilder(2540, 2540)
                       .rec(EMR_CREATEPEN, {1, PS_SOLID, 2, 0, 0x0000C0})
                       .rec(EMR_SELECTOBJECT, {1})
                       .rec(EMR_MOVETOEX, {20, 10})
                       .rec(EMR_LINETO, {20, 80})
                       .rec(EMR_MOVETOEX, {40, 30})
                       .rec(EMR_LINETO, {90, 30})
                       .rec(EMR_SELECTOBJECT, {int32_t(kStockObject | NULL_BRUSH)})
                       .rec(EMR_RECTANGLE, {40, 50, 80, 90})
                       .rec(EMR_CREATEPEN, {2, PS_SOLID, 0, 0, 0x00C000})
                       .rec(EMR_SELECTOBJECT, {2})
                       .rec(EMR_MOVETOEX, {10, 10})
                       .rec(EMR_LINETO, {10, 80})
                       .finish();
  const QImage img = paintBytes({0, 0, 300, 100}, emf, {0, 0, 288, 96});
  auto run = [&](int x0, int y0, int dx, int dy, QRgb c) {
    int n = 0;
    for (int x = x0, y = y0; x >= 0 && y >= 0 && x < img.width() && y < img.height();
         x += dx, y += dy)
      n += img.pixel(x, y) == c;
    return n;
  };
  const QRgb blue = qRgb(0xC0, 0, 0), green = qRgb(0, 0xC0, 0);
  EXPECT_EQ(run(0, 50, 1, 0, green), 1) << "cosmetic pen";
  EXPECT_EQ(run(40, 20, 1, 0, blue), 6) << "vertical line across the stretch";
  EXPECT_EQ(run(255, 0, 0, 1, blue), 2) << "horizontal line along it";
  // The rectangle (120..240 x 50..90): left side 6 wide, top side 2 high.
  EXPECT_EQ(run(100, 70, 1, 0, blue), 12) << "left and right sides";
  EXPECT_EQ(run(180, 40, 0, 1, blue), 4) << "top and bottom sides";
}

// A wide geometric extended pen keeps its dashes, three widths on and one
// off; a wide CreatePen pen of the same style draws solid.
TEST(EmfPlayer, WideGeometricPensKeepTheirDashes) {
  const auto emf =
      EmfBuilder(2540, 2540)
          .rec(EMR_EXTCREATEPEN, {1, 0, 0, 0, 0, int32_t(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT),
                                  4, BS_SOLID, 0x0000C0, 0, 0})
          .rec(EMR_SELECTOBJECT, {1})
          .rec(EMR_MOVETOEX, {8, 20})
          .rec(EMR_LINETO, {88, 20})
          .rec(EMR_CREATEPEN, {2, PS_DASH, 4, 0, 0x00C000})
          .rec(EMR_SELECTOBJECT, {2})
          .rec(EMR_MOVETOEX, {8, 60})
          .rec(EMR_LINETO, {88, 60})
          .finish();
  const QImage img = paintBytes({0, 0, 96, 96}, emf, {0, 0, 96, 96});
  auto runs = [&](int y, QRgb c) { return colourRuns(img, y, c); };
  EXPECT_EQ(runs(20, qRgb(0xC0, 0, 0)), (std::vector<int>{12, 12, 12, 12, 12})) << "dashed";
  EXPECT_EQ(runs(60, qRgb(0, 0xC0, 0)), (std::vector<int>{84})) << "solid, round caps";
}

// Each dash of an outlined pen is a polygon of its own, so a picture spends
// a bounded number of them; a stroke that would pass the bound is drawn solid
// from end to end, and later strokes within what is left keep their dashes.
TEST(EmfPlayer, DashesBeyondWhatAPictureMaySpendComeOutSolid) {
  // Four pen widths of four units to a dash and its gap.
  auto line = [](EmfBuilder& b, int32_t y, int32_t dashes) -> EmfBuilder& {
    return b.rec(EMR_MOVETOEX, {8, y}).rec(EMR_LINETO, {8 + 16 * dashes, y});
  };
  EmfBuilder b(2540, 2540);
  b.rec(EMR_EXTCREATEPEN, {1, 0, 0, 0, 0, int32_t(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT), 4,
                           BS_SOLID, 0x0000C0, 0, 0})
      .rec(EMR_SELECTOBJECT, {1});
  // One stroke of 20 lines of 1,000 dashes, the first on the picture and the
  // others below it: more than a picture may spend, so solid.
  std::vector<int32_t> zigzag{0, 0, 0, 0, 40};
  for (int32_t i = 0; i < 20; ++i) {
    const int32_t y = i == 0 ? 10 : 200 + i;
    zigzag.insert(zigzag.end(), {i % 2 ? 8 + 16 * 1000 : 8, y, i % 2 ? 8 : 8 + 16 * 1000, y});
  }
  b.rec(EMR_POLYLINE, zigzag);
  line(b, 30, 5);                                           // few: dashed
  for (int32_t i = 0; i < 16; ++i) line(b, 300 + i, 1000);  // 16,000 spent below the picture
  line(b, 50, 500);                                         // more than is left: solid
  line(b, 70, 300);                                         // within it: dashed
  const QImage img = paintBytes({0, 0, 96, 96}, b.finish(), {0, 0, 96, 96});
  auto runs = [&](int y) { return colourRuns(img, y, qRgb(0xC0, 0, 0)); };
  EXPECT_EQ(runs(10), (std::vector<int>{88}));
  EXPECT_EQ(runs(30), (std::vector<int>{12, 12, 12, 12, 12}));
  EXPECT_EQ(runs(50), (std::vector<int>{88}));
  EXPECT_EQ(runs(70), (std::vector<int>{12, 12, 12, 12, 12, 8}));  // the last cut by the edge
}

// Outlines cost points, many for a wide pen with round ends: once a picture
// has spent its share, its strokes are the canvas's own pen, round and solid.
TEST(EmfPlayer, APictureWhoseOutlinesCostTooMuchGoesOnWithTheCanvasPen) {
  EmfBuilder b(2540, 2540);
  b.rec(EMR_EXTCREATEPEN, {1, 0, 0, 0, 0, int32_t(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT), 4,
                           BS_SOLID, 0x0000C0, 0, 0})
      .rec(EMR_EXTCREATEPEN, {2, 0, 0, 0, 0, int32_t(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND),
                              2000, BS_SOLID, 0x00C000, 0, 0})
      .rec(EMR_SELECTOBJECT, {1})
      .rec(EMR_MOVETOEX, {8, 10})
      .rec(EMR_LINETO, {88, 10});
  // Below the picture, thousands of short strokes of the wide pen, stretched
  // so that the player outlines them.
  b.rec(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .rec(EMR_SETWINDOWEXTEX, {1, 1})
      .rec(EMR_SETVIEWPORTEXTEX, {2, 1})
      .rec(EMR_SELECTOBJECT, {2});
  constexpr int32_t kStrokes = 7000;
  for (int32_t i = 0; i < kStrokes; ++i) b.rec(EMR_MOVETOEX, {0, 5000}).rec(EMR_LINETO, {1, 5000});
  b.rec(EMR_SETMAPMODE, {MM_TEXT})
      .rec(EMR_SELECTOBJECT, {1})
      .rec(EMR_MOVETOEX, {8, 30})
      .rec(EMR_LINETO, {88, 30});
  const QImage img = paintBytes({0, 0, 96, 96}, b.finish(), {0, 0, 96, 96});
  auto runs = [&](int y) { return colourRuns(img, y, qRgb(0xC0, 0, 0)); };
  EXPECT_EQ(runs(10), (std::vector<int>{12, 12, 12, 12, 12}));
  EXPECT_EQ(runs(30).size(), 1u);
}

TEST(EmfPlayer, FollowsMappingModesAndWorldTransforms) {
  const Rect dest{0, 0, 96, 96};
  std::vector<uint8_t> keep;
  {
    const auto emf = EmfBuilder(2540, 2540)
                         .rec(EMR_SETMAPMODE, {MM_ANISOTROPIC})
                         .rec(EMR_SETWINDOWORGEX, {100, 100})
                         .rec(EMR_SETWINDOWEXTEX, {1000, 1000})
                         .rec(EMR_SETVIEWPORTORGEX, {4, 2})
                         .rec(EMR_SETVIEWPORTEXTEX, {50, 80})
                         .rec(EMR_RECTANGLE, {100, 100, 600, 350})
                         .rec(EMR_SCALEVIEWPORTEXTEX, {2, 1, 1, 2})
                         .rec(EMR_RECTANGLE, {100, 100, 600, 350})
                         .finish();
    const auto rects = ofType(replayRecords(emf, dest, keep), EMR_RECTANGLE);
    ASSERT_EQ(rects.size(), 2u);
    // x: (x - 100) * 50 / 1000 + 4; y: (y - 100) * 80 / 1000 + 2.
    EXPECT_EQ(boxOf(rects[0]), (Rect{4, 2, 29, 22}));
    // Viewport extent scaled by 2/1 and 1/2.
    EXPECT_EQ(boxOf(rects[1]), (Rect{4, 2, 54, 12}));
  }
  {
    // MM_HIMETRIC: 0.01 mm per unit, y upwards; 2540 units are 96 pixels.
    const auto emf = EmfBuilder(2540, 2540)
                         .rec(EMR_SETMAPMODE, {MM_HIMETRIC})
                         .rec(EMR_RECTANGLE, {0, 0, 2540, -1270})
                         .rec(EMR_SETMAPMODE, {MM_ISOTROPIC})
                         .rec(EMR_SETWINDOWEXTEX, {100, 100})
                         .rec(EMR_SETVIEWPORTEXTEX, {96, 48})
                         .rec(EMR_ELLIPSE, {0, 0, 100, 100})
                         .finish();
    const auto recs = replayRecords(emf, dest, keep);
    EXPECT_EQ(boxOf(ofType(recs, EMR_RECTANGLE).at(0)), (Rect{0, 0, 96, 48}));
    // Isotropic: the smaller scale (48/100) in both directions.
    EXPECT_EQ(boxOf(ofType(recs, EMR_ELLIPSE).at(0)), (Rect{0, 0, 48, 48}));
  }
  {
    auto f = [](float v) {
      int32_t i;
      std::memcpy(&i, &v, 4);
      return i;
    };
    const auto emf =
        EmfBuilder(2540, 2540)
            .rec(EMR_SAVEDC, {})
            .rec(EMR_SETWORLDTRANSFORM, {f(2), f(0), f(0), f(2), f(5), f(6)})
            .rec(EMR_RECTANGLE, {0, 0, 10, 10})
            .rec(EMR_MODIFYWORLDTRANSFORM, {f(0), f(1), f(-1), f(0), f(0), f(0), MWT_LEFTMULTIPLY})
            .rec(EMR_RECTANGLE, {0, 0, 10, 20})
            .rec(EMR_RESTOREDC, {-1})
            .rec(EMR_RECTANGLE, {1, 2, 3, 4})
            .finish();
    const auto recs = replayRecords(emf, dest, keep);
    const auto rects = ofType(recs, EMR_RECTANGLE);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(boxOf(rects[0]), (Rect{5, 6, 25, 26}));
    EXPECT_EQ(boxOf(rects[1]), (Rect{1, 2, 3, 4}));  // the transform was restored
    // Turned a quarter: (x, y) -> (-y, x), then doubled and moved.
    const auto polys = ofType(recs, EMR_POLYGON16);
    ASSERT_EQ(polys.size(), 1u);
    std::vector<Point> pts;
    for (uint32_t i = 0; i < polys[0].u(4); ++i)
      pts.push_back({int16_t(emftest::u16(polys[0].bytes, 28 + i * 4)),
                     int16_t(emftest::u16(polys[0].bytes, 30 + i * 4))});
    EXPECT_EQ(pts, (std::vector<Point>{{5, 6}, {5, 26}, {-35, 26}, {-35, 6}}));
  }
}

TEST(EmfPlayer, AlignsTextByItsReferencePoint) {
  auto withAlign = [](uint32_t align) {
    std::vector<uint8_t> body;
    for (int32_t v : {0, 0, 0, 0, 1, 0, 0, 100, 50, 2, 76, 0, 0, 0, -1, -1, 0})
      emftest::add32(body, uint32_t(v));
    emftest::add16(body, 'H');
    emftest::add16(body, 'i');
    return EmfBuilder(2540, 2540)
        .rec(EMR_SETTEXTALIGN, {int32_t(align)})
        .raw(EMR_EXTTEXTOUTW, body)
        .finish();
  };
  EmfCanvas probe({0, 0, 10, 10});
  FontSpec stock;
  stock.height = -13;
  probe.setFont(stock);
  const TextMetrics tm = probe.textMetrics();
  const int32_t w = probe.textWidth("Hi");
  const struct {
    uint32_t align;
    Point expect;
  } cases[] = {
      {0, {100, 50}},
      {TA_BASELINE, {100, 50 - tm.ascent}},
      {TA_BOTTOM | TA_RIGHT, {100 - w, 50 - tm.height}},
      {TA_CENTER, {roundEven(100 - w / 2.0), 50}},
  };
  for (const auto& k : cases) {
    std::vector<uint8_t> keep;
    const auto texts =
        ofType(replayRecords(withAlign(k.align), {0, 0, 96, 96}, keep), EMR_EXTTEXTOUTW);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ((Point{texts[0].i(7), texts[0].i(8)}), k.expect) << "align " << k.align;
  }
}

TEST(WmfPlayer, MapsThePlaceableBoxAndPlaysObjects) {
  // 1440 units per inch, a box of 1 x 0.5 inch: 96 x 48 pixels at 96 dpi.
  WmfBuilder w(true, 0, 0, 1440, 720, 1440, 4);
  w.rec(0x020B, {0, 0})                    // SETWINDOWORG
      .rec(0x020C, {720, 1440})            // SETWINDOWEXT (y, x)
      .rec(0x02FA, {0, 30, 0, 0x00FF, 0})  // CREATEPENINDIRECT: solid, width 30, red
      .rec(0x012D, {0})                    // SELECTOBJECT 0
      .rec(0x041B, {360, 720, 0, 0})       // RECTANGLE bottom, right, top, left
      .rec(0x01F0, {0});                   // DELETEOBJECT 0
  // CREATEFONTINDIRECT: height -300 (logical), charset 204, face "Arial".
  std::vector<uint8_t> font;
  for (int16_t v : {-300, 0, 0, 0, 400}) emftest::add16(font, uint16_t(v));
  for (uint8_t b : {0, 0, 0, 204, 0, 0, 0, 0}) font.push_back(b);
  for (char ch : std::string("Arial")) font.push_back(uint8_t(ch));
  font.push_back(0);
  w.raw(0x02FB, font).rec(0x012D, {0});
  // TEXTOUT: count 2, "\xC0\xC1", y 360, x 144.
  std::vector<uint8_t> text;
  emftest::add16(text, 2);
  text.push_back(0xC0);
  text.push_back(0xC1);
  emftest::add16(text, 360);
  emftest::add16(text, 144);
  w.raw(0x0521, text);
  const auto wmf = w.finish();
  EXPECT_EQ(metafileKind(wmf), MetafileKind::PlaceableWmf);
  EXPECT_EQ(metafileSize(wmf), (Size{96, 48}));
  std::vector<uint8_t> keep;
  const auto recs = replayRecords(wmf, {0, 0, 96, 48}, keep);
  EXPECT_EQ(boxOf(ofType(recs, EMR_RECTANGLE).at(0)), (Rect{0, 0, 48, 24}));
  EXPECT_EQ(ofType(recs, EMR_CREATEPEN).at(0).i(2), 2);  // 30 units of 1/15 pixel
  EXPECT_EQ(ofType(recs, EMR_CREATEPEN).at(0).u(4), 0xFFu);
  const auto fonts = ofType(recs, EMR_EXTCREATEFONTINDIRECTW);
  ASSERT_FALSE(fonts.empty());
  EXPECT_EQ(fonts.back().i(1), -20);
  EXPECT_EQ(fonts.back().bytes[35], 204);
  const auto texts = ofType(recs, EMR_EXTTEXTOUTW);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(emftest::u16(texts[0].bytes, texts[0].u(10)), 0x0410);
  EXPECT_EQ((Point{texts[0].i(7), texts[0].i(8)}), (Point{10, 24}));
}

TEST(WmfPlayer, PlainFilesUseTheirWindow) {
  WmfBuilder w(false);
  w.rec(0x020B, {10, 20}).rec(0x020C, {100, 200}).rec(0x0418, {110, 220, 10, 20});
  const auto wmf = w.finish();
  EXPECT_EQ(metafileKind(wmf), MetafileKind::Wmf);
  EXPECT_EQ(metafileSize(wmf), (Size{200, 100}));
  std::vector<uint8_t> keep;
  const auto recs = replayRecords(wmf, {0, 0, 400, 200}, keep);
  EXPECT_EQ(boxOf(ofType(recs, EMR_ELLIPSE).at(0)), (Rect{0, 0, 400, 200}));
}

// ---- damaged and hostile input ----

TEST(EmfPlayer, RejectsDamagedRecordsAndLeavesTheCanvasAsItWas) {
  const auto good = EmfBuilder().rec(EMR_RECTANGLE, {1, 1, 5, 5}).finish();
  std::vector<std::vector<uint8_t>> bad;
  auto withSize = [&](uint32_t size) {
    auto b = good;
    for (int i = 0; i < 4; ++i) b[108 + 4 + i] = uint8_t(size >> (8 * i));
    return b;
  };
  bad.push_back(withSize(4));     // shorter than a record prefix
  bad.push_back(withSize(26));    // not a multiple of 4
  bad.push_back(withSize(4000));  // beyond the data
  bad.push_back(EmfBuilder().rec(EMR_POLYLINE16, {0, 0, 0, 0, 1000, 0}).finish());  // count
  bad.push_back(EmfBuilder().rec(EMR_SELECTOBJECT, {100}).finish());         // index out of range
  bad.push_back(EmfBuilder().rec(EMR_CREATEPEN, {0, 0, 1, 0, 0}).finish());  // index 0
  bad.push_back(EmfBuilder().rec(EMR_RECTANGLE, {1, 2}).finish());           // fields missing
  {
    // A bitmap that claims 100000 x 100000 pixels.
    std::vector<uint8_t> body;
    for (int32_t v : {0, 0, 0, 0, 0, 0, 0, 0, 10, 10, 80, 40, 120, 16, 0, int32_t(SRCCOPY), 10, 10})
      emftest::add32(body, uint32_t(v));
    for (int32_t v : {40, 100000, 100000}) emftest::add32(body, uint32_t(v));
    emftest::add16(body, 1);
    emftest::add16(body, 24);
    for (int i = 0; i < 6; ++i) emftest::add32(body, 0);
    for (int i = 0; i < 16; ++i) body.push_back(0);
    bad.push_back(EmfBuilder().raw(EMR_STRETCHDIBITS, body).finish());
  }
  {
    EmfBuilder b;
    for (int i = 0; i < 2000; ++i) b.rec(EMR_SAVEDC, {});
    bad.push_back(b.finish());
  }
  {
    auto b = good;
    b[0] = 2;  // no header first
    b[40] = 0;
    bad.push_back(b);
  }
  bad.push_back(WmfBuilder(true).rec(0x012D, {40}).finish());  // object index beyond the table
  {
    auto w = WmfBuilder(false).rec(0x0418, {1, 2, 3, 4}).finish();
    w[18] = 1;  // record of one word
    w[19] = w[20] = w[21] = 0;
    bad.push_back(w);
  }
  bad.push_back(WmfBuilder(false).rec(0x0325, {500, 1, 2}).finish());  // polyline count

  for (size_t i = 0; i < bad.size(); ++i) {
    EmfCanvas target({0, 0, 100, 100});
    target.setPen({rgb(1, 2, 3), 4, PenStyle::Dash, PenMode::Copy});
    target.intersectClipRect({5, 5, 50, 50});
    const CanvasState before = target.state();
    EXPECT_THROW(playMetafile(bad[i], target, {0, 0, 100, 100}), Error) << "case " << i;
    EXPECT_EQ(target.state().pen, before.pen) << "case " << i;
    EXPECT_EQ(target.state().clip, before.clip) << "case " << i;
  }
  EmfCanvas target({0, 0, 1, 1});
  EXPECT_THROW(playMetafile(std::vector<uint8_t>(30, 7), target, {0, 0, 1, 1}), Error);
  EXPECT_THROW(metafileSize(std::vector<uint8_t>(3, 0)), Error);
}

TEST(EmfPlayer, SkipsUnknownRecordsAndStopsAtTheEnd) {
  const auto emf = EmfBuilder()
                       .rec(9999, {1, 2, 3})
                       .rec(EMR_GDICOMMENT, {4, 0x2B464D45})
                       .rec(EMR_RECTANGLE, {1, 1, 5, 5})
                       .finish();
  auto withTail = emf;
  // Records after the end record are not played.
  for (int32_t v : {int32_t(EMR_ELLIPSE), 24, 0, 0, 10, 10}) emftest::add32(withTail, uint32_t(v));
  std::vector<uint8_t> keep;
  const auto recs = replayRecords(withTail, {0, 0, 100, 100}, keep);
  EXPECT_EQ(ofType(recs, EMR_RECTANGLE).size(), 1u);
  EXPECT_EQ(ofType(recs, EMR_ELLIPSE).size(), 0u);
}

// ---- files written by another program ----

// Bounding box of the pixels that are not (nearly) white.
QRect inkBox(const QImage& img) {
  int x0 = img.width(), y0 = img.height(), x1 = -1, y1 = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 240) {
        x0 = std::min(x0, x), x1 = std::max(x1, x);
        y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
  return x1 < 0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

// Fraction of pixels whose darkness differs by more than a quarter of the
// range after a 3x3 box blur of both images, so that antialiasing and
// one-pixel placement differences between two renderers do not count.
double blurredDifference(const QImage& a, const QImage& b) {
  const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
  auto blurred = [&](const QImage& img) {
    const QImage g = img.convertToFormat(QImage::Format_Grayscale8);
    std::vector<int> out(size_t(w) * h, 255);
    for (int y = 1; y + 1 < h; ++y)
      for (int x = 1; x + 1 < w; ++x) {
        int s = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) s += g.constScanLine(y + dy)[x + dx];
        out[size_t(y) * w + x] = s / 9;
      }
    return out;
  };
  const std::vector<int> ga = blurred(a), gb = blurred(b);
  int differ = 0;
  for (size_t i = 0; i < ga.size(); ++i) differ += std::abs(ga[i] - gb[i]) > 64;
  return double(differ) / (double(w) * h);
}

// LibreOffice wrote the metafiles from three drawings and rendered each EMF to
// a PNG at 96 pixels per inch, two of them also at twice and four times that
// (trimmed to the drawing). Our playback at the same size, trimmed the same
// way, must look the same: the ink boxes
// agree within a few pixels and few pixels differ after a blur. The WMFs draw
// thick lines as outline polygons and text without advances; the rotated
// drawing's curve and turned texts land a pixel or two apart in the two
// renderers; those get the wider limits.
TEST(EmfPlayer, FilesFromLibreOfficeLookLikeItsOwnRendering) {
  const std::string dir = std::string(ORV_TEST_DATA_DIR) + "/emf/";
  const struct {
    const char* name;
    const char* png;
    Size size;  // the frame or bounding box at 96 pixels per inch
    int box;
    double differ;
    int scale = 1;  // LibreOffice's rendering is of the picture this many times enlarged
  } files[] = {
      {"shapes.emf", "shapes.png", {373, 272}, 2, 0.03},
      {"shapes.wmf", "shapes.png", {373, 272}, 4, 0.05},
      {"rotated.emf", "rotated.png", {0, 0}, 4, 0.06},
      {"rotated.wmf", "rotated.png", {0, 0}, 4, 0.05},
      // Enlarged, hairlines stay one pixel and wide lines grow. The pens
      // drawing has nothing else, so it gets the tight limit.
      {"shapes.emf", "shapes2.png", {373, 272}, 4, 0.035, 2},
      {"shapes.emf", "shapes4.png", {373, 272}, 8, 0.04, 4},
      {"pens.emf", "pens.png", {718, 1047}, 2, 0.002},
      {"pens.emf", "pens2.png", {718, 1047}, 4, 0.002, 2},
      {"pens.emf", "pens4.png", {718, 1047}, 8, 0.002, 4},
  };
  for (const auto& f : files) {
    const QImage ref(QString::fromStdString(dir + f.png));
    ASSERT_FALSE(ref.isNull()) << f.png;
    const QImage refInk = ref.copy(inkBox(ref));
    const auto bytes = emftest::readFile(dir + f.name);
    const Size size = metafileSize(bytes);
    if (f.size.cx) {
      EXPECT_NEAR(size.cx, f.size.cx, 1) << f.name;
      EXPECT_NEAR(size.cy, f.size.cy, 1) << f.name;
    }
    const int32_t w = size.cx * f.scale, h = size.cy * f.scale;
    const QImage ours = paintBytes({0, 0, w + 20, h + 20}, bytes, {10, 10, 10 + w, 10 + h});
    const QImage ink = ours.copy(inkBox(ours));
    EXPECT_NEAR(ink.width(), refInk.width(), f.box) << f.png;
    EXPECT_NEAR(ink.height(), refInk.height(), f.box) << f.png;
    const double d = blurredDifference(ink, refInk);
    EXPECT_LE(d, f.differ) << f.png;
    if (d > f.differ) ink.save(QString("/tmp/emf_ours_%1").arg(f.png));
  }
}

}  // namespace
}  // namespace orv
