// Zoom as people zoom: levels up to 400 %, Ctrl+wheel around the mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QWheelEvent>

#include "engine/tfr_report.h"
#include "prepared/compressor.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

TEST(ZoomLevelTest, StepsUpAndDownToTheLimits) {
  EXPECT_DOUBLE_EQ(nextZoomLevel(1.0, 1), 1.25);
  EXPECT_DOUBLE_EQ(nextZoomLevel(1.0, -1), 0.75);
  EXPECT_DOUBLE_EQ(nextZoomLevel(3.0, 1), 4.0);
  EXPECT_DOUBLE_EQ(nextZoomLevel(4.0, 1), 4.0);
  EXPECT_DOUBLE_EQ(nextZoomLevel(0.1, -1), 0.1);
  // A fitted zoom between levels goes to the neighbouring level, not past it.
  EXPECT_DOUBLE_EQ(nextZoomLevel(0.87, 1), 1.0);
  EXPECT_DOUBLE_EQ(nextZoomLevel(0.87, -1), 0.75);
  EXPECT_DOUBLE_EQ(nextZoomLevel(0.998, 1), 1.25);
}

class ZoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    lastZoom() = {};
    tools::buildListing(report, {4, 1, false});
    preview.resize(900, 700);
    preview.show();
    QApplication::processEvents();
    preview.Connect(&report);
  }
  TfrPreviewForm& form() { return *preview.form(); }
  // The report point (page, x, y in report pixels) under a paint-box point.
  struct Spot {
    int page;
    double x, y;
  };
  Spot under(QPoint pt) {
    const QPoint p = pt - QPoint(form().OfsX, form().OfsY);
    for (int i = 0; i < form().AllPages(); ++i) {
      const Rect& r = form().Pages->Entry(i).LayoutRect;
      if (p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom)
        return {i, (p.x() - r.left) / form().Scale, (p.y() - r.top) / form().Scale};
    }
    return {-1, 0, 0};
  }
  void ctrlWheel(QPoint at, int delta) {
    QWheelEvent e(at, form().PBox->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form().PBox, &e);
  }
  TfrLZWCompressor compressor;
  TfrReport report;
  TfrPreview preview;
};

TEST_F(ZoomTest, CtrlWheelKeepsThePointUnderTheMouse) {
  form().SetCurPage(2);
  const QPoint mouse(300, 250);
  const Spot before = under(mouse);
  ASSERT_EQ(before.page, 1);
  for (int i = 0; i < 4; ++i) ctrlWheel(mouse, 120);  // 125, 150, 200, 300 %
  EXPECT_DOUBLE_EQ(preview.Zoom(), 300);
  EXPECT_EQ(form().Label2->text(), "Zoom 300%");
  Spot after = under(mouse);
  EXPECT_EQ(after.page, 1);
  // Within a pixel of the screen, whatever the rounding of the layout.
  EXPECT_NEAR(after.x, before.x, 1.0 / form().Scale + 0.01);
  EXPECT_NEAR(after.y, before.y, 1.0 / form().Scale + 0.01);
  ctrlWheel(mouse, 120);
  ctrlWheel(mouse, 120);
  EXPECT_DOUBLE_EQ(preview.Zoom(), 400);
  ctrlWheel(mouse, -120);
  EXPECT_DOUBLE_EQ(preview.Zoom(), 300);
  after = under(mouse);
  EXPECT_NEAR(after.y, before.y, 1.0 / form().Scale + 0.01);
  EXPECT_EQ(form().ZoomMode, zmCustom);
  EXPECT_DOUBLE_EQ(lastZoom().Scale, 3.0);
}

TEST_F(ZoomTest, WheelWithoutCtrlStillScrolls) {
  preview.SetZoom(100);
  const int v = form().VScrollBar->value();
  QWheelEvent e(QPointF(100, 100), QPointF(), QPoint(), QPoint(0, -120), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(form().PBox, &e);
  EXPECT_EQ(form().VScrollBar->value(), v + 30);
  EXPECT_DOUBLE_EQ(preview.Zoom(), 100);
}

TEST_F(ZoomTest, ZoomingByKeysFromAFittedZoomStaysOnThePage) {
  preview.OnePage();
  preview.SetPage(3);
  ASSERT_EQ(preview.Page(), 3);
  const double fitted = preview.Zoom();
  preview.ZoomIn();
  EXPECT_DOUBLE_EQ(preview.Zoom(), 75);
  EXPECT_GT(preview.Zoom(), fitted);
  EXPECT_EQ(preview.Page(), 3);
  EXPECT_EQ(form().ZoomMode, zmCustom);
  // Zooming by keys keeps the middle of the view at the page's height (two
  // pages a row now, so it may fall beside it).
  preview.ZoomOut();
  EXPECT_DOUBLE_EQ(preview.Zoom(), 50);
  const Rect& r = form().Pages->Entry(2).LayoutRect;
  const int y = form().PBox->rect().center().y() - form().OfsY;
  EXPECT_TRUE(r.top <= y && y < r.bottom) << r.top << " " << y << " " << r.bottom;
}

}  // namespace
}  // namespace orv
