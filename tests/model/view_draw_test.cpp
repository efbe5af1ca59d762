#include <gtest/gtest.h>

#include <QImage>

#include "model/page.h"
#include "model/view_test_util.h"
#include "model/views.h"

namespace orv {
namespace {

using viewtest::ModelStateGuard;
using viewtest::RecordingCanvas;

// The plain drawing sequence of a framed, filled box.
class BoxView : public TfrView {
 public:
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<BoxView>(); }
  void Draw(Canvas& c) override {
    ApplyBandAlign(c);
    ApplyScale();
    PaintBackground();
    PaintFrame();
    RestoreGeometry();
  }
};

void setBox(BoxView& v, int32_t x, int32_t y, int32_t dx, int32_t dy, float fw, uint16_t edges) {
  v.Left = x;
  v.Top = y;
  v.Width = dx;
  v.Height = dy;
  v.FrameWidth = fw;
  v.FrameTyp = edges;
}

constexpr uint16_t kAllEdges = frftLeft | frftTop | frftRight | frftBottom;

// ------------------------------------------------------------ ApplyScale

TEST(ApplyScale, ThinFrameAtZoomOneCoversTheObjectPlusItsClosingPixel) {
  ModelStateGuard g;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 1, kAllEdges);
  v.ApplyScale();
  EXPECT_EQ(v.DrawRect, (Rect{10, 20, 111, 71}));
  // Round(0.5) is 0 with halves to even, so the gaps stay as they were.
  EXPECT_EQ(v.GapX, 2);
  EXPECT_EQ(v.GapY, 1);
  v.RestoreGeometry();
  EXPECT_EQ(v.Left, 10);
  EXPECT_EQ(v.Width, 100);
  EXPECT_FLOAT_EQ(v.FrameWidth, 1);
}

TEST(ApplyScale, ThickFrameShrinksTheInnerRectangleOnFramedEdgesOnly) {
  ModelStateGuard g;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 3, kAllEdges);
  v.ApplyScale();
  // bx = by = Round(1) = 1, bx1 = by1 = Round(1.5) = 2.
  EXPECT_EQ(v.DrawRect, (Rect{11, 21, 109, 69}));
  EXPECT_EQ(v.GapX, 4);  // 2 + bx1
  EXPECT_EQ(v.GapY, 2);  // 1 + (by1 div 2)
  v.RestoreGeometry();

  BoxView open;
  setBox(open, 10, 20, 100, 50, 3, frftNone);
  open.ApplyScale();
  EXPECT_EQ(open.DrawRect, (Rect{10, 20, 111, 71}));
}

TEST(ApplyScale, ScalesAndShiftsWithHalvesRoundedToEven) {
  ModelStateGuard g(DocumentMode::Running);
  BoxView v;
  setBox(v, 3, 20, 100, 50, 1, kAllEdges);
  v.GapX = 2;
  v.GapY = 1;
  v.ZoomX = v.ZoomY = 1.5;
  v.ShiftX = 7;
  v.ShiftY = 9;
  v.ApplyScale();
  // x: Round(4.5) = 4, + 7. Right edge: Round(103 * 1.5 + 7) = Round(161.5) = 162.
  EXPECT_EQ(v.Left, 11);
  EXPECT_EQ(v.Top, 39);
  EXPECT_EQ(v.Width, 150);
  EXPECT_EQ(v.Height, 75);
  // bx = Round(0.25) = 0, bx1 = Round(0.75) = 1; right and bottom lose bx1.
  EXPECT_EQ(v.DrawRect, (Rect{11, 39, 162, 114}));
  EXPECT_FLOAT_EQ(v.FrameWidth, 1.5f);
  EXPECT_EQ(v.GapX, 4);  // Round(3) + 1
  EXPECT_EQ(v.GapY, 2);  // Round(1.5) = 2, + (1 div 2)
  v.RestoreGeometry();
  EXPECT_EQ(v.Left, 3);
  EXPECT_EQ(v.Top, 20);
  EXPECT_EQ(v.GapY, 1);
  EXPECT_FLOAT_EQ(v.FrameWidth, 1);
}

