#pragma once
#include <QPainter>

#include "platform/canvas.h"

namespace orv {

// Paints through a QPainter with GDI's pixel rules, onto whatever the painter
// is open on: a QImage, a widget in its paint event, a QPrinter or a
// QPdfWriter (text stays real, selectable text there).
//
// The canvas's device coordinates are the painter's coordinates at
// construction; the painter's state is saved then and restored when the canvas
// goes away. Shapes and lines are drawn without antialiasing so that pixels
// are exact; text is drawn glyph by glyph at the integer advances the base
// class measures, so what is painted is what was laid out. XOR pen modes
// need a raster device (image, widget); PDF and printers draw them as copy.
class QtCanvas : public Canvas {
 public:
  QtCanvas(QPainter* painter, Rect bounds, int dpiX = 96, int dpiY = 96);
  ~QtCanvas() override;
  QtCanvas(const QtCanvas&) = delete;
  QtCanvas& operator=(const QtCanvas&) = delete;

  int dpiX() const override { return dpiX_; }
  int dpiY() const override { return dpiY_; }
  Rect deviceBounds() const override { return bounds_; }

  void lineTo(int32_t x, int32_t y) override;
  void polyline(std::span<const Point> pts) override;
  void polygon(std::span<const Point> pts) override;
  void rectangle(const Rect& r) override;
  void roundRect(const Rect& r, int32_t ellipseWidth, int32_t ellipseHeight) override;
  void ellipse(const Rect& r) override;
  void arc(const Rect& r, Point start, Point end) override;
  void pie(const Rect& r, Point start, Point end) override;
  void fillRect(const Rect& r) override;
  void textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip = nullptr,
               uint32_t flags = 0) override;
  void stretchImage(const Rect& dest, const QImage& image) override;

 protected:
  void clipChanged() override;

 private:
  // Where a cosmetic pen's dash pattern stands along a path.
  struct DashState {
    int index = 0;
    int left = -1;  // pixels left in the current dash or gap; -1 = not started
  };

  bool penVisible() const;
  bool thinPen() const;
  bool brushVisible() const;
  void applyRop(bool forPen);
  int penWidth() const;
  QPen widePen() const;
  QPen thinQPen() const;
  // One-pixel pen line from a to b, b itself not drawn (GDI's rule).
  void thinLine(Point a, Point b, DashState& dash);
  void paintRun(int x0, int y0, int x1, int y1, bool on);
  void strokePath(const QPainterPath& path);
  // `likeOutline`: placed as the outline of the same path would be.
  void fillPath(const QPainterPath& path, bool likeOutline);
  bool centreOnPixels() const;
  void shape(const QPainterPath& outline, const QPainterPath& fill);
  QRectF ellipseBox(const Rect& r) const;
  double arcAngle(const Rect& r, Point p) const;

  QPainter* p_;
  Rect bounds_;
  int dpiX_;
  int dpiY_;
  std::optional<QRegion> initialClip_;
  bool rasterOps_ = false;
};

}  // namespace orv
