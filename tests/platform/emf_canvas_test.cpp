#include "platform/emf_canvas.h"

#include <gtest/gtest.h>

#include <QImage>
#include <map>
#include <set>

#include "platform/bmp.h"
#include "platform/emf_player.h"
#include "platform/emf_records.h"
#include "platform/emf_test_util.h"
#include "platform/error.h"

namespace orv {
namespace {

using namespace emf;
using emftest::ofType;
using emftest::Record;
using emftest::records;

std::vector<int32_t> dxOf(const Record& r) {
  const uint32_t n = r.u(9), offDx = r.u(16);
  std::vector<int32_t> dx;
  for (uint32_t i = 0; i < n; ++i) dx.push_back(emftest::i32(r.bytes, offDx + i * 4));
  return dx;
}

std::u16string textOf(const Record& r) {
  const uint32_t n = r.u(9), off = r.u(10);
  std::u16string s;
  for (uint32_t i = 0; i < n; ++i) s.push_back(char16_t(emftest::u16(r.bytes, off + i * 2)));
  return s;
}

Rect boundsOf(const Record& r) {
  return {r.i(0), r.i(1), r.i(2), r.i(3)};
}

TEST(EmfCanvas, HeaderDescribesTheRecording) {
  EmfCanvas c({0, 0, 794, 1123}, 96);
  c.setDescription(u"Orvalen", u"page");
  c.rectangle({10, 20, 110, 70});
  c.setPen({rgb(255, 0, 0), 3, PenStyle::Solid, PenMode::Copy});
  c.rectangle({10, 20, 110, 70});
  const std::vector<uint8_t> emf = c.finish();
  const auto recs = records(emf);
  ASSERT_GE(recs.size(), 3u);
  const Record& h = recs.front();
  EXPECT_EQ(h.type, EMR_HEADER);
  EXPECT_EQ(emftest::u32(emf, 40), 0x464D4520u);
  EXPECT_EQ(emftest::u32(emf, 48), emf.size());
  EXPECT_EQ(emftest::u32(emf, 52), recs.size());
  // Frame: the canvas bounds in 0.01 mm at 96 pixels per inch.
  EXPECT_EQ(h.i(4), 0);
  EXPECT_EQ(h.i(6), std::lround(794 * 2540.0 / 96));
  EXPECT_EQ(h.i(7), std::lround(1123 * 2540.0 / 96));
  // The reference device has 96 pixels per inch.
  const double pxPerInch = emftest::i32(emf, 72) / (emftest::i32(emf, 80) / 25.4);
  EXPECT_DOUBLE_EQ(pxPerInch, 96.0);
  // Bounds: the drawn area, inclusive, widened by half the 3-pixel pen.
  EXPECT_EQ(boundsOf(h), (Rect{9, 19, 110, 70}));
  // Handles: index 0 plus the objects alive at the same time.
  uint32_t maxIndex = 0;
  for (const Record& r : recs)
    if (r.type == EMR_CREATEPEN || r.type == EMR_CREATEBRUSHINDIRECT ||
        r.type == EMR_EXTCREATEFONTINDIRECTW)
      maxIndex = std::max(maxIndex, r.u(0));
  EXPECT_EQ(emftest::u16(emf, 56), maxIndex + 1);
  // Description: two strings, application and title.
  const uint32_t n = emftest::u32(emf, 60), off = emftest::u32(emf, 64);
  ASSERT_EQ(n, 7u + 1 + 4 + 2);
  EXPECT_EQ(emftest::u16(emf, off), u'O');
  EXPECT_EQ(emftest::u16(emf, off + 16), u'p');
  const Record& eof = recs.back();
  EXPECT_EQ(eof.type, EMR_EOF);
  EXPECT_EQ(eof.bytes.size(), 20u);
  EXPECT_EQ(eof.u(2), 20u);
  // finish() is idempotent.
  EXPECT_EQ(c.finish(), emf);
  EXPECT_THROW(c.rectangle({0, 0, 1, 1}), Error);
}

// Replays the object records against a table the way GDI keeps it: every
// creation into a free slot, selection only of live objects, deletion only of
// unselected ones, nothing alive at the end.
TEST(EmfCanvas, ObjectLifecycleIsBalanced) {
  EmfCanvas c({0, 0, 400, 300});
  FontSpec f;
  for (int i = 0; i < 5; ++i) {
    c.setPen({rgb(uint8_t(i * 40), 0, 0), 1 + i % 2, PenStyle::Solid, PenMode::Copy});
    c.setBrush({rgb(0, uint8_t(i * 30), 0), i == 3 ? BrushStyle::Clear : BrushStyle::Solid});
    c.rectangle({i, i, 50 + i, 50 + i});
    if (i == 1) c.save();
    f.height = -10 - i;
    c.setFont(f);
    c.textOut(5, 5 + i * 20, "abc");
    c.fillRect({0, 0, 5, 5});
    if (i == 3) c.restore();
  }
  c.save();
  c.setPen({clBlack, 2, PenStyle::Dash, PenMode::Copy});
  c.lineTo(100, 100);
  const auto recs = records(c.finish());

  std::map<uint32_t, uint32_t> alive;  // index -> type of object
  std::vector<std::map<int, uint32_t>> selectedStack{{}};
  auto kindOf = [](uint32_t type) {
    return type == EMR_EXTCREATEFONTINDIRECTW ? 2 : type == EMR_CREATEPEN ? 0 : 1;
  };
  std::set<uint32_t> everSelected;
  for (const Record& r : recs) {
    switch (r.type) {
      case EMR_CREATEPEN:
      case EMR_CREATEBRUSHINDIRECT:
      case EMR_EXTCREATEFONTINDIRECTW:
        EXPECT_FALSE(alive.count(r.u(0))) << "slot reused while alive";
        EXPECT_NE(r.u(0), 0u);
        alive[r.u(0)] = r.type;
        break;
      case EMR_SELECTOBJECT: {
        const uint32_t h = r.u(0);
        if (h & kStockObject) {
          const uint32_t n = h & ~kStockObject;
          selectedStack.back()[n == BLACK_PEN || n == NULL_PEN ? 0 : n == SYSTEM_FONT ? 2 : 1] = h;
        } else {
          ASSERT_TRUE(alive.count(h)) << "selects a dead object";
          selectedStack.back()[kindOf(alive[h])] = h;
          everSelected.insert(h);
        }
        break;
      }
      case EMR_SAVEDC:
        selectedStack.push_back(selectedStack.back());
        break;
      case EMR_RESTOREDC:
        ASSERT_GT(selectedStack.size(), 1u);
        selectedStack.pop_back();
        break;
      case EMR_DELETEOBJECT: {
        const uint32_t h = r.u(0);
        ASSERT_TRUE(alive.count(h)) << "deletes a dead object";
        for (const auto& level : selectedStack)
          for (const auto& [kind, sel] : level) EXPECT_NE(sel, h) << "deletes a selected object";
        alive.erase(h);
        break;
      }
      default:
        break;
    }
  }
  EXPECT_TRUE(alive.empty());
  EXPECT_EQ(selectedStack.size(), 1u);
  EXPECT_GE(everSelected.size(), 3u);
}

TEST(EmfCanvas, EmitsStateOnlyWhenItChanges) {
  EmfCanvas c({0, 0, 100, 100});
  c.rectangle({0, 0, 10, 10});
  c.rectangle({5, 5, 20, 20});
  c.setPen(c.pen());  // same pen again
  c.ellipse({0, 0, 30, 30});
  c.setPenMode(PenMode::Xor);
  c.lineTo(50, 50);
  c.setPenMode(PenMode::Copy);
  c.lineTo(60, 50);
  const auto recs = records(c.finish());
  EXPECT_EQ(ofType(recs, EMR_CREATEPEN).size(), 1u);
  EXPECT_EQ(ofType(recs, EMR_CREATEBRUSHINDIRECT).size(), 1u);
  const auto rops = ofType(recs, EMR_SETROP2);
  ASSERT_EQ(rops.size(), 2u);
  EXPECT_EQ(rops[0].u(0), R2_XORPEN);
  EXPECT_EQ(rops[1].u(0), R2_COPYPEN);
  // The first line starts at the origin, which needs no MOVETOEX; the second
  // continues from where the first ended.
  EXPECT_EQ(ofType(recs, EMR_MOVETOEX).size(), 0u);
  const auto lines = ofType(recs, EMR_LINETO);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].i(0), 60);
}

