#pragma once
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "addins/barcode.h"
#include "addins/barcode_view.h"
#include "platform/canvas.h"
#include "platform/emf_canvas.h"
#include "platform/qt_canvas.h"

namespace orv::test {

// A canvas that remembers every polygon with the pen and brush it was drawn
// with (and paints it roughly into an image when given one). Nothing but
// polygons is expected from a barcode.
class PolygonCanvas : public Canvas {
 public:
  struct Call {
    PenSpec pen;
    BrushSpec brush;
    std::vector<Point> points;
  };

  explicit PolygonCanvas(QImage* image = nullptr) : image_(image) {}

  Rect deviceBounds() const override {
    return image_ ? Rect{0, 0, image_->width(), image_->height()} : Rect{0, 0, 100000, 100000};
  }
  void lineTo(int32_t, int32_t) override { ++others; }
  void polyline(std::span<const Point>) override { ++others; }
  void polygon(std::span<const Point> pts) override {
    calls.push_back({pen(), brush(), std::vector<Point>(pts.begin(), pts.end())});
    if (!image_) return;
    QPainter p(image_);
    QPolygon poly;
    for (const Point& pt : pts) poly << QPoint(pt.x, pt.y);
    p.setPen(QPen(toQColor(pen().color), 0));
    p.setBrush(toQColor(brush().color));
    p.drawPolygon(poly);
  }
  void rectangle(const Rect&) override { ++others; }
  void roundRect(const Rect&, int32_t, int32_t) override { ++others; }
  void ellipse(const Rect&) override { ++others; }
  void arc(const Rect&, Point, Point) override { ++others; }
  void pie(const Rect&, Point, Point) override { ++others; }
  void fillRect(const Rect&) override { ++others; }
  void textOut(int32_t, int32_t, std::string_view, const Rect*, uint32_t) override { ++others; }
  void stretchImage(const Rect&, const QImage&) override { ++others; }

  std::vector<Call> calls;
  int others = 0;

 private:
  QImage* image_;
};

// Bounding box of a set of polygons, right and bottom inclusive.
struct Box {
  int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
};
inline Box boxOf(const std::vector<BarPolygon>& polys) {
  Box b;
  for (const BarPolygon& p : polys)
    for (const Point& c : p.corners) {
      b.left = std::min(b.left, c.x);
      b.top = std::min(b.top, c.y);
      b.right = std::max(b.right, c.x);
      b.bottom = std::max(b.bottom, c.y);
    }
  return b;
}

// A white image of the given size with `draw` done on it through the canvas
// the screen and printers use.
template <typename Draw>
QImage paintOnWhite(int width, int height, Draw draw) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  {
    QtCanvas canvas(&painter, Rect{0, 0, image.width(), image.height()});
    draw(canvas);
  }
  painter.end();
  return image;
}

// Draws the barcode alone on white with `quiet` pixels of margin on every side.
inline QImage renderBarcode(TfrBarcode& b, int quiet) {
  b.setLeft(0);
  b.setTop(0);
  const Box box = boxOf(b.BarPolygons(b.BuildModuleString()));
  b.setLeft(quiet - box.left);
  b.setTop(quiet - box.top);
  return paintOnWhite(box.right - box.left + 1 + 2 * quiet, box.bottom - box.top + 1 + 2 * quiet,
                      [&](Canvas& c) { b.DrawBarcode(c); });
}

// Draws a barcode view on white at a zoom, the way the preview draws a page
// (the view at (`quiet`, `quiet`) report pixels, everything scaled by `zoom`).
// The model state must be in running mode, or the zoom is ignored.
inline QImage renderView(TfrBarCodeView& v, double zoom, int quiet) {
  v.Left = quiet;
  v.Top = quiet;
  v.ZoomX = v.ZoomY = zoom;
  v.ShiftX = v.ShiftY = 0;
  {
    // The first drawing sets the view's length along the bars.
    EmfCanvas scratch({0, 0, 16, 16});
    v.Draw(scratch);
  }
  return paintOnWhite(int(std::ceil((v.Width + 2 * quiet) * zoom)),
                      int(std::ceil((v.Height + 2 * quiet) * zoom)), [&](Canvas& c) { v.Draw(c); });
}

// The narrowest dark and light runs along a row (or a column) of an image,
// between its first and last dark pixel.
struct Runs {
  int bar = INT_MAX, space = INT_MAX;
};
inline Runs narrowestRuns(const QImage& img, int at, bool column = false) {
  const int n = column ? img.height() : img.width();
  std::vector<bool> dark(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    dark[size_t(i)] = qGray(column ? img.pixel(at, i) : img.pixel(i, at)) < 128;
  Runs r;
  int first = 0, last = n - 1;
  while (first < n && !dark[size_t(first)]) ++first;
  while (last >= first && !dark[size_t(last)]) --last;
  for (int i = first; i <= last;) {
    int j = i;
    while (j <= last && dark[size_t(j)] == dark[size_t(i)]) ++j;
    int& narrowest = dark[size_t(i)] ? r.bar : r.space;
    narrowest = std::min(narrowest, j - i);
    i = j;
  }
  return r;
}

// The module string as modules: '1' for a bar module, '0' for a space module,
// 's' for a short bar, each element repeated by its width (with Modul 1 and
// Ratio 2 the widths are 1 to 4 modules, wide elements 2).
inline std::string moduleBits(TfrBarcode& b) {
  const std::string m = b.BuildModuleString();
  std::string bits;
  for (char c : m) {
    const BarElement e = b.ElementOf(c);
    const char ch = e.kind == BarKind::Space ? '0' : e.kind == BarKind::Bar ? '1' : 's';
    bits.append(size_t(e.width), ch);
  }
  return bits;
}

}  // namespace orv::test
