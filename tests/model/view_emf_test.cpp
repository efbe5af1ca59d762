// The same drawing rules checked through a real metafile recording: what a
// printer, the search and the PDF output receive.
#include <gtest/gtest.h>

#include <QImage>

#include "model/view_test_util.h"
#include "model/views.h"
#include "platform/emf_canvas.h"
#include "platform/emf_records.h"
#include "platform/emf_test_util.h"

namespace orv {
namespace {

using namespace emf;
using emftest::ofType;
using emftest::Record;
using emftest::records;
using viewtest::ModelStateGuard;

struct Segment {
  Point from, to;
  friend bool operator==(const Segment&, const Segment&) = default;
};

// Lines as the recording draws them: each LINETO from the current position.
std::vector<Segment> segments(const std::vector<Record>& recs) {
  std::vector<Segment> out;
  Point cur;
  for (const Record& r : recs) {
    if (r.type == EMR_MOVETOEX) cur = {r.i(0), r.i(1)};
    if (r.type == EMR_LINETO) {
      const Point p{r.i(0), r.i(1)};
      out.push_back({cur, p});
      cur = p;
    }
  }
  return out;
}

class FramedBox : public TfrView {
 public:
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<FramedBox>(); }
  void Draw(Canvas& c) override {
    ApplyBandAlign(c);
    ApplyScale();
    PaintBackground();
    PaintFrame();
    RestoreGeometry();
  }
};

TEST(ViewEmf, FrameAndFillOfAZoomedBox) {
  ModelStateGuard g(DocumentMode::Running);
  FramedBox v;
  v.Left = 10, v.Top = 20, v.Width = 100, v.Height = 50;
  v.FrameTyp = frftLeft | frftTop | frftRight | frftBottom;
  v.FrameWidth = 1.5f;
  v.FrameColor = rgb(200, 0, 0);
  v.FillColor = rgb(0, 0, 200);
  v.ZoomX = v.ZoomY = 2;
  v.ShiftX = 5;
  v.ShiftY = 6;
  EmfCanvas c({0, 0, 400, 400});
  v.Draw(c);
  const auto emf = c.finish();
  const auto recs = records(emf);

  // x = 25, y = 46, R = Round(110 * 2 + 5) = 225, B = Round(70 * 2 + 6) = 146.
  const std::vector<Segment> expected = {{{225, 46}, {225, 146}},
                                         {{25, 46}, {25, 146}},
                                         {{25, 146}, {225, 146}},
                                         {{25, 46}, {225, 46}}};
  EXPECT_EQ(segments(recs), expected);
  const auto pens = ofType(recs, EMR_CREATEPEN);
  ASSERT_EQ(pens.size(), 1u);
  EXPECT_EQ(pens[0].i(2), 3);  // Round(1.5 * 2)
  EXPECT_EQ(pens[0].u(4), rgb(200, 0, 0));

  const auto fills = ofType(recs, EMR_FILLRGN);
  ASSERT_EQ(fills.size(), 1u);
  // The region's bounds are inclusive: the fill covers (25, 46)-(225, 146).
  EXPECT_EQ(fills[0].i(0), 25);
  EXPECT_EQ(fills[0].i(1), 46);
  EXPECT_EQ(fills[0].i(2), 224);
  EXPECT_EQ(fills[0].i(3), 145);
}

TEST(ViewEmf, PictureLandsInItsAspectRectangle) {
  ModelStateGuard g(DocumentMode::Running);
  TfrPictureView p;
  p.Left = 10, p.Top = 10, p.Width = 200, p.Height = 200;
  p.Flags = pfStretched | pfKeepAspect | pfCenter;
  QImage img(100, 50, QImage::Format_RGB32);
  img.fill(Qt::green);
  p.Picture = Graphic::fromImage(img);
  EmfCanvas c({0, 0, 400, 400});
  p.Draw(c);
  const auto recs = records(c.finish());
  const auto blits = ofType(recs, EMR_STRETCHDIBITS);
  ASSERT_EQ(blits.size(), 1u);
  EXPECT_EQ(blits[0].i(4), 10);    // xDest
  EXPECT_EQ(blits[0].i(5), 60);    // yDest: moved down by (201 - 100) div 2
  EXPECT_EQ(blits[0].i(16), 201);  // cxDest: DrawRect's width
  EXPECT_EQ(blits[0].i(17), 100);  // cyDest: Round(50 * 200 / 100)
}

TEST(ViewEmf, DashedFrameIsRecordedAsHairlines) {
  ModelStateGuard g(DocumentMode::Running);
  FramedBox v;
  v.Left = 10, v.Top = 20, v.Width = 100, v.Height = 50;
  v.FrameTyp = frftTop;
  v.FrameWidth = 2;
  v.FrameStyle = psDash;
  EmfCanvas c({0, 0, 400, 400});
  v.Draw(c);
  const auto recs = records(c.finish());
  const std::vector<Segment> expected = {{{10, 19}, {110, 19}}, {{10, 20}, {110, 20}}};
  EXPECT_EQ(segments(recs), expected);
  for (const Record& pen : ofType(recs, EMR_CREATEPEN)) {
    EXPECT_EQ(pen.i(2), 1);
    EXPECT_EQ(pen.u(1) & 0xF, 1u);  // PS_DASH
  }
}

}  // namespace
}  // namespace orv
