// The shape and rounded-rectangle views, checked through the coordinates and
// colours a metafile recording receives.
#include <gtest/gtest.h>

#include "addins/addin_test_util.h"
#include "addins/addins.h"
#include "addins/shape_view.h"
#include "model/factory.h"
#include "model/view_test_util.h"
#include "platform/emf_canvas.h"

namespace orv {
namespace {

using namespace emf;
using addintest::Drawing;
using addintest::readDrawing;
using addintest::Segment;
using viewtest::ModelStateGuard;

Drawing draw(TfrView& v) {
  EmfCanvas c({0, 0, 2000, 2000});
  v.Draw(c);
  return readDrawing(c.finish());
}

TEST(ShapeView, TriangleStandsOnItsBaseWithTheApexInTheMiddle) {
  ModelStateGuard g(DocumentMode::Running);
  TfrShapeView v;
  v.Width = 100, v.Height = 50;
  v.ShapeType = skTriangle;
  v.FillColor = rgb(0, 200, 0);
  const Drawing d = draw(v);
  ASSERT_EQ(d.shapes.size(), 1u);
  const std::vector<Point> expected = {{100, 50}, {0, 50}, {50, 0}, {100, 50}};
  EXPECT_EQ(d.shapes[0].points, expected);
  EXPECT_FALSE(d.shapes[0].brush.hollow);
  EXPECT_EQ(d.shapes[0].brush.color, rgb(0, 200, 0));
}

TEST(ShapeView, EveryFigureAtZoomAndShift) {
  ModelStateGuard g(DocumentMode::Running);
  // x = Round(10 * 1.5) + 7 = 22, y = Round(20 * 1.5) + 3 = 33,
  // R = Round(110 * 1.5 + 7) = 172, B = Round(60 * 1.5 + 3) = 93.
  for (uint8_t type = skRectangle; type <= skDiagonal2; ++type) {
    TfrShapeView v;
    v.Left = 10, v.Top = 20, v.Width = 100, v.Height = 40;
    v.ZoomX = v.ZoomY = 1.5;
    v.ShiftX = 7, v.ShiftY = 3;
    v.ShapeType = type;
    v.FrameColor = rgb(10, 20, 30);
    const Drawing d = draw(v);
    SCOPED_TRACE(int(type));
    const Rect box{22, 33, 173, 94};
    switch (type) {
      case skRectangle:
      case skEllipse:
        ASSERT_EQ(d.shapes.size(), 1u);
        EXPECT_EQ(d.shapes[0].type, type == skRectangle ? EMR_RECTANGLE : EMR_ELLIPSE);
        EXPECT_EQ(d.shapes[0].box, box);
        // No fill colour: only the outline.
        EXPECT_TRUE(d.shapes[0].brush.hollow);
        EXPECT_EQ(d.shapes[0].penColor, rgb(10, 20, 30));
        break;
      case skRoundRectangle:
        ASSERT_EQ(d.shapes.size(), 1u);
        EXPECT_EQ(d.shapes[0].box, box);
        // The smaller scaled side is 60; a quarter of it.
        EXPECT_EQ(d.shapes[0].cornerW, 15);
        EXPECT_EQ(d.shapes[0].cornerH, 15);
        break;
      case skTriangle:
        ASSERT_EQ(d.shapes.size(), 1u);
        EXPECT_EQ(d.shapes[0].points,
                  (std::vector<Point>{{172, 93}, {22, 93}, {22 + 150 / 2, 33}, {172, 93}}));
        break;
      case skDiagonal1:
        EXPECT_TRUE(d.shapes.empty());
        EXPECT_EQ(d.segments, (std::vector<Segment>{{{22, 93}, {172, 33}}}));
        break;
      case skDiagonal2:
        EXPECT_EQ(d.segments, (std::vector<Segment>{{{22, 33}, {172, 93}}}));
        break;
    }
    EXPECT_TRUE(d.fills.empty());  // the background pass paints nothing
  }
}

TEST(ShapeView, FrameEdgesAreDrawnButTheFillIsLeftToTheFigure) {
  ModelStateGuard g(DocumentMode::Running);
  TfrShapeView v;
  v.Width = 40, v.Height = 20;
  v.ShapeType = skEllipse;
  v.FillColor = rgb(255, 0, 0);
  v.FrameTyp = frftTop;
  const Drawing d = draw(v);
  EXPECT_TRUE(d.fills.empty());
  EXPECT_EQ(d.segments, (std::vector<Segment>{{{0, 0}, {40, 0}}}));
  ASSERT_EQ(d.shapes.size(), 1u);
  EXPECT_EQ(d.shapes[0].brush.color, rgb(255, 0, 0));
  EXPECT_EQ(v.FillColor, rgb(255, 0, 0));
}

TEST(ShapeView, RecordAndScriptProperty) {
  ModelStateGuard g(DocumentMode::Running, 25);
  TfrShapeView v;
  v.SetProperty("shape", 4);
  EXPECT_EQ(v.ShapeType, skDiagonal1);
  EXPECT_EQ(v.GetProperty("SHAPE").toInt(), 4);
  const PropertyEntry* p = v.FindProperty("Shape");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->EnumNames.size(), 6u);
  EXPECT_EQ(p->EnumNames[3], "skTriangle");