TEST(ApplyScale, DesigningModeIgnoresZoomAndShift) {
  ModelStateGuard g(DocumentMode::Designing);
  BoxView v;
  setBox(v, 10, 20, 100, 50, 1, frftNone);
  v.ZoomX = v.ZoomY = 3;
  v.ShiftX = 40;
  v.ApplyScale();
  EXPECT_EQ(v.DrawRect, (Rect{10, 20, 111, 71}));
  EXPECT_EQ(v.ZoomX, 1.0);
  EXPECT_EQ(v.ShiftX, 0);
}

// ------------------------------------------------------------ background

TEST(PaintBackground, TransparentFillPaintsNothingWhenRunningButWhiteWhenDesigning) {
  {
    ModelStateGuard g(DocumentMode::Running);
    RecordingCanvas c;
    BoxView v;
    setBox(v, 10, 20, 100, 50, 1, frftNone);
    v.Draw(c);
    EXPECT_TRUE(c.fills.empty());
  }
  {
    ModelStateGuard g(DocumentMode::Designing);
    RecordingCanvas c;
    BoxView v;
    setBox(v, 10, 20, 100, 50, 1, frftNone);
    v.Draw(c);
    ASSERT_EQ(c.fills.size(), 1u);
    EXPECT_EQ(c.fills[0].r, (Rect{10, 20, 111, 71}));
    EXPECT_EQ(c.fills[0].brush.color, clWhite);
    EXPECT_EQ(c.fills[0].bkMode, BkMode::Opaque);
  }
}

TEST(PaintBackground, RunningFillCoversTheScaledBoxWithoutTheFrameAdjustment) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 3, kAllEdges);
  v.FillColor = rgb(0, 255, 0);
  v.ZoomX = 2;
  v.ZoomY = 0.5;
  v.ShiftX = 1;
  v.Draw(c);
  ASSERT_EQ(c.fills.size(), 1u);
  // (x, y, Round((x + dx) * zx + sx), Round((y + dy) * zy + sy)).
  EXPECT_EQ(c.fills[0].r, (Rect{21, 10, 221, 35}));
  EXPECT_EQ(c.fills[0].brush.color, rgb(0, 255, 0));
}

TEST(PaintBackground, SuppressedDrawingPaintsNeitherFillNorFrame) {
  ModelStateGuard g(DocumentMode::Running);
  modelState().DrawingSuppressed = true;
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 1, kAllEdges);
  v.FillColor = clBlack;
  v.Draw(c);
  EXPECT_TRUE(c.fills.empty());
  EXPECT_TRUE(c.lines.empty());
}

// ------------------------------------------------------------ frames

TEST(PaintFrame, EdgesAreDrawnRightLeftBottomTop) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 2, kAllEdges);
  v.FrameColor = rgb(255, 0, 0);
  v.Draw(c);
  ASSERT_EQ(c.lines.size(), 4u);
  const int r = 110, b = 70;
  EXPECT_EQ(c.lines[0].from, (Point{r, 20}));
  EXPECT_EQ(c.lines[0].to, (Point{r, b}));
  EXPECT_EQ(c.lines[1].from, (Point{10, 20}));
  EXPECT_EQ(c.lines[1].to, (Point{10, b}));
  EXPECT_EQ(c.lines[2].from, (Point{10, b}));
  EXPECT_EQ(c.lines[2].to, (Point{r, b}));
  EXPECT_EQ(c.lines[3].from, (Point{10, 20}));
  EXPECT_EQ(c.lines[3].to, (Point{r, 20}));
  for (const auto& l : c.lines) {
    EXPECT_EQ(l.pen.width, 2);
    EXPECT_EQ(l.pen.color, rgb(255, 0, 0));
    EXPECT_EQ(l.pen.style, PenStyle::Solid);
  }
}

