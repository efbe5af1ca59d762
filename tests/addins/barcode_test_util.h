#pragma once
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "addins/barcode.h"
#include "platform/canvas.h"
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

// Draws the barcode alone on white with `quiet` pixels of margin on every side,
// through the canvas the screen and printers use.
inline QImage renderBarcode(TfrBarcode& b, int quiet) {
  b.setLeft(0);
  b.setTop(0);
  const Box box = boxOf(b.BarPolygons(b.BuildModuleString()));
  b.setLeft(quiet - box.left);
  b.setTop(quiet - box.top);
  QImage image(box.right - box.left + 1 + 2 * quiet, box.bottom - box.top + 1 + 2 * quiet,
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  {
    QtCanvas canvas(&painter, Rect{0, 0, image.width(), image.height()});
    b.DrawBarcode(canvas);
  }
  painter.end();
  return image;
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