TEST(EmfCanvas, ShapesKeepTheirExactCoordinates) {
  EmfCanvas c({0, 0, 1000, 1000});
  c.roundRect({1, 2, 30, 40}, 6, 8);
  c.arc({10, 10, 50, 50}, {50, 30}, {30, 10});
  c.pie({10, 10, 50, 50}, {10, 30}, {30, 50});
  const Point small[] = {{1, 2}, {300, 4}, {5, 600}};
  c.polygon(small);
  const Point big[] = {{1, 2}, {70000, 4}};
  c.polyline(big);
  c.moveTo(7, 8);
  c.lineTo(9, 10);
  const auto recs = records(c.finish());
  const auto rr = ofType(recs, EMR_ROUNDRECT);
  ASSERT_EQ(rr.size(), 1u);
  EXPECT_EQ(boundsOf(rr[0]), (Rect{1, 2, 30, 40}));
  EXPECT_EQ(rr[0].i(4), 6);
  EXPECT_EQ(rr[0].i(5), 8);
  const auto arcs = ofType(recs, EMR_ARC);
  ASSERT_EQ(arcs.size(), 1u);
  EXPECT_EQ(arcs[0].i(4), 50);
  EXPECT_EQ(arcs[0].i(7), 10);
  ASSERT_EQ(ofType(recs, EMR_PIE).size(), 1u);
  const auto poly = ofType(recs, EMR_POLYGON16);
  ASSERT_EQ(poly.size(), 1u);
  EXPECT_EQ(poly[0].u(4), 3u);
  EXPECT_EQ(emftest::u16(poly[0].bytes, 28 + 4 * 2), 5);
  EXPECT_EQ(int16_t(emftest::u16(poly[0].bytes, 28 + 4 * 2 + 2)), 600);
  // A coordinate beyond 16 bits needs the 32-bit form.
  const auto line32 = ofType(recs, EMR_POLYLINE);
  ASSERT_EQ(line32.size(), 1u);
  EXPECT_EQ(line32[0].i(4 + 1 + 2), 70000);
  const auto moves = ofType(recs, EMR_MOVETOEX);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].i(0), 7);
}