TEST(PaintFrame, RunningWithoutEdgesDrawsNothingDesigningDrawsCornerMarks) {
  {
    ModelStateGuard g(DocumentMode::Running);
    RecordingCanvas c;
    BoxView v;
    setBox(v, 10, 20, 100, 50, 1, frftNone);
    v.Draw(c);
    EXPECT_TRUE(c.lines.empty());
  }
  ModelStateGuard g(DocumentMode::Designing);
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 1, frftNone);
  v.FrameColor = rgb(0, 0, 255);
  v.Draw(c);
  ASSERT_EQ(c.lines.size(), 8u);
  const Point expected[8][2] = {{{10, 23}, {10, 20}},   {{10, 20}, {14, 20}},
                                {{10, 67}, {10, 70}},   {{10, 70}, {14, 70}},
                                {{107, 20}, {110, 20}}, {{110, 20}, {110, 24}},
                                {{107, 70}, {110, 70}}, {{110, 70}, {110, 66}}};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(c.lines[i].from, expected[i][0]) << i;
    EXPECT_EQ(c.lines[i].to, expected[i][1]) << i;
    EXPECT_EQ(c.lines[i].pen.color, clBlack);
    EXPECT_EQ(c.lines[i].pen.width, 1);
  }
}

TEST(PaintFrame, DoubleLineIsTwoFrameStrokesAroundAFillColouredMiddle) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 2, frftTop | frftLeft);
  v.FrameStyle = psDouble;
  v.FrameColor = rgb(255, 0, 0);
  v.FillColor = rgb(0, 255, 0);
  v.Draw(c);
  // Left edge first (shifted across: in x), then the top edge (in y); F = 2.
  ASSERT_EQ(c.lines.size(), 6u);
  EXPECT_EQ(c.lines[0].from, (Point{8, 20}));
  EXPECT_EQ(c.lines[0].to, (Point{8, 70}));
  EXPECT_EQ(c.lines[0].pen.color, rgb(255, 0, 0));
  EXPECT_EQ(c.lines[1].from, (Point{10, 20}));
  EXPECT_EQ(c.lines[1].pen.color, rgb(0, 255, 0));
  EXPECT_EQ(c.lines[2].from, (Point{12, 20}));
  EXPECT_EQ(c.lines[2].pen.color, rgb(255, 0, 0));
  EXPECT_EQ(c.lines[3].from, (Point{10, 18}));
  EXPECT_EQ(c.lines[3].to, (Point{110, 18}));
  EXPECT_EQ(c.lines[5].from, (Point{10, 22}));
  for (const auto& l : c.lines) {
    EXPECT_EQ(l.pen.style, PenStyle::Solid);
    EXPECT_EQ(l.pen.width, 2);
  }
}

TEST(PaintFrame, DoubleLineOnTransparentObjectLeavesTheMiddleAlone) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 1, frftTop);
  v.FrameStyle = psDouble;
  v.Draw(c);
  ASSERT_EQ(c.lines.size(), 2u);
  EXPECT_EQ(c.lines[0].from.y, 19);
  EXPECT_EQ(c.lines[1].from.y, 21);
}

TEST(PaintFrame, StyledWideFramesAreParallelHairlinesCentredOnTheEdge) {
  ModelStateGuard g(DocumentMode::Running);
  struct Case {
    float width;
    std::vector<int> offsets;  // i - (W div 2)
  };
  for (const Case& k : {Case{3, {-1, 0, 1}}, Case{4, {-2, -1, 0, 1}}, Case{1, {0}}}) {
    RecordingCanvas c;
    BoxView v;
    setBox(v, 10, 20, 100, 50, k.width, frftLeft | frftBottom);
    v.FrameStyle = psDash;
    v.Draw(c);
    const size_t n = k.offsets.size();
    ASSERT_EQ(c.lines.size(), 2 * n) << k.width;
    for (size_t i = 0; i < n; ++i) {
      // Vertical left edge: offsets across in x.
      EXPECT_EQ(c.lines[i].from, (Point{10 + k.offsets[i], 20}));
      EXPECT_EQ(c.lines[i].to, (Point{10 + k.offsets[i], 70}));
      // Horizontal bottom edge: offsets across in y.
      EXPECT_EQ(c.lines[n + i].from, (Point{10, 70 + k.offsets[i]}));
      EXPECT_EQ(c.lines[n + i].to, (Point{110, 70 + k.offsets[i]}));
    }
    for (const auto& l : c.lines) {
      EXPECT_EQ(l.pen.width, 1);
      EXPECT_EQ(l.pen.style, PenStyle::Dash);
    }
    EXPECT_EQ(c.pen().width, static_cast<int>(k.width)) << "pen width is restored";
  }
}

