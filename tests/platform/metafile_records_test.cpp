#include "platform/metafile_records.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <map>

#include "platform/bmp.h"
#include "platform/emf_canvas.h"
#include "platform/emf_test_util.h"

namespace orv {
namespace {

using namespace emf;
using namespace metafile;
using emftest::add16;
using emftest::add32;

// Every record of a recording, by type, decoded through the reader's own walk.
std::multimap<uint32_t, Rec> walk(std::span<const uint8_t> emf) {
  std::multimap<uint32_t, Rec> out;
  for (size_t pos = 0, index = 0; pos < emf.size(); ++index) {
    const Rec r = nextEmfRecord(emf, pos, index);
    out.emplace(r.type, r);
    pos += r.d.size();
  }
  return out;
}

// The one record of a type; an empty one, which no decoder accepts, when
// there is none.
const Rec& only(const std::multimap<uint32_t, Rec>& recs, uint32_t type) {
  static const Rec none{};
  EXPECT_EQ(recs.count(type), 1u) << "type " << type;
  const auto it = recs.find(type);
  return it == recs.end() ? none : it->second;
}

// What the writer records for a shape, pen, brush or font reads back as the
// same values through the reader: the two agree on every field's place.
TEST(MetafileRecords, ShapesAndObjectsTheWriterRecordsReadBackAsDrawn) {
  EmfCanvas c({0, 0, 1000, 800}, 120);
  c.setPen({rgb(10, 20, 30), 3, PenStyle::Dash});
  c.setBrush({rgb(40, 50, 60), BrushStyle::Solid});
  FontSpec font;
  font.face = "Courier New";
  font.height = -17;
  font.weight = 700;
  font.italic = true;
  font.strikeOut = true;
  font.charset = 204;
  font.escapement = 450;
  font.orientation = 450;
  c.setFont(font);
  c.rectangle({1, 2, 30, 40});
  c.roundRect({5, 6, 70, 80}, 9, 11);
  c.arc({10, 10, 50, 50}, {50, 30}, {30, 10});
  const Point small[] = {{1, 2}, {300, -4}, {5, 600}};
  c.polygon(small);
  const Point big[] = {{1, 2}, {70000, -70000}};
  c.polyline(big);
  c.moveTo(7, 8);
  c.lineTo(9, 10);
  c.textOut(20, 30, "x");  // makes the font
  const std::vector<uint8_t> emf = c.finish();
  const auto recs = walk(emf);

  const EmfHeader h = decodeEmfHeader(emf);
  EXPECT_EQ(h.size, kHeaderSize);
  // The frame in 0.01 mm at 120 pixels per inch.
  EXPECT_EQ(h.frame, (Rect{0, 0, int32_t(std::lround(1000 * 2540.0 / 120)),
                           int32_t(std::lround(800 * 2540.0 / 120))}));
  EXPECT_GT(h.handles, 3);
  // The reference device has the canvas's pixels per inch, both ways of saying its size.
  ASSERT_GT(h.deviceMicrometres.cx, 0);
  EXPECT_NEAR(h.devicePixels.cx * 25400.0 / h.deviceMicrometres.cx, 120, 1e-9);
  EXPECT_NEAR(h.devicePixels.cy * 25.4 / h.deviceMillimetres.cy, 120, 1e-9);

  const EmfCreatePen pen = emfCreatePen(only(recs, EMR_CREATEPEN));
  EXPECT_EQ(pen.style, PS_DASH);
  EXPECT_EQ(pen.width, 3);
  EXPECT_EQ(pen.color, rgb(10, 20, 30));
  const EmfCreateBrush brush = emfCreateBrush(only(recs, EMR_CREATEBRUSHINDIRECT));
  EXPECT_EQ(brush.style, BS_SOLID);
  EXPECT_EQ(brush.color, rgb(40, 50, 60));
  EXPECT_NE(brush.index, pen.index);
  const FontRecord f = emfCreateFont(only(recs, EMR_EXTCREATEFONTINDIRECTW));
  EXPECT_EQ(f.height, -17);
  EXPECT_EQ(f.weight, 700);
  EXPECT_TRUE(f.italic);
  EXPECT_FALSE(f.underline);
  EXPECT_TRUE(f.strikeOut);
  EXPECT_EQ(f.charset, 204);
  EXPECT_EQ(f.escapement, 450);
  EXPECT_EQ(f.orientation, 450);
  EXPECT_EQ(f.face, "Courier New");
  // Selecting names the objects just made.
  std::vector<uint32_t> selected;
  for (auto [it, end] = recs.equal_range(EMR_SELECTOBJECT); it != end; ++it)
    selected.push_back(emfValue(it->second));
  for (uint32_t made : {pen.index, brush.index, f.index})
    EXPECT_NE(std::find(selected.begin(), selected.end(), made), selected.end()) << made;

  EXPECT_EQ(emfBox(only(recs, EMR_RECTANGLE)), (Rect{1, 2, 30, 40}));
  const RoundRectRecord rr = emfRoundRect(only(recs, EMR_ROUNDRECT));
  EXPECT_EQ(rr.box, (Rect{5, 6, 70, 80}));
  EXPECT_EQ(rr.corner, (Size{9, 11}));
  const ArcRecord arc = emfArc(only(recs, EMR_ARC));
  EXPECT_EQ(arc.box, (Rect{10, 10, 50, 50}));
  EXPECT_EQ(arc.start, (Point{50, 30}));
  EXPECT_EQ(arc.end, (Point{30, 10}));

  const std::vector<DPoint> poly = emfPolyPoints(only(recs, EMR_POLYGON16), true);
  ASSERT_EQ(poly.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(poly[i].x, small[i].x);
    EXPECT_EQ(poly[i].y, small[i].y);
  }
  const std::vector<DPoint> line = emfPolyPoints(only(recs, EMR_POLYLINE), false);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(line[1].x, 70000);
  EXPECT_EQ(line[1].y, -70000);
  EXPECT_EQ(emfPoint(only(recs, EMR_MOVETOEX)), (Point{7, 8}));
  EXPECT_EQ(emfPoint(only(recs, EMR_LINETO)), (Point{9, 10}));
}

TEST(MetafileRecords, TextFillsClipsAndImagesTheWriterRecordsReadBackAsDrawn) {
  EmfCanvas c({0, 0, 500, 500});
  c.setBrush({rgb(1, 2, 3), BrushStyle::Solid});
  c.fillRect({10, 20, 30, 40});
  c.setBkColor(rgb(200, 100, 50));
  c.setTextColor(rgb(5, 6, 7));
  c.setBkMode(BkMode::Transparent);
  c.setTextCharacterExtra(2);
  const Rect clip{40, 50, 140, 90};
  const std::vector<int32_t> advances = c.charAdvances("Ol\xE1");
  c.textOut(45, 55, "Ol\xE1", &clip, etoClipped | etoOpaque);
  c.save();
  c.intersectClipRect({1, 2, 300, 400});
  c.excludeClipRect({5, 6, 7, 8});
  c.restore();
  c.setClipRect(std::nullopt);
  QImage img(3, 2, QImage::Format_RGB32);
  img.fill(qRgb(9, 8, 7));
  c.stretchImage({100, 110, 106, 114}, img);
  const std::vector<uint8_t> emf = c.finish();
  const auto recs = walk(emf);

  const EmfFillRegion fill = emfFillRegion(only(recs, EMR_FILLRGN));
  ASSERT_EQ(fill.rects.size(), 1u);
  EXPECT_EQ(fill.rects[0], (Rect{10, 20, 30, 40}));
  EXPECT_EQ(fill.brush, emfCreateBrush(only(recs, EMR_CREATEBRUSHINDIRECT)).index);
  EXPECT_EQ(emfValue(only(recs, EMR_SETBKCOLOR)), rgb(200, 100, 50));
  EXPECT_EQ(emfValue(only(recs, EMR_SETTEXTCOLOR)), rgb(5, 6, 7));
  EXPECT_EQ(emfValue(only(recs, EMR_SETBKMODE)), TRANSPARENT);

  const Rec& textRec = only(recs, EMR_EXTTEXTOUTW);
  const EmfExtTextOut t = emfExtTextOut(textRec);
  EXPECT_TRUE(t.wide);
  EXPECT_EQ(t.reference, (Point{45, 55}));
  EXPECT_EQ(t.unicode(), QString::fromUtf8("Olá"));
  EXPECT_EQ(t.options, uint32_t(ETO_CLIPPED | ETO_OPAQUE));
  EXPECT_EQ(t.rect, clip);
  EXPECT_EQ(t.dx, advances);  // the canvas's advances, extra included
  // What search reads of the same record agrees with what drawing reads.
  const EmfExtTextOut bare = emfExtTextOut(textRec, false);
  EXPECT_EQ(bare.bounds, t.bounds);
  EXPECT_EQ(bare.unicode(), t.unicode());
  EXPECT_TRUE(bare.dx.empty());

  EXPECT_EQ(emfBox(only(recs, EMR_INTERSECTCLIPRECT)), (Rect{1, 2, 300, 400}));
  EXPECT_EQ(emfBox(only(recs, EMR_EXCLUDECLIPRECT)), (Rect{5, 6, 7, 8}));
  EXPECT_EQ(int32_t(emfValue(only(recs, EMR_RESTOREDC))), -1);
  const EmfClipRegion none = emfClipRegion(only(recs, EMR_EXTSELECTCLIPRGN));
  EXPECT_TRUE(none.empty);
  EXPECT_EQ(none.mode, RGN_COPY);

  const EmfDibBits dib = emfDibBits(only(recs, EMR_STRETCHDIBITS));
  EXPECT_EQ(dib.dest, (Point{100, 110}));
  EXPECT_EQ(dib.destWidth, 6);
  EXPECT_EQ(dib.destHeight, 4);
  EXPECT_EQ(dib.srcWidth, 3);
  EXPECT_EQ(dib.srcHeight, 2);
  EXPECT_EQ(dib.rop, SRCCOPY);
  ASSERT_TRUE(dib.dib.present);
  const DibHeader dh = parseDibHeader(dib.dib.info);
  const QImage back = decodeDib(dh, dib.dib.info, dib.dib.bits);
  EXPECT_EQ(back.pixel(2, 1), qRgb(9, 8, 7));
}

// The 16-bit records keep their parameters in reverse: bottom before top,
// y before x. Built here from the published layouts.
TEST(MetafileRecords, WmfParametersReadInTheirFileOrder) {
  using namespace wmf;
  auto rec = [](uint16_t fn, std::vector<uint8_t> body) {
    std::vector<uint8_t> b;
    add32(b, uint32_t(3 + (body.size() + 1) / 2));
    add16(b, fn);
    b.insert(b.end(), body.begin(), body.end());
    if (b.size() % 2) b.push_back(0);
    return b;
  };
  auto words = [](std::initializer_list<int16_t> ws) {
    std::vector<uint8_t> b;
    for (int16_t w : ws) add16(b, uint16_t(w));
    return b;
  };
  auto decode = [](const std::vector<uint8_t>& bytes) { return *nextWmfRecord(bytes, 0, 3); };

  const std::vector<uint8_t> box = rec(META_RECTANGLE, words({40, 30, 20, 10}));
  EXPECT_EQ(wmfBox(decode(box)), (Rect{10, 20, 30, 40}));
  const std::vector<uint8_t> move = rec(META_MOVETO, words({-5, 7}));
  EXPECT_EQ(wmfPoint(decode(move)).x, 7);
  EXPECT_EQ(wmfPoint(decode(move)).y, -5);
  const ArcRecord arc = wmfArc(decode(rec(META_PIE, words({1, 2, 3, 4, 50, 60, 10, 20}))));
  EXPECT_EQ(arc.box, (Rect{20, 10, 60, 50}));
  EXPECT_EQ(arc.start, (Point{4, 3}));
  EXPECT_EQ(arc.end, (Point{2, 1}));

  // ExtTextOut: y, x, count, options, the rectangle, the text padded to a
  // word, then one advance per character.
  std::vector<uint8_t> body = words({100, 200, 3, int16_t(ETO_CLIPPED), 1, 2, 3, 4});
  for (char ch : std::string("abc")) body.push_back(uint8_t(ch));
  body.push_back(0);
  const std::vector<uint8_t> adv = words({7, 8, 9});
  body.insert(body.end(), adv.begin(), adv.end());
  const WmfTextOut t = wmfExtTextOut(decode(rec(META_EXTTEXTOUT, body)));
  EXPECT_EQ(t.reference.x, 200);
  EXPECT_EQ(t.reference.y, 100);
  EXPECT_EQ(t.options, ETO_CLIPPED);
  ASSERT_TRUE(t.rect);
  EXPECT_EQ(*t.rect, (Rect{1, 2, 3, 4}));
  EXPECT_EQ(std::string(t.chars.begin(), t.chars.end()), "abc");
  EXPECT_EQ(t.dx, (std::vector<int32_t>{7, 8, 9}));

  // A DIBBITBLT of no bitmap is a pattern fill: rop, a reserved word, the
  // source y and x, then the destination height, width, y and x.
  std::vector<uint8_t> blt;
  add32(blt, PATCOPY);
  const std::vector<uint8_t> rest = words({0, 5, 6, 44, 33, 22, 11});
  blt.insert(blt.end(), rest.begin(), rest.end());
  const WmfBlt fillBlt = wmfBlt(decode(rec(META_DIBBITBLT, blt)));
  EXPECT_FALSE(fillBlt.hasBitmap);
  EXPECT_EQ(fillBlt.rop, PATCOPY);
  EXPECT_EQ(fillBlt.dest.x, 11);
  EXPECT_EQ(fillBlt.dest.y, 22);
  EXPECT_EQ(fillBlt.destSize.x, 33);
  EXPECT_EQ(fillBlt.destSize.y, 44);
}

TEST(MetafileRecords, DamagedRecordsNameThemselvesAndOptionalPartsStayOptional) {
  // A field beyond the record's end is an error naming the record.
  std::vector<uint8_t> shortRect;
  add32(shortRect, EMR_RECTANGLE);
  add32(shortRect, 16);
  add32(shortRect, 1);
  add32(shortRect, 2);
  const Rec r = nextEmfRecord(shortRect, 0, 5);
  try {
    emfBox(r);
    FAIL() << "a short rectangle was read";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("record 5 (type 43)"), std::string::npos) << e.what();
  }
  // A size that is not a multiple of four, or beyond the bytes, is refused.
  std::vector<uint8_t> odd = shortRect;
  odd[4] = 15;
  EXPECT_THROW(nextEmfRecord(odd, 0, 0), Error);
  odd[4] = 20;
  EXPECT_THROW(nextEmfRecord(odd, 0, 0), Error);