TEST(EmfCanvas, FillRectIsAOneRectangleRegionWithTheBrush) {
  EmfCanvas c({0, 0, 100, 100});
  c.setBrush({rgb(1, 2, 3), BrushStyle::Solid});
  c.fillRect({10, 20, 30, 40});
  c.setBrushStyle(BrushStyle::Clear);
  c.fillRect({0, 0, 50, 50});  // a hollow brush fills nothing
  const auto recs = records(c.finish());
  const auto fills = ofType(recs, EMR_FILLRGN);
  ASSERT_EQ(fills.size(), 1u);
  const Record& f = fills[0];
  EXPECT_EQ(boundsOf(f), (Rect{10, 20, 29, 39}));
  const auto brushes = ofType(recs, EMR_CREATEBRUSHINDIRECT);
  ASSERT_EQ(brushes.size(), 1u);
  EXPECT_EQ(f.u(5), brushes[0].u(0));
  EXPECT_EQ(brushes[0].u(2), rgb(1, 2, 3));
  EXPECT_EQ(f.u(8), 1u);  // one rectangle
  EXPECT_EQ(f.i(14), 10);
  EXPECT_EQ(f.i(17), 40);
}

TEST(EmfCanvas, TextRecordCarriesUnicodeAdvancesAndBounds) {
  EmfCanvas c({0, 0, 500, 500});
  FontSpec f;
  f.face = "Arial";
  f.height = -16;
  f.weight = 700;
  f.italic = true;
  f.underline = true;
  f.charset = 0;
  c.setFont(f);
  c.setTextColor(rgb(10, 20, 30));
  c.setBkMode(BkMode::Transparent);
  c.setTextCharacterExtra(2);
  c.setTextJustification(7, 2);
  const std::string text = "Ol\xE1 a b";  // "Olá a b" in Windows-1252
  const Size extent = c.textExtent(text);
  const std::vector<int32_t> adv = c.charAdvances(text);
  const TextMetrics tm = c.textMetrics();
  const Rect clip{40, 50, 90, 60};
  c.textOut(40, 50, text, &clip, etoClipped | etoOpaque | etoRtlReading);
  const auto recs = records(c.finish());

  const auto fonts = ofType(recs, EMR_EXTCREATEFONTINDIRECTW);
  ASSERT_EQ(fonts.size(), 1u);
  const Record& lf = fonts[0];
  EXPECT_EQ(lf.i(1), -16);
  EXPECT_EQ(lf.i(5), 700);
  EXPECT_EQ(lf.bytes[32], 1);  // italic
  EXPECT_EQ(lf.bytes[33], 1);  // underline
  EXPECT_EQ(lf.bytes[34], 0);
  EXPECT_EQ(lf.bytes[35], 0);  // charset
  EXPECT_EQ(emftest::u16(lf.bytes, 40), u'A');
  EXPECT_EQ(ofType(recs, EMR_SETTEXTCOLOR).at(0).u(0), rgb(10, 20, 30));
  EXPECT_EQ(ofType(recs, EMR_SETBKMODE).at(0).u(0), TRANSPARENT);

  const auto texts = ofType(recs, EMR_EXTTEXTOUTW);
  ASSERT_EQ(texts.size(), 1u);
  const Record& t = texts[0];
  EXPECT_EQ(textOf(t), u"Ol\u00E1 a b");
  EXPECT_EQ(t.i(7), 40);  // reference point
  EXPECT_EQ(t.i(8), 50);
  EXPECT_EQ(t.u(11), ETO_CLIPPED | ETO_OPAQUE | ETO_RTLREADING);
  EXPECT_EQ((Rect{t.i(12), t.i(13), t.i(14), t.i(15)}), clip);
  const std::vector<int32_t> dx = dxOf(t);
  EXPECT_EQ(dx, adv);
  int32_t sum = 0;
  for (int32_t d : dx) sum += d;
  EXPECT_EQ(sum, extent.cx);
  // Both blanks take their share of the 7 justification pixels, the first one more.
  EXPECT_EQ(dx[3] - dx[5], 1);
  // Bounds: the text cell (clipped) united with the opaque rectangle, inclusive.
  // The cell is clipped to the rectangle, which is then painted whole.
  ASSERT_GT(tm.height, 10);
  EXPECT_EQ(boundsOf(t), (Rect{40, 50, 89, 59}));
}