  MemoryStream s;
  v.SaveRecord(s);
  MemoryStream base;
  TfrView& asView = v;
  asView.TfrView::SaveRecord(base);
  ASSERT_EQ(s.size(), base.size() + 1);
  EXPECT_EQ(s.bytes().back(), skDiagonal1);
  s.rewind();
  TfrShapeView back;
  back.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(back.ShapeType, skDiagonal1);
}

// ------------------------------------------------------------ rounded rectangle

void place(TfrRoundRectView& v) {
  v.Left = 10, v.Top = 20, v.Width = 100, v.Height = 50;
}

TEST(RoundRectView, ShadowIsOffsetByTheScaledWidthAndTheTextAreaByTheStoredOne) {
  ModelStateGuard g(DocumentMode::Running);
  TfrRoundRectView v;
  v.Left = 10, v.Top = 20, v.Width = 100, v.Height = 50;
  v.ZoomX = v.ZoomY = 2;
  v.FillColor = rgb(250, 250, 200);
  v.FrameColor = rgb(0, 0, 128);
  const Drawing d = draw(v);
  ASSERT_EQ(d.shapes.size(), 2u);
  // Scaled box (20, 40) 200 x 100; shadow 6 x 2 = 12, corners 10 x 2 = 20.
  EXPECT_EQ(d.shapes[0].type, EMR_ROUNDRECT);
  EXPECT_EQ(d.shapes[0].box, (Rect{32, 52, 221, 141}));
  EXPECT_EQ(d.shapes[0].cornerW, 20);
  EXPECT_EQ(d.shapes[0].brush.color, rgb(128, 128, 128));
  EXPECT_EQ(d.shapes[0].penColor, rgb(128, 128, 128));
  EXPECT_EQ(d.shapes[1].box, (Rect{20, 40, 209, 129}));
  EXPECT_EQ(d.shapes[1].brush.color, rgb(250, 250, 200));
  EXPECT_EQ(d.shapes[1].penColor, rgb(0, 0, 128));  // all four edges framed
  EXPECT_TRUE(v.FramedBorder);
  EXPECT_TRUE(d.fills.empty());  // no background while running

  // The text area: the frame-reduced rectangle less the shadow width as
  // stored (6), with the gaps grown by a quarter of the corner size.
  v.ApplyScale();
  EXPECT_EQ(v.DrawRect, (Rect{20, 40, 220 - 6, 140 - 6}));
  EXPECT_EQ(v.GapX, 4 + 1 + 2);  // Round(2 * 2) + bx1 + 10 div 4
  EXPECT_EQ(v.GapY, 2 + 0 + 2);  // Round(1 * 2) + by1 div 2 + 10 div 4
  v.RestoreGeometry();
  EXPECT_EQ(v.GapX, 2);
  EXPECT_EQ(v.GapY, 1);
  EXPECT_EQ(v.Width, 100);
}

TEST(RoundRectView, SquareCornersAndAnOpenFrame) {
  ModelStateGuard g(DocumentMode::Running);
  TfrRoundRectView v;
  place(v);
  v.RoundCorners = false;
  v.FrameTyp = frftLeft | frftTop;
  v.FillColor = clNone;
  const Drawing d = draw(v);
  ASSERT_EQ(d.shapes.size(), 2u);
  EXPECT_EQ(d.shapes[0].type, EMR_RECTANGLE);
  EXPECT_EQ(d.shapes[0].box, (Rect{16, 26, 111, 71}));
  EXPECT_EQ(d.shapes[1].type, EMR_RECTANGLE);
  EXPECT_EQ(d.shapes[1].box, (Rect{10, 20, 105, 65}));
  EXPECT_FALSE(v.FramedBorder);
  // Without a full frame the outline takes the body colour, white here.
  EXPECT_EQ(d.shapes[1].penColor, clWhite);
  EXPECT_EQ(d.shapes[1].brush.color, clWhite);
}

TEST(RoundRectView, DesigningClearsTheBoxFirst) {
  ModelStateGuard g(DocumentMode::Designing);
  TfrRoundRectView v;
  place(v);
  v.FillColor = rgb(1, 2, 3);
  const Drawing d = draw(v);
  ASSERT_FALSE(d.fills.empty());
  EXPECT_EQ(d.fills[0].r, (Rect{10, 20, 111, 71}));
  EXPECT_EQ(d.fills[0].color, clWhite);
}

// Colours a box of the given size gets in gradient mode, drawn through the
// view: black (the fill colour) to red (the shadow colour), so that a step's
// red component is its share of 255.
Drawing gradient(int32_t style, int32_t w, int32_t h, uint16_t frame = 0) {
  TfrRoundRectView v;
  v.Width = w, v.Height = h;
  v.SetProperty("Gradient", true);
  v.SetProperty("Style", style);
  v.FillColor = clBlack;
  v.ShadowColor = rgb(255, 0, 0);
  v.FrameTyp = frame;
  return draw(v);
}

// The last colour painted over each pixel row (vertical) or column.
std::map<int32_t, uint32_t> finalColours(const Drawing& d, bool rows) {
  std::map<int32_t, uint32_t> out;
  for (const auto& f : d.fills)
    for (int32_t i = rows ? f.r.top : f.r.left; i < (rows ? f.r.bottom : f.r.right); ++i)
      out[i] = f.color;
  return out;
}

TEST(RoundRectView, HorizontalAndVerticalGradientsStepThroughTheColours) {
  ModelStateGuard g(DocumentMode::Running);
  for (bool vertical : {false, true}) {
    // 256 pixels: strip i is one pixel at i, red MulDiv(i, 255, 255) = i.
    const Drawing d =
        gradient(vertical ? gsVertical : gsHorizontal, vertical ? 30 : 256, vertical ? 256 : 30);
    ASSERT_EQ(d.fills.size(), 256u);
    for (int32_t i = 0; i < 256; ++i) {
      const Rect expected = vertical ? Rect{0, i, 30, i + 1} : Rect{i, 0, i + 1, 30};
      EXPECT_EQ(d.fills[i].r, expected);
      EXPECT_EQ(d.fills[i].color, rgb(uint8_t(i), 0, 0));
    }
  }
  // Narrower than 256 pixels: empty strips are skipped, the box is covered.
  const Drawing d = gradient(gsHorizontal, 100, 10);
  const auto cols = finalColours(d, false);
  ASSERT_EQ(cols.size(), 100u);
  EXPECT_EQ(cols.begin()->first, 0);
  EXPECT_EQ(cols.rbegin()->first, 99);
  // Column 0 is last painted by strip 1 (strip 0 rounds to no width), column
  // 99 by strip 254 (strip 255 starts at Round(99.6) = 100).
  EXPECT_EQ(cols.at(0), rgb(1, 0, 0));
  EXPECT_EQ(cols.at(99), rgb(254, 0, 0));
}

TEST(RoundRectView, RectangleGradientClosesInOnTheMiddle) {
  ModelStateGuard g(DocumentMode::Running);
  // 510 pixels: each side moves one pixel per step.
  const Drawing d = gradient(gsRectangle, 510, 510);
  ASSERT_EQ(d.fills.size(), 255u);  // the last rectangle has no area
  for (int32_t i = 0; i < 255; ++i) {
    EXPECT_EQ(d.fills[i].r, (Rect{i, i, 510 - i, 510 - i}));
    EXPECT_EQ(d.fills[i].color, rgb(uint8_t(i), 0, 0));
  }
}

TEST(RoundRectView, EllipticGradientIsClippedAndShrinksToTheCentre) {
  ModelStateGuard g(DocumentMode::Running);
  // 620 pixels: starts 155 outside the box, moves 3 per step.
  TfrRoundRectView v;
  v.Left = 0, v.Top = 0, v.Width = 620, v.Height = 620;
  v.ShadowWidth = TfrRoundRectView::kGradientMode;
  v.RoundSize = gsElliptic;
  v.FillColor = clBlack;
  v.ShadowColor = rgb(255, 0, 0);
  v.FrameTyp = 0;
  EmfCanvas c({0, 0, 2000, 2000});
  v.Draw(c);
  const auto emfBytes = c.finish();
  const auto recs = emftest::records(emfBytes);
  const auto clips = emftest::ofType(recs, EMR_INTERSECTCLIPRECT);
  ASSERT_EQ(clips.size(), 1u);
  EXPECT_EQ(clips[0].i(0), 0);
  EXPECT_EQ(clips[0].i(2), 620);
  const Drawing d = readDrawing(emfBytes);
  ASSERT_EQ(d.shapes.size(), 156u);
  for (int32_t i : {0, 1, 77, 155}) {
    EXPECT_EQ(d.shapes[i].box, (Rect{-155 + 3 * i, -155 + 3 * i, 775 - 3 * i, 775 - 3 * i}));
    // Multiply, then divide with rounding: 255 * i / 155.
    EXPECT_EQ(d.shapes[i].brush.color, rgb(uint8_t((255 * i + 77) / 155), 0, 0));
    EXPECT_TRUE(d.shapes[i].penNull);
  }
  // The clip is given back afterwards.
  EXPECT_FALSE(emftest::ofType(recs, EMR_RESTOREDC).empty());
}

TEST(RoundRectView, CentreGradientsRunFromTheEdgesToTheMiddle) {
  ModelStateGuard g(DocumentMode::Running);
  // Ten rows: half = 5, step i paints rows i and 9 - i with red 51 * i.
  const auto rows = finalColours(gradient(gsVertCenter, 20, 10), true);
  const std::map<int32_t, uint32_t> expectedRows = {
      {0, rgb(0, 0, 0)},   {9, rgb(0, 0, 0)},   {1, rgb(51, 0, 0)},  {8, rgb(51, 0, 0)},
      {2, rgb(102, 0, 0)}, {7, rgb(102, 0, 0)}, {3, rgb(153, 0, 0)}, {6, rgb(153, 0, 0)},
      {4, rgb(255, 0, 0)}, {5, rgb(255, 0, 0)}};
  EXPECT_EQ(rows, expectedRows);
  // Nine columns: half = 4, the middle column 4 is the shadow colour.
  const auto cols = finalColours(gradient(gsHorizCenter, 9, 20), false);
  ASSERT_EQ(cols.size(), 9u);
  EXPECT_EQ(cols.at(0), rgb(0, 0, 0));
  EXPECT_EQ(cols.at(8), rgb(0, 0, 0));
  EXPECT_EQ(cols.at(2), rgb(128, 0, 0));  // MulDiv(2, 255, 4) = 127.5 rounded up
  EXPECT_EQ(cols.at(4), rgb(255, 0, 0));
}

TEST(RoundRectView, CentreGradientsOfBoxesWithoutAMiddleKeepTheEdgeColour) {
  ModelStateGuard g(DocumentMode::Running);
  // One pixel high: the only row is an edge row.
  const auto rows = finalColours(gradient(gsVertCenter, 20, 1), true);
  EXPECT_EQ(rows, (std::map<int32_t, uint32_t>{{0, rgb(0, 0, 0)}}));
  const auto cols = finalColours(gradient(gsHorizCenter, 1, 20), false);
  EXPECT_EQ(cols, (std::map<int32_t, uint32_t>{{0, rgb(0, 0, 0)}}));
  // No rows at all: nothing is painted.
  EXPECT_TRUE(gradient(gsVertCenter, 20, 0).fills.empty());
}

TEST(RoundRectView, HugeCentreGradientPaintsOnlyTheLinesOnTheSurface) {
  ModelStateGuard g(DocumentMode::Running);
  // Two million rows on a 2000-pixel surface: the rows at the top carry
  // steps 0 to 1999 of 1000000; nothing below the surface is recorded.
  const Drawing d = gradient(gsVertCenter, 20, 2000000);
  EXPECT_EQ(d.fills.size(), 2u * 2000);
  const auto rows = finalColours(d, true);
  EXPECT_EQ(rows.at(0), rgb(0, 0, 0));
  EXPECT_EQ(rows.at(1999), rgb(uint8_t(mulDiv(1999, 255, 1000000)), 0, 0));
  // 1960 * 255 / 1000000 = 0.4998 rounds down, 1961 * 255 / 1000000 = 0.50006 up.
  EXPECT_EQ(rows.at(1960), rgb(0, 0, 0));
  EXPECT_EQ(rows.at(1961), rgb(1, 0, 0));
}

TEST(RoundRectView, GradientDrawsOnlyTheFramedEdges) {
  ModelStateGuard g(DocumentMode::Running);
  const Drawing d = gradient(gsHorizontal, 40, 20, frftLeft | frftTop);
  EXPECT_EQ(d.segments, (std::vector<Segment>{{{0, 0}, {0, 20}}, {{0, 0}, {40, 0}}}));
  EXPECT_TRUE(d.shapes.empty());  // no shadow, no body
  // An unknown style fills nothing but still frames.
  const Drawing odd = gradient(9, 40, 20, frftRight);
  EXPECT_TRUE(odd.fills.empty());
  EXPECT_EQ(odd.segments, (std::vector<Segment>{{{40, 0}, {40, 20}}}));
}

TEST(RoundRectView, ScriptProperties) {
  TfrRoundRectView v;
  v.SetProperty("gradient", true);
  EXPECT_EQ(v.ShadowWidth, -99);
  EXPECT_EQ(v.RoundSize, 0);
  EXPECT_TRUE(v.GetProperty("GRADIENT").toBool());
  v.SetProperty("Style", gsRectangle);
  EXPECT_EQ(v.GetProperty("style").toInt(), gsRectangle);
  v.SetProperty("BeginColor", int(rgb(1, 2, 3)));
  v.SetProperty("EndColor", int(rgb(4, 5, 6)));
  EXPECT_EQ(v.ShadowColor, rgb(1, 2, 3));
  EXPECT_EQ(v.FillColor, rgb(4, 5, 6));
  v.SetProperty("Gradient", false);
  EXPECT_EQ(v.ShadowWidth, 10);
  EXPECT_EQ(v.GetProperty("Style").toInt(), 0);  // not in gradient mode
  v.SetProperty("RoundRect", false);
  EXPECT_FALSE(v.RoundCorners);
  // The memo's own properties still work.
  v.SetProperty("Memo", "abc");
  EXPECT_EQ(v.Memo, StringList{"abc"});
}

TEST(RoundRectView, RecordAppendsFourteenBytesToTheTextRecord) {
  ModelStateGuard g(DocumentMode::Running, 25);
  TfrRoundRectView v;
  place(v);
  v.ShadowColor = rgb(9, 8, 7);
  v.ShadowWidth = -99;
  v.FramedBorder = false;
  v.RoundCorners = true;
  v.RoundSize = 4;
  v.Memo = {"Texto"};
  MemoryStream s;
  v.SaveRecord(s);
  MemoryStream memo;
  static_cast<TfrMemoView&>(v).TfrMemoView::SaveRecord(memo);
  ASSERT_EQ(s.size(), memo.size() + 14);
  const std::vector<uint8_t> tail(s.bytes().end() - 14, s.bytes().end());
  EXPECT_EQ(tail, (std::vector<uint8_t>{9, 8, 7, 0, 0x9D, 0xFF, 0xFF, 0xFF, 0, 1, 4, 0, 0, 0}));
  s.rewind();
  TfrRoundRectView back;
  back.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(back.ShadowColor, v.ShadowColor);
  EXPECT_TRUE(back.IsGradient());
  EXPECT_FALSE(back.FramedBorder);
  EXPECT_EQ(back.RoundSize, 4);
  EXPECT_EQ(back.Memo, v.Memo);
}

}  // namespace
}  // namespace orv
