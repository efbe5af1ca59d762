// The barcode view: its record, how it sizes itself along the bars, where the
// bars and the human-readable line land at each quarter turn, and what a
// prepared page stores for a bracketed text.
#include "addins/barcode_view.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "addins/addin_test_util.h"
#include "addins/addins.h"
#include "model/factory.h"
#include "model/view_test_util.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"

namespace orv {
namespace {

using namespace emf;
using addintest::Drawing;
using addintest::readDrawing;
using viewtest::ModelStateGuard;

// The generator set up as the view sets it up, for the expectations.
TfrBarcode reference(int typ, const std::string& text, bool checksum = true) {
  TfrBarcode b;
  b.setRatio(2);
  b.setModul(1);
  b.setChecksum(checksum);
  b.setTyp(typ);
  b.setText(text);
  return b;
}

struct Drawn {
  std::vector<uint8_t> emf;
  Drawing drawing;
  std::vector<EmfTextRun> runs;
};

Drawn drawView(TfrBarCodeView& v) {
  EmfCanvas c({0, 0, 3000, 3000});
  v.Draw(c);
  Drawn d;
  d.emf = c.finish();
  d.drawing = readDrawing(d.emf);
  d.runs = enumerateTextRuns(d.emf);
  return d;
}

// A view whose recording lands exactly on its box: without a frame the
// drawing rectangle reaches one pixel past the box on the right and bottom,
// and a stretch-draw takes the rectangle to include that edge.
void frame(TfrBarCodeView& v) {
  v.FrameTyp = 0;
}

TEST(BarCodeView, NewViewIsCode39OfTheDefaultText) {
  TfrBarCodeView v;
  EXPECT_EQ(v.BarType, bcCode39);
  EXPECT_EQ(v.Memo, StringList{"12345678"});
  EXPECT_TRUE(v.CalcCheckSum);
  EXPECT_TRUE(v.ShowText);
  EXPECT_EQ(v.Zoom, 1.0);
  EXPECT_EQ(v.ZoomVersion, 2);
  EXPECT_EQ(v.ClassStem, "Bar");
  EXPECT_EQ(v.TypeCode, gtAddIn);
}

TEST(BarCodeView, RecordCarriesTwentyFourBytesAndHalvesAnOldZoom) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrBarCodeView v;
  v.CalcCheckSum = false;
  v.ShowText = true;
  v.ReservedByte = 7;
  v.BarType = bcCodeEAN13;
  v.ZoomVersion = 1;
  v.Zoom = 3.0;
  v.Rotation = 90;
  MemoryStream s;
  v.SaveRecord(s);
  MemoryStream base;
  static_cast<TfrView&>(v).TfrView::SaveRecord(base);
  ASSERT_EQ(s.size(), base.size() + 24);
  std::vector<uint8_t> expected = {0, 1, 7, bcCodeEAN13, 1, 0, 0, 0};
  auto addDouble = [&](double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) expected.push_back(uint8_t(bits >> (8 * i)));
  };
  addDouble(3.0);
  addDouble(90.0);
  EXPECT_EQ(std::vector<uint8_t>(s.bytes().end() - 24, s.bytes().end()), expected);

  s.rewind();
  TfrBarCodeView back;
  back.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(back.Zoom, 1.5);  // stored doubled by version 1
  EXPECT_EQ(back.ZoomVersion, 2);
  EXPECT_EQ(back.ReservedByte, 7);
  EXPECT_FALSE(back.CalcCheckSum);
  EXPECT_EQ(back.BarType, bcCodeEAN13);
  EXPECT_EQ(back.Rotation, 90.0);

  // A current record keeps its zoom.
  back.ZoomVersion = 2;
  back.Zoom = 3.0;
  MemoryStream s2;
  back.SaveRecord(s2);
  s2.rewind();
  TfrBarCodeView again;
  again.LoadRecord(s2);
  EXPECT_EQ(again.Zoom, 3.0);

  // Every shortened record is an error.
  for (size_t cut = 1; cut <= 24; ++cut) {
    MemoryStream shortened(std::vector<uint8_t>(s2.bytes().begin(), s2.bytes().end() - cut));
    TfrBarCodeView broken;
    EXPECT_THROW(broken.LoadRecord(shortened), Error) << cut;
  }
}

