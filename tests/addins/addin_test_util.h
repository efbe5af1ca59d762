#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "platform/emf_records.h"
#include "platform/emf_test_util.h"
#include "platform/geometry.h"

// Reading back what an add-in view recorded: shapes with the brush in force,
// fills with their colour, lines as segments.
namespace orv::addintest {

using emftest::Record;

struct Brush {
  bool hollow = false;
  uint32_t color = 0;
};

struct Shape {
  uint32_t type = 0;
  Rect box;  // as recorded
  int32_t cornerW = 0, cornerH = 0;
  std::vector<Point> points;  // polygons
  Brush brush;
  uint32_t penColor = 0;
  bool penNull = false;
};

struct Fill {
  Rect r;  // right and bottom exclusive
  uint32_t color = 0;
};

struct Segment {
  Point from, to;
  uint32_t color = 0;
  friend bool operator==(const Segment& a, const Segment& b) {
    return a.from == b.from && a.to == b.to;
  }
};

struct Drawing {
  std::vector<Shape> shapes;
  std::vector<Fill> fills;
  std::vector<Segment> segments;
};

inline Drawing readDrawing(const std::vector<uint8_t>& emf) {
  using namespace emf;
  Drawing d;
  std::map<uint32_t, Brush> brushes;
  struct PenInfo {
    uint32_t color = 0;
    bool null = false;
  };
  std::map<uint32_t, PenInfo> pens;
  Brush brush;
  PenInfo pen;
  Point cur;
  for (const Record& r : emftest::records(emf)) {
    switch (r.type) {
      case EMR_CREATEBRUSHINDIRECT:
        // Object indexes are reused once deleted, by any kind of object.
        pens.erase(r.u(0));
        brushes[r.u(0)] = {r.u(1) == BS_NULL, r.u(2)};
        break;
      case EMR_CREATEPEN:
        brushes.erase(r.u(0));
        pens[r.u(0)] = {r.u(4), r.u(1) == PS_NULL};
        break;
      case EMR_SELECTOBJECT: {
        const uint32_t h = r.u(0);
        if (h == (kStockObject | NULL_BRUSH)) brush = {true, 0};
        if (h == (kStockObject | NULL_PEN)) pen = {0, true};
        if (brushes.count(h)) brush = brushes[h];
        if (pens.count(h)) pen = pens[h];
        break;
      }
      case EMR_MOVETOEX:
        cur = {r.i(0), r.i(1)};
        break;
      case EMR_LINETO:
        d.segments.push_back({cur, {r.i(0), r.i(1)}, pen.color});
        cur = {r.i(0), r.i(1)};
        break;
      case EMR_RECTANGLE:
      case EMR_ELLIPSE:
      case EMR_ROUNDRECT: {
        Shape s;
        s.type = r.type;
        s.box = {r.i(0), r.i(1), r.i(2), r.i(3)};
        if (r.type == EMR_ROUNDRECT) s.cornerW = r.i(4), s.cornerH = r.i(5);
        s.brush = brush;
        s.penColor = pen.color;
        s.penNull = pen.null;
        d.shapes.push_back(s);
        break;
      }
      case EMR_POLYGON16:
      case EMR_POLYGON: {
        Shape s;
        s.type = EMR_POLYGON;
        const uint32_t n = r.u(4);
        for (uint32_t i = 0; i < n; ++i) {
          if (r.type == EMR_POLYGON16)
            s.points.push_back({int16_t(emftest::u16(r.bytes, 28 + i * 4)),
                                int16_t(emftest::u16(r.bytes, 30 + i * 4))});
          else
            s.points.push_back({r.i(5 + i * 2), r.i(6 + i * 2)});
        }
        s.brush = brush;
        s.penColor = pen.color;
        s.penNull = pen.null;
        d.shapes.push_back(s);
        break;
      }
      case EMR_FILLRGN: {
        const uint32_t h = r.u(5);
        Fill f;
        f.r = {r.i(14), r.i(15), r.i(16), r.i(17)};
        f.color = brushes.count(h) ? brushes[h].color : 0;
        d.fills.push_back(f);
        break;
      }
      default:
        break;
    }
  }
  return d;
}

}  // namespace orv::addintest