TEST(PaintFrame, StyledHairlineBelowHalfAPixelStillShows) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 0.4f, frftTop);
  v.FrameStyle = psDot;
  v.Draw(c);
  ASSERT_EQ(c.lines.size(), 1u);
  EXPECT_EQ(c.lines[0].from, (Point{10, 20}));
}

// ------------------------------------------------------------ line view

TEST(LineView, OrientationFollowsTheLongerSideAndSticks) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  TfrLineView h;
  h.Left = 10, h.Top = 20, h.Width = 100, h.Height = 1;
  h.Draw(c);
  EXPECT_EQ(h.Height, 0);
  EXPECT_EQ(h.FrameTyp, frftTop);
  ASSERT_EQ(c.lines.size(), 1u);
  EXPECT_EQ(c.lines[0].from, (Point{10, 20}));
  EXPECT_EQ(c.lines[0].to, (Point{110, 20}));
  EXPECT_TRUE(c.fills.empty()) << "a line paints no background";

  RecordingCanvas c2;
  TfrLineView sq;
  sq.Left = 10, sq.Top = 20, sq.Width = 1, sq.Height = 1;
  sq.FrameColor = rgb(1, 2, 3);
  sq.FrameWidth = 2;
  sq.Draw(c2);
  EXPECT_EQ(sq.Width, 0);
  EXPECT_EQ(sq.FrameTyp, frftLeft);
  ASSERT_EQ(c2.lines.size(), 1u);
  EXPECT_EQ(c2.lines[0].from, (Point{10, 20}));
  EXPECT_EQ(c2.lines[0].to, (Point{10, 21}));
  EXPECT_EQ(c2.lines[0].pen.color, rgb(1, 2, 3));
  EXPECT_EQ(c2.lines[0].pen.width, 2);
}

// ------------------------------------------------------------ picture view

void setPicture(TfrPictureView& p, uint16_t flags, int32_t iw, int32_t ih) {
  p.Left = 10, p.Top = 10, p.Width = 200, p.Height = 200;
  p.Flags = flags;
  QImage img(iw, ih, QImage::Format_RGB32);
  img.fill(Qt::red);
  p.Picture = Graphic::fromImage(img);
}

TEST(PictureView, StretchedKeepingAspectAndCentred) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  TfrPictureView p;
  setPicture(p, pfStretched | pfKeepAspect | pfCenter, 100, 50);
  p.Draw(c);
  ASSERT_EQ(c.images.size(), 1u);
  // DrawRect is (10, 10, 211, 211): kx = 2 < ky = 4, so the height is
  // Round(50 * 2) = 100, moved down by (201 - 100) div 2 = 50.
  EXPECT_EQ(c.images[0], (Rect{10, 60, 211, 160}));

  RecordingCanvas c2;
  TfrPictureView tall;
  setPicture(tall, pfStretched | pfKeepAspect | pfCenter, 50, 100);
  tall.Draw(c2);
  ASSERT_EQ(c2.images.size(), 1u);
  EXPECT_EQ(c2.images[0], (Rect{60, 10, 160, 211}));
}

TEST(PictureView, StretchedWithoutAspectFillsTheInnerRectangle) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  TfrPictureView p;
  setPicture(p, pfStretched, 100, 50);
  p.FrameTyp = kAllEdges;
  p.FrameWidth = 3;
  p.Draw(c);
  ASSERT_EQ(c.images.size(), 1u);
  EXPECT_EQ(c.images[0], (Rect{11, 11, 209, 209}));
}

TEST(PictureView, UnstretchedImagesKeepTheirScaledSize) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  TfrPictureView centred;
  setPicture(centred, pfCenter, 100, 50);
  centred.Draw(c);
  ASSERT_EQ(c.images.size(), 1u);
  // (201 - 100) div 2 = 50 across, (201 - 50) div 2 = 75 down.
  EXPECT_EQ(c.images[0], (Rect{60, 85, 160, 135}));

  RecordingCanvas c2;
  TfrPictureView zoomed;
  setPicture(zoomed, 0, 100, 50);
  zoomed.ZoomX = zoomed.ZoomY = 2;
  zoomed.Draw(c2);
  ASSERT_EQ(c2.images.size(), 1u);
  EXPECT_EQ(c2.images[0], (Rect{20, 20, 220, 120}));
}