  // A pattern brush whose bitmap lies outside the record still makes a brush.
  std::vector<uint8_t> brush;
  add32(brush, EMR_CREATEDIBPATTERNBRUSHPT);
  add32(brush, 32);
  for (uint32_t v : {3u, 0u, 1000u, 40u, 1040u, 4u}) add32(brush, v);
  const EmfPatternBrush b = emfPatternBrush(nextEmfRecord(brush, 0, 0));
  EXPECT_EQ(b.index, 3u);
  EXPECT_FALSE(b.readable);

  // Text advances that do not fit are left out; the text is still read.
  EmfCanvas c({0, 0, 100, 100});
  c.textOut(1, 2, "ab");
  std::vector<uint8_t> emf = c.finish();
  for (size_t pos = 0, index = 0; pos < emf.size(); ++index) {
    Rec rec = nextEmfRecord(emf, pos, index);
    if (rec.type == EMR_EXTTEXTOUTW) {
      std::vector<uint8_t> copy(rec.d.begin(), rec.d.end());
      copy[72] = 0xF0;  // the advances' offset, now far beyond the record
      const Rec moved{copy, rec.type, rec.index};
      const EmfExtTextOut t = emfExtTextOut(moved);
      EXPECT_TRUE(t.dx.empty());
      EXPECT_EQ(t.unicode(), QString("ab"));
    }
    pos += rec.d.size();
  }
}

}  // namespace
}  // namespace orv