TEST(EmfCanvas, TextBoundsFollowTheEscapementAndCharset) {
  EmfCanvas c({0, 0, 500, 500});
  FontSpec f;
  f.height = -20;
  f.escapement = 900;  // reads upwards
  f.charset = 204;
  c.setFont(f);
  const std::string text = "\xC0\xC1";  // Cyrillic A, Be in Windows-1251
  const int32_t w = c.textWidth(text), h = c.textMetrics().height;
  c.textOut(100, 200, text);
  const auto recs = records(c.finish());
  const auto texts = ofType(recs, EMR_EXTTEXTOUTW);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(textOf(texts[0]), u"\u0410\u0411");
  // Turned a quarter counter-clockwise about the reference point: the cell
  // goes up by its width and right by its height.
  EXPECT_EQ(boundsOf(texts[0]), (Rect{100, 200 - w, 100 + h - 1, 199}));
  EXPECT_EQ(ofType(recs, EMR_EXTCREATEFONTINDIRECTW).at(0).i(3), 900);
}

TEST(EmfCanvas, ClippingAndSavedStatesBecomeRecords) {
  EmfCanvas c({0, 0, 100, 100});
  c.save();
  c.intersectClipRect({10, 10, 90, 90});
  c.excludeClipRect({20, 20, 30, 30});
  c.setPenColor(rgb(255, 0, 0));
  c.rectangle({0, 0, 5, 5});
  c.restore();
  c.rectangle({0, 0, 5, 5});  // the restored context holds the first pen again
  c.setClipRect(Rect{1, 2, 3, 4});
  c.setClipRect(std::nullopt);
  const auto recs = records(c.finish());
  std::vector<uint32_t> types;
  for (const Record& r : recs)
    if (r.type == EMR_SAVEDC || r.type == EMR_RESTOREDC || r.type == EMR_INTERSECTCLIPRECT ||
        r.type == EMR_EXCLUDECLIPRECT || r.type == EMR_EXTSELECTCLIPRGN)
      types.push_back(r.type);
  EXPECT_EQ(types, (std::vector<uint32_t>{EMR_SAVEDC, EMR_INTERSECTCLIPRECT, EMR_EXCLUDECLIPRECT,
                                          EMR_RESTOREDC, EMR_EXTSELECTCLIPRGN,
                                          EMR_INTERSECTCLIPRECT, EMR_EXTSELECTCLIPRGN}));
  const auto ex = ofType(recs, EMR_EXCLUDECLIPRECT);
  EXPECT_EQ(boundsOf(ex[0]), (Rect{20, 20, 30, 30}));
  EXPECT_EQ(ofType(recs, EMR_RESTOREDC)[0].i(0), -1);
  // The pen from before the save was not created again after the restore.
  EXPECT_EQ(ofType(recs, EMR_CREATEPEN).size(), 2u);
  EXPECT_TRUE(c.state().clip == std::nullopt);
}