TEST(PictureView, NoImageDrawsNothingWhileRunning) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  TfrPictureView p;
  p.Left = 10, p.Top = 10, p.Width = 200, p.Height = 200;
  p.Draw(c);
  EXPECT_TRUE(c.images.empty());
  EXPECT_TRUE(c.lines.empty());
  EXPECT_TRUE(c.fills.empty());
}

// ------------------------------------------------------------ sub-report

TEST(SubReportView, DrawsABoxWithItsNameClippedInside) {
  ModelStateGuard g(DocumentMode::Running);
  RecordingCanvas c;
  TfrSubReportView s;
  s.Name = "SubReport1";
  s.Left = 10, s.Top = 20, s.Width = 100, s.Height = 40;
  s.FrameWidth = 5;
  s.Draw(c);
  ASSERT_EQ(c.rectangles.size(), 1u);
  EXPECT_EQ(c.rectangles[0], (Rect{10, 20, 111, 61}));
  ASSERT_EQ(c.texts.size(), 1u);
  EXPECT_EQ(c.texts[0].at, (Point{12, 22}));
  EXPECT_EQ(c.texts[0].text, "SubReport1");
  EXPECT_EQ(c.texts[0].clip, (Rect{10, 20, 111, 61}));
  EXPECT_TRUE(c.texts[0].flags & etoClipped);
  EXPECT_EQ(c.texts[0].font.face, "Arial");
  EXPECT_EQ(c.texts[0].font.height, -11);  // 8 points at 96 pixels per inch
  EXPECT_FLOAT_EQ(s.FrameWidth, 1);
}

// ------------------------------------------------------------ selection region

TEST(SelectionRegion, GrowsByTheFrameOnFramedEdges) {
  ModelStateGuard g;
  BoxView v;
  setBox(v, 10, 20, 100, 50, 3, kAllEdges);
  // Solid: outer Round(1.5) = 2, inner Round(1) = 1.
  EXPECT_EQ(v.SelectionRegion(false).boundingRect(), QRect(QPoint(8, 18), QPoint(111, 71)));
  // Double: outer Round(4.5) = 4, inner Round(4) = 4.
  v.FrameStyle = psDouble;
  EXPECT_EQ(v.SelectionRegion(false).boundingRect(), QRect(QPoint(6, 16), QPoint(114, 74)));
  BoxView open;
  setBox(open, 10, 20, 100, 50, 3, frftNone);
  EXPECT_EQ(open.SelectionRegion(true).boundingRect(), QRect(QPoint(0, 10), QPoint(120, 80)));
}

// ------------------------------------------------------------ band alignment

class BandAlignTest : public ::testing::Test {
 protected:
  BandAlignTest() : guard_(DocumentMode::Running), page_(PaperSpec{}) {
    modelState().CurrentPage = &page_;
  }
  TfrView* add(int32_t x, int32_t y, int32_t dx, uint8_t align, uint8_t type = gtLine) {
    auto v = std::make_unique<BoxView>();
    v->Left = x, v->Top = y, v->Width = dx, v->Height = 10;
    v->BandAlign = align;
    v->TypeCode = type;
    return page_.Add(std::move(v));
  }
  ModelStateGuard guard_;
  TfrPage page_;
  RecordingCanvas canvas_;
};

TEST_F(BandAlignTest, PageEdgesComeFromThePrintableArea) {
  // A4 on the virtual printer: 758 px wide, offsets 18, printable 722.
  ASSERT_EQ(page_.LeftEdge(), 18);
  ASSERT_EQ(page_.RightEdge(), 740);
  TfrView* c = add(0, 0, 100, baCenter);
  TfrView* r = add(0, 20, 100, baRight);
  TfrView* l = add(300, 40, 100, baLeft);
  TfrView* w = add(300, 60, 100, baWidth);
  for (TfrView* v : {c, r, l, w}) v->Draw(canvas_);
  EXPECT_EQ(c->Left, 18 + (722 - 100) / 2);
  EXPECT_EQ(r->Left, 740 - 100);
  EXPECT_EQ(l->Left, 18);
  EXPECT_EQ(w->Left, 18);
  EXPECT_EQ(w->Width, 740 - 18 - 1);
}