TEST(BarCodeView, ZoomStretchesTheBarsAlongTheirLength) {
  ModelStateGuard g(DocumentMode::Running);
  TfrBarCodeView v;
  frame(v);
  v.Left = 5, v.Top = 7, v.Width = 999, v.Height = 60;
  v.Zoom = 2;
  v.ShowText = false;
  TfrBarcode ref = reference(bcCode39, "12345678");
  const int32_t w = ref.width();
  const Drawn d = drawView(v);
  EXPECT_EQ(v.Width, 2 * w);
  EXPECT_EQ(v.Height, 60);
  EXPECT_EQ(v.Left, 5);
  // The recording is one pixel per module: w x 60 (frame in 0.01 mm).
  const auto& meta = v.LastMetafile();
  ASSERT_GE(meta.size(), 40u);
  EXPECT_EQ(emftest::i32(meta, 32), w * 10);  // frame right at 254 pixels per inch
  EXPECT_EQ(emftest::i32(meta, 36), 60 * 10);
  // It is stretched into (5, 7)-(5 + 2w, 67): x doubles, y stays. The pen
  // grows with the stretch, twice as wide across the bars as along them, so
  // the bars' outlines come as shapes of their own after each bar.
  ref.setHeight(60);
  ref.setColor(clWhite);
  const auto bars = ref.BarPolygons(ref.BuildModuleString());
  std::vector<addintest::Shape> fills;
  for (const addintest::Shape& s : d.drawing.shapes)
    if (s.points.size() == 4) fills.push_back(s);
  ASSERT_EQ(fills.size(), bars.size());
  for (size_t i = 0; i < bars.size(); ++i) {
    std::vector<Point> expected;
    for (const Point& p : bars[i].corners) expected.push_back({5 + 2 * p.x, 7 + p.y});
    std::vector<Point> got = fills[i].points;
    ASSERT_GE(got.size(), 4u);
    got.resize(4);
    EXPECT_EQ(got, expected) << "bar " << i;
  }
}

TEST(BarCodeView, QuarterTurnsPlaceBarsAndTextAlongTheRightEdges) {
  for (int rot : {0, 90, 180, 270}) {
    SCOPED_TRACE(rot);
    ModelStateGuard g(DocumentMode::Running);
    TfrBarCodeView v;
    frame(v);
    const bool upright = rot == 90 || rot == 270;
    v.Width = upright ? 60 : 500;
    v.Height = upright ? 500 : 60;
    v.Rotation = rot;
    TfrBarcode ref = reference(bcCode39, "12345678");
    const int32_t w = ref.width();
    const Drawn d = drawView(v);
    const int32_t dx = upright ? 60 : w, dy = upright ? w : 60;
    EXPECT_EQ(v.Width, dx);
    EXPECT_EQ(v.Height, dy);

    // Bars 60 - 14 = 46 long, on the side away from the text.
    ref.setAngle(rot);
    ref.setHeight(46);
    ref.setColor(clWhite);
    if (rot == 180) ref.setTop(dy - 46);
    if (rot == 270) ref.setLeft(dx - 46);
    const auto bars = ref.BarPolygons(ref.BuildModuleString());
    ASSERT_EQ(d.drawing.shapes.size(), bars.size());
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (size_t i = 0; i < bars.size(); ++i) {
      std::vector<Point> got = d.drawing.shapes[i].points;
      got.resize(4);
      EXPECT_EQ(got, std::vector<Point>(bars[i].corners.begin(), bars[i].corners.end()));
      for (const Point& p : got) {
        lo = std::min(lo, upright ? p.x : p.y);
        hi = std::max(hi, upright ? p.x : p.y);
      }
    }
    // Across the bars they keep clear of the 14 pixels of the text.
    if (rot == 0 || rot == 90) {
      EXPECT_EQ(lo, 0);
      EXPECT_LE(hi, 46);
    } else {
      EXPECT_GE(lo, 14);
      EXPECT_LE(hi, 60);
    }

    // The line of text: Courier New, 12 pixels, turned with the bars.
    ASSERT_EQ(d.runs.size(), 1u);
    ref.BuildModuleString();
    EXPECT_EQ(d.runs[0].text, ref.text());
    EmfCanvas measure({0, 0, 10, 10});
    FontSpec f;
    f.face = "Courier New";
    f.height = 12;
    measure.setFont(f);
    const int32_t tw = measure.textWidth(ref.text());
    const Point expected = rot == 0     ? Point{(dx - tw) / 2, dy - 12}
                           : rot == 90  ? Point{dx - 12, dy - (dy - tw) / 2}
                           : rot == 270 ? Point{12, (dy - tw) / 2}
                                        : Point{dx - (dx - tw) / 2, 12};
    EXPECT_EQ(d.runs[0].reference, expected);
    const auto recs = emftest::records(d.emf);
    const auto fonts = emftest::ofType(recs, EMR_EXTCREATEFONTINDIRECTW);
    ASSERT_FALSE(fonts.empty());
    EXPECT_EQ(fonts.back().i(3), rot * 10);  // escapement
    EXPECT_EQ(fonts.back().i(1), 12);
  }
}

TEST(BarCodeView, PostNetBarsStandOnTheBaseline) {
  ModelStateGuard g(DocumentMode::Running);
  TfrBarCodeView v;
  frame(v);
  v.Width = 10, v.Height = 40;
  v.BarType = bcCodePostNet;
  v.ShowText = false;
  v.Memo = {"12345"};
  const Drawn d = drawView(v);
  ASSERT_FALSE(d.drawing.shapes.empty());
  int32_t shortBars = 0;
  for (const auto& s : d.drawing.shapes) {
    if (s.brush.color != clBlack) continue;
    int32_t top = INT32_MAX, bottom = INT32_MIN;
    for (const Point& p : s.points) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    EXPECT_GE(bottom, 39);
    EXPECT_LE(bottom, 40);
    if (top > 10) ++shortBars;
  }
  EXPECT_GT(shortBars, 0);
}