TEST(EmfCanvas, ImagesBecomeDibsThatDecodeToTheSamePixels) {
  QImage img(3, 2, QImage::Format_RGB32);
  img.setPixel(0, 0, qRgb(255, 0, 0));
  img.setPixel(1, 0, qRgb(0, 255, 0));
  img.setPixel(2, 0, qRgb(0, 0, 255));
  img.setPixel(0, 1, qRgb(1, 2, 3));
  img.setPixel(1, 1, qRgb(250, 251, 252));
  img.setPixel(2, 1, qRgb(0, 0, 0));
  EmfCanvas c({0, 0, 100, 100});
  c.stretchImage({10, 20, 40, 60}, img);
  const auto recs = records(c.finish());
  const auto dibs = ofType(recs, EMR_STRETCHDIBITS);
  ASSERT_EQ(dibs.size(), 1u);
  const Record& d = dibs[0];
  EXPECT_EQ(d.i(4), 10);
  EXPECT_EQ(d.i(5), 20);
  EXPECT_EQ(d.i(8), 3);  // source size
  EXPECT_EQ(d.i(9), 2);
  EXPECT_EQ(d.u(15), SRCCOPY);
  EXPECT_EQ(d.i(16), 30);  // destination size
  EXPECT_EQ(d.i(17), 40);
  const auto info = d.bytes.subspan(d.u(10), d.u(11));
  EXPECT_EQ(emftest::u16(info, 14), 24);  // bits per pixel
  const QImage back = decodeDib(info, d.bytes.subspan(d.u(12), d.u(13)));
  ASSERT_EQ(back.size(), img.size());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(back.pixel(x, y), img.pixel(x, y)) << x << "," << y;
}

// ---- enumeration of text records ----

