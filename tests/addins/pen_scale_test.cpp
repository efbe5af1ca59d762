// The views that choose their own pen widths do so at the page's scale: a
// line, a shape's outline and a check box's frame drawn at screen zooms and at
// printer resolution are as thick as their width in report pixels times the
// zoom, as the pens of a stretched metafile are.
#include <gtest/gtest.h>

#include <cmath>

#include "addins/barcode_test_util.h"
#include "addins/checkbox_view.h"
#include "addins/shape_view.h"
#include "model/view_test_util.h"
#include "model/views.h"

namespace orv {
namespace {

// Dark pixels along a row or a column of the image.
int darkAlong(const QImage& img, int at, bool column) {
  int n = 0;
  const int len = column ? img.height() : img.width();
  for (int i = 0; i < len; ++i) n += qGray(column ? img.pixel(at, i) : img.pixel(i, at)) < 128;
  return n;
}

TEST(ViewPens, FramesLinesShapesAndCheckBoxesScaleWithThePage) {
  viewtest::ModelStateGuard running(DocumentMode::Running);
  // 100 %, 150 %, 400 %, and 300 and 600 dpi printers.
  for (double zoom : {1.0, 1.5, 4.0, 300 / (93 / 1.015), 600 / (93 / 1.015)}) {
    SCOPED_TRACE(zoom);
    const int side = int(std::ceil(120 * zoom));
    auto render = [&](TfrView& v) {
      v.ZoomX = v.ZoomY = zoom;
      return test::paintOnWhite(side, side, [&](Canvas& c) { v.Draw(c); });
    };
    // A vertical line 2 report pixels wide.
    TfrLineView line;
    line.Left = 50, line.Top = 10, line.Width = 0, line.Height = 100;
    line.FrameWidth = 2;
    EXPECT_EQ(darkAlong(render(line), int(60 * zoom), false), std::lround(2 * zoom));

    // A rectangle outlined 3 report pixels wide: both sides across a row.
    TfrShapeView shape;
    shape.Left = 10, shape.Top = 10, shape.Width = 100, shape.Height = 100;
    shape.FrameWidth = 3;
    shape.ShapeType = skRectangle;
    EXPECT_NEAR(darkAlong(render(shape), int(60 * zoom), false), 2 * 3 * zoom, 2);

    // A check box's frame (2 report pixels, on all four edges) down a column
    // that misses the mark.
    TfrCheckBoxView box;
    box.Left = 10, box.Top = 10, box.Width = 100, box.Height = 100;
    box.FrameTyp = frftLeft | frftTop | frftRight | frftBottom;
    box.Memo = {"0"};
    EXPECT_NEAR(darkAlong(render(box), int(15 * zoom), true), 2 * 2 * zoom, 2);
  }
}

}  // namespace
}  // namespace orv