TEST_F(BandAlignTest, NeighboursOnTheSameRowAreChainedAndOthersIgnored) {
  add(50, 0, 30, baLeft);
  add(100, 0, 20, baLeft);  // the nearest left neighbour: right edge 120
  add(150, 0, 20, baNone);
  add(160, 5, 20, baLeft);          // another row
  add(170, 0, 40, baLeft, gtBand);  // bands never count
  add(500, 0, 20, baRight);         // the nearest right neighbour
  add(600, 0, 20, baRight);
  TfrView* left = add(200, 0, 30, baLeft);
  TfrView* right = add(300, 0, 30, baRight);
  TfrView* rest = add(250, 0, 10, baRest);
  left->Draw(canvas_);
  right->Draw(canvas_);
  EXPECT_EQ(left->Left, 120);
  EXPECT_EQ(right->Left, 500 - 30 - 1);
  rest->Draw(canvas_);
  // "left" itself moved to 120 and now ends at 150.
  EXPECT_EQ(rest->Left, 150);
  EXPECT_EQ(rest->Width, 469 - 150);
}

TEST_F(BandAlignTest, EqualPositionsResolveByPageOrder) {
  TfrView* firstLeft = add(100, 0, 20, baLeft);
  add(100, 0, 50, baLeft);
  TfrView* l = add(300, 0, 10, baLeft);
  add(500, 0, 10, baRight);
  TfrView* lastRight = add(500, 0, 40, baRight);
  TfrView* r = add(200, 0, 10, baRight);
  l->Draw(canvas_);
  r->Draw(canvas_);
  EXPECT_EQ(l->Left, firstLeft->Left + firstLeft->Width);
  EXPECT_EQ(r->Left, lastRight->Left - 10 - 1);
}

TEST_F(BandAlignTest, LeftNeighbourBeyondTheContentEdgeLeavesNoWidth) {
  add(700, 0, 100, baLeft);
  TfrView* v = add(720, 0, 30, baLeft);
  v->Draw(canvas_);
  EXPECT_EQ(v->Left, 800);
  EXPECT_EQ(v->Width, 0);
}

TEST_F(BandAlignTest, DesigningUsesTheBandUnderTheObject) {
  modelState().Mode = DocumentMode::Designing;
  TfrView* band = add(0, 100, 740, baNone, gtBand);
  band->Height = 50;
  TfrView* cross = add(300, 0, 80, baNone, gtBand);
  cross->Height = 1000;
  cross->FrameTyp = btCrossData;
  // The horizontal band lies first in page order; the vertical one is
  // found for an object above the horizontal band.
  TfrView* bottom = add(10, 110, 20, baBottom);
  TfrView* top = add(10, 120, 20, baTop);
  TfrView* wide = add(310, 10, 20, baWidth);
  TfrView* wideH = add(10, 130, 20, baWidth);
  for (TfrView* v : {bottom, top, wide, wideH}) v->Draw(canvas_);
  EXPECT_EQ(bottom->Top, 150 - 10);
  EXPECT_EQ(top->Top, 100);
  EXPECT_EQ(wide->Left, 300);
  EXPECT_EQ(wide->Width, 80);
  EXPECT_EQ(wideH->Left, 18);
  EXPECT_EQ(wideH->Width, 740 - 18);
}

TEST_F(BandAlignTest, NoCurrentPageLeavesTheObjectAlone) {
  TfrView* v = add(300, 0, 100, baCenter);
  modelState().CurrentPage = nullptr;
  v->Draw(canvas_);
  EXPECT_EQ(v->Left, 300);
  EXPECT_EQ(modelState().CurrentView, v);
  EXPECT_EQ(v->TargetCanvas, &canvas_);
}

}  // namespace
}  // namespace orv