TEST(EmfTextRuns, ComeInRecordOrderWithTheirIndexAndCodePage) {
  EmfCanvas c({0, 0, 300, 300});
  c.textOut(10, 10, "Total");
  c.rectangle({0, 0, 10, 10});
  FontSpec f;
  f.charset = 204;
  c.setFont(f);
  c.textOut(20, 40, "\xC8\xD2\xCE\xC3");  // "ИТОГ" in Windows-1251
  const std::vector<uint8_t> emf = c.finish();
  const auto recs = records(emf);
  std::vector<size_t> indices;
  for (size_t i = 0; i < recs.size(); ++i)
    if (recs[i].type == EMR_EXTTEXTOUTW) indices.push_back(i);

  const std::vector<EmfTextRun> runs = enumerateTextRuns(emf);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "Total");
  EXPECT_EQ(runs[0].recordIndex, indices[0]);
  EXPECT_EQ(runs[0].reference, (Point{10, 10}));
  EXPECT_EQ(runs[0].bounds, boundsOf(recs[indices[0]]));
  EXPECT_EQ(runs[1].text, "\xC8\xD2\xCE\xC3");
  EXPECT_EQ(runs[1].charset, 204);
  EXPECT_EQ(runs[1].recordIndex, indices[1]);
  EXPECT_EQ(runs[1].recordType, EMR_EXTTEXTOUTW);

  // The visitor stops when asked.
  int seen = 0;
  forEachTextRun(emf, [&](const EmfTextRun&) { return ++seen < 1; });
  EXPECT_EQ(seen, 1);
}

TEST(EmfTextRuns, DefaultCharsetFollowsTheHint) {
  // A 16-bit text record with Cyrillic text and no font selected.
  std::vector<uint8_t> body;
  for (int32_t v : {5, 6, 50, 30}) emftest::add32(body, uint32_t(v));  // bounds
  emftest::add32(body, 1);
  emftest::add32(body, 0);
  emftest::add32(body, 0);
  emftest::add32(body, 7);   // reference x
  emftest::add32(body, 8);   // reference y
  emftest::add32(body, 2);   // characters
  emftest::add32(body, 76);  // string offset
  emftest::add32(body, 0);
  for (int i = 0; i < 4; ++i) emftest::add32(body, 0);
  emftest::add32(body, 0);  // no advances
  emftest::add16(body, 0x0414);
  emftest::add16(body, 0x00E9);
  const auto emf = emftest::EmfBuilder().raw(EMR_EXTTEXTOUTW, body).finish();
  const auto cyr = enumerateTextRuns(emf, 204);
  ASSERT_EQ(cyr.size(), 1u);
  EXPECT_EQ(cyr[0].text, "\xC4?");  // U+0414 is 0xC4 in 1251, é is not there
  EXPECT_EQ(cyr[0].bounds, (Rect{5, 6, 50, 30}));
  EXPECT_EQ(cyr[0].recordIndex, 1u);
  const auto latin = enumerateTextRuns(emf);
  EXPECT_EQ(latin[0].text, "?\xE9");
}

TEST(EmfTextRuns, DamagedRecordsThrow) {
  const auto good = [] {
    EmfCanvas c({0, 0, 100, 100});
    c.textOut(1, 1, "abc");
    return c.finish();
  }();
  ASSERT_EQ(enumerateTextRuns(good).size(), 1u);
  // Character count beyond the record.
  auto bad = good;
  const auto recs = records(good);
  size_t at = 0;
  for (const Record& r : recs) {
    if (r.type == EMR_EXTTEXTOUTW) break;
    at += r.bytes.size();
  }
  bad[at + 44] = 0xFF;
  bad[at + 45] = 0xFF;
  EXPECT_THROW(enumerateTextRuns(bad), Error);
  // A record size running past the end.
  bad = good;
  bad[at + 4] = 0xF0;
  bad[at + 5] = 0xFF;
  EXPECT_THROW(enumerateTextRuns(bad), Error);
  EXPECT_THROW(enumerateTextRuns(std::vector<uint8_t>(10, 0)), Error);
}

}  // namespace
}  // namespace orv