TEST(BarCodeView, TextsThatGiveTheDefaultOrNothing) {
  ModelStateGuard g(DocumentMode::Running);
  // A bracketed expression is only evaluated in a report run.
  TfrBarCodeView v;
  frame(v);
  v.Width = 100, v.Height = 60;
  v.Memo = {"[Codigo]"};
  auto runs = drawView(v).runs;
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].text.find("12345678"), std::string::npos);

  // One empty line: nothing at all, the view keeps its size.
  TfrBarCodeView empty;
  frame(empty);
  empty.Width = 100, empty.Height = 60;
  empty.Memo = {""};
  const Drawn e = drawView(empty);
  EXPECT_TRUE(e.drawing.shapes.empty());
  EXPECT_TRUE(e.drawing.segments.empty());
  EXPECT_EQ(empty.Width, 100);

  // The text "0" (a failed expression) draws nothing, and the length along
  // the bars is left unzoomed.
  TfrBarCodeView zero;
  frame(zero);
  zero.Width = 100, zero.Height = 60;
  zero.Zoom = 2;
  zero.Memo = {"0"};
  const int32_t w0 = reference(bcCode39, "0").width();
  const Drawn z = drawView(zero);
  EXPECT_TRUE(z.drawing.shapes.empty());
  EXPECT_EQ(zero.Width, w0);

  // A numeric symbology given letters shows the default number.
  TfrBarCodeView letters;
  frame(letters);
  letters.Width = 100, letters.Height = 60;
  letters.BarType = bcCodeEAN8;
  letters.Memo = {"abc"};
  runs = drawView(letters).runs;
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text.size(), 8u);
  EXPECT_EQ(runs[0].text.substr(0, 7), "1234567");

  // EAN-13 of twelve digits shows all thirteen.
  TfrBarCodeView ean;
  frame(ean);
  ean.Width = 100, ean.Height = 60;
  ean.BarType = bcCodeEAN13;
  ean.Memo = {"590123412345"};
  runs = drawView(ean).runs;
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "5901234123457");
}

TEST(BarCodeView, RejectedTextRaisesWithoutLeavingTheViewScaled) {
  ModelStateGuard g(DocumentMode::Running);
  TfrBarCodeView v;
  frame(v);
  v.Left = 3, v.Top = 4, v.Width = 100, v.Height = 60;
  v.ZoomX = v.ZoomY = 2;
  v.BarType = bcCode93;
  v.Memo = {"abc\x01"};
  EmfCanvas c({0, 0, 500, 500});
  EXPECT_THROW(v.Draw(c), Error);
  EXPECT_EQ(v.Left, 3);
  EXPECT_EQ(v.Top, 4);
  EXPECT_EQ(v.Height, 60);
  // Nonsense sizes and numbers from a damaged record draw nothing harmful.
  TfrBarCodeView odd;
  frame(odd);
  odd.Width = -5;
  odd.Height = 10;
  EXPECT_NO_THROW(odd.Draw(c));
  TfrBarCodeView nan;
  frame(nan);
  nan.Width = 100, nan.Height = 60;
  nan.Zoom = std::nan("");
  nan.Rotation = 1e300;
  EXPECT_NO_THROW(nan.Draw(c));
}

class MapEvaluator : public AddInExpressionEvaluator {
 public:
  Variant Evaluate(TfrView&, std::string_view e) override {
    if (e == "[Codigo]") return Variant(4711);
    throw Error("cannot evaluate");
  }
};

TEST(BarCodeView, EmittingEvaluatesABracketedFirstLine) {
  ModelStateGuard g(DocumentMode::Running);
  registerAddIns();
  MapEvaluator eval;
  addInExpressionEvaluator() = &eval;
  auto emitted = [](StringList memo) {
    TfrBarCodeView v;
    v.Memo = memo;
    MemoryStream s;
    v.EmitToPage(s);
    s.rewind();
    auto back = ReadPreparedObject(s);
    EXPECT_TRUE(s.atEnd());
    EXPECT_EQ(v.Memo, memo);
    return back ? back->Memo : StringList{"?"};
  };
  EXPECT_EQ(emitted({"[Codigo]", "x"}), (StringList{"4711", "x"}));
  EXPECT_EQ(emitted({"[Falha]"}), StringList{"0"});
  EXPECT_EQ(emitted({"98765"}), StringList{"98765"});
  addInExpressionEvaluator() = nullptr;
  // Outside a run nothing evaluates; the text stays as it is.
  EXPECT_EQ(emitted({"[Codigo]"}), StringList{"[Codigo]"});
  TfrBarCodeView hidden;
  hidden.Visible = false;
  MemoryStream s;
  hidden.EmitToPage(s);
  EXPECT_EQ(s.size(), 0u);
}

}  // namespace
}  // namespace orv
