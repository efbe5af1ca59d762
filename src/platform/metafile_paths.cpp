// Shapes, paths and the strokes the player outlines itself.
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>
#include <numbers>

#include "platform/metafile_player.h"

namespace orv::metafile {

// Pens the canvas cannot draw, whose strokes the player outlines itself. A
// geometric pen is a circle in logical units, so a transform that stretches
// one way more than the other makes it an ellipse on the device: a line
// across the stretch comes out thicker than one along it. That is what keeps
// the bars of a barcode stretched along its length as wide as its modules.
// And a wide geometric extended pen keeps its dashes, as long as its width.
bool Player::outlinedPen() {
  if (!penVisible() || dc_.pen.cosmetic) return false;
  const Xform& m = xf();
  const double det = std::abs(m.det());
  const double alongX = std::hypot(m.m11, m.m12), alongY = std::hypot(m.m21, m.m22);
  if (!(det > 0) || !(alongX > 0) || !(alongY > 0)) return false;
  // How thick a logical horizontal and a logical vertical line come out.
  const double horizontal = dc_.pen.width * det / alongX;
  const double vertical = dc_.pen.width * det / alongY;
  if (!std::isfinite(horizontal) || !std::isfinite(vertical)) return false;
  if (std::max(horizontal, vertical) <= 1.5) return false;
  return !geometricDashes().empty() || std::abs(horizontal - vertical) >= 0.5;
}

// The dashes of a geometric extended pen, in pen widths; none for solid pens.
std::span<const qreal> Player::geometricDashes() const {
  static constexpr qreal kDash[] = {3, 1}, kDot[] = {1, 1}, kDashDot[] = {3, 1, 1, 1},
                         kDashDotDot[] = {3, 1, 1, 1, 1, 1};
  if (!dc_.pen.extended || dc_.pen.cosmetic) return {};
  switch (dc_.pen.style & PS_STYLE_MASK) {
    case PS_DASH:
      return kDash;
    case PS_DOT:
      return kDot;
    case PS_DASHDOT:
      return kDashDot;
    case PS_DASHDOTDOT:
      return kDashDotDot;
    default:
      return {};
  }
}

// Strokes device polylines with the selected pen.
void Player::strokeLines(const std::vector<std::vector<Point>>& lines,
                         const std::vector<bool>& closed) {
  if (!penVisible()) return;
  // Merging the outline of a long self-crossing line costs far more than its
  // points: beyond a bound the canvas's round pen of the mean width does. So
  // it does for the rest of a picture whose outlines have cost too much.
  size_t points = 0;
  for (const auto& l : lines) points += l.size();
  if (points <= kMaxOutlinedPoints && strokeOutlined(lines, closed)) return;
  applyPen();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    if (!closed[i] || lines[i].size() < 2) {
      target_.polyline(lines[i]);
      continue;
    }
    std::vector<Point> line = lines[i];
    line.push_back(line.front());
    target_.polyline(line);
  }
}

// Calls f for each segment of the lines, a lone point as a segment to itself.
template <typename F>
static void forEachSegment(const std::vector<std::vector<Point>>& lines,
                           const std::vector<bool>& closed, F&& f) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::vector<Point>& l = lines[i];
    if (l.size() == 1) f(l[0], l[0]);
    for (size_t k = 1; k < l.size(); ++k) f(l[k - 1], l[k]);
    if (closed[i] && l.size() > 2) f(l.back(), l.front());
  }
}

// The canvas has round, solid wide pens only: the stroke of an outlined pen is
// made in the space where the pen is round (the device undone by the
// transform), brought back and filled with the pen's colour.
bool Player::strokeOutlined(const std::vector<std::vector<Point>>& lines,
                            const std::vector<bool>& closed) {
  if (outlinedFill_ > kMaxOutlinedFill || !outlinedPen()) return false;
  const Xform& m = xf();
  const QTransform linear(m.m11, m.m12, m.m21, m.m22, 0, 0);
  bool invertible = false;
  const QTransform undo = linear.inverted(&invertible);
  if (!invertible) return true;
  // No wider than the largest pen the canvas would be given.
  const double stretch = std::max(std::hypot(m.m11, m.m12), std::hypot(m.m21, m.m22));
  const double width = std::min(dc_.pen.width, kMaxPenWidth / stretch);
  const uint32_t cap = dc_.pen.style & PS_ENDCAP_MASK, join = dc_.pen.style & PS_JOIN_MASK;
  QPainterPathStroker stroker, solid;
  for (QPainterPathStroker* st : {&stroker, &solid}) {
    st->setWidth(width);
    st->setCapStyle(cap == PS_ENDCAP_FLAT     ? Qt::FlatCap
                    : cap == PS_ENDCAP_SQUARE ? Qt::SquareCap
                                              : Qt::RoundCap);
    st->setJoinStyle(join == PS_JOIN_MITER   ? Qt::MiterJoin
                     : join == PS_JOIN_BEVEL ? Qt::BevelJoin
                                             : Qt::RoundJoin);
  }
  const std::span<const qreal> dashes = geometricDashes();
  if (!dashes.empty()) stroker.setDashPattern(QList<qreal>(dashes.begin(), dashes.end()));
  auto centre = [&](Point p) { return undo.map(QPointF(p.x, p.y)); };
  // Every dash is a polygon of its own: a stroke with more dashes than the
  // picture has left to spend (a hostile line across millions of pixels, or
  // thousands of such lines) is drawn solid, as a whole so that it does not
  // change style part-way.
  bool dashed = false;
  if (!dashes.empty()) {
    qreal period = 0;
    for (qreal d : dashes) period += d * width;
    double count = 0;
    forEachSegment(lines, closed, [&](Point a, Point b) {
      count += QLineF(centre(a), centre(b)).length() / period;
    });
    dashed = period > 0 && count <= dashesLeft_;
    if (dashed) dashesLeft_ -= count;
  }

  // The canvas puts a stroke of odd width on the pixels whose centres the
  // line passes through and one of even width astride it: the same here,
  // axis by axis, with the widths a vertical and a horizontal line get.
  const double det = std::abs(m.det());
  const int32_t acrossX = toDevice(width * det / std::hypot(m.m21, m.m22));
  const int32_t acrossY = toDevice(width * det / std::hypot(m.m11, m.m12));
  const double sx = acrossX % 2 ? 0.5 : 0, sy = acrossY % 2 ? 0.5 : 0;
  // The outline is made whole before any of it is drawn: one that would take
  // the picture past what its outlines may cost is given up for the canvas's
  // pen, and so are the outlines of the rest of the picture.
  std::vector<std::vector<Point>> polygons;
  uint64_t made = outlinedFill_;
  auto fill = [&](const QPolygonF& poly) {
    if (made > kMaxOutlinedFill) return;
    made += uint64_t(poly.size());
    std::vector<Point> pts;
    pts.reserve(size_t(poly.size()));
    for (const QPointF& q : poly) pts.push_back(toPoint({q.x() + sx, q.y() + sy}));
    polygons.push_back(std::move(pts));
  };

  size_t points = 0;
  for (const auto& l : lines) points += l.size();
  if (dashes.empty() && (cap != PS_ENDCAP_ROUND || join != PS_JOIN_ROUND) &&
      points <= kMaxJoinedPoints) {
    // Square ends and corners need the whole outline, merged where it
    // overlaps itself; that is affordable for short lines only.
    QPainterPath path;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      path.moveTo(centre(lines[i][0]));
      for (size_t k = 1; k < lines[i].size(); ++k) path.lineTo(centre(lines[i][k]));
      if (lines[i].size() == 1) path.lineTo(path.currentPosition());
      if (closed[i]) path.closeSubpath();
    }
    for (const QPolygonF& poly :
         linear.map(stroker.createStroke(path)).simplified().toFillPolygons())
      fill(poly);
  } else {
    // Segment by segment: with round ends and corners the strokes of the
    // segments together are the stroke of the line, each one simple.
    forEachSegment(lines, closed, [&](Point a, Point b) {
      if (made > kMaxOutlinedFill) return;
      QPainterPath piece(centre(a));
      piece.lineTo(centre(b));
      const QPainterPath outline = (dashed ? stroker : solid).createStroke(piece);
      for (const QPolygonF& poly : linear.map(outline).toSubpathPolygons()) fill(poly);
    });
  }
  outlinedFill_ = made;
  if (made > kMaxOutlinedFill) return false;
  applyPen();
  PenSpec none = target_.pen();
  none.style = PenStyle::Clear;
  target_.setPen(none);
  target_.setBrush(BrushSpec{dc_.pen.color, BrushStyle::Solid});
  for (const std::vector<Point>& pts : polygons) {
    count(pts.size());
    target_.polygon(pts);
  }
  applyPen();
  applyBrush();
  return true;
}

// -- paths --

void Player::pathMoveTo(DPoint d) {
  count(1);
  path_.push_back(Figure{{d}, false});
}

void Player::pathLineTo(DPoint d) {
  count(1);
  if (path_.empty() || path_.back().closed) path_.push_back(Figure{{dev(dc_.current)}, false});
  path_.back().pts.push_back(d);
}

void Player::pathAddFigure(const std::vector<DPoint>& device, bool closed) {
  if (device.empty()) return;
  count(device.size());
  path_.push_back(Figure{device, closed});
}

void Player::drawPath(bool fill, bool stroke) {
  std::vector<std::vector<Point>> polys;
  std::vector<bool> closed;
  for (const Figure& f : path_) {
    if (f.pts.empty()) continue;
    std::vector<Point> pts;
    pts.reserve(f.pts.size());
    for (const DPoint& p : f.pts) pts.push_back(toPoint(p));
    polys.push_back(std::move(pts));
    closed.push_back(f.closed);
  }
  path_.clear();
  if (polys.empty()) return;
  if (fill) fillDevicePolygons(polys, true, false);
  if (stroke) {
    if (fill) closed.assign(closed.size(), true);
    strokeLines(polys, closed);
  }
}

// Polygons with holes: the canvas fills one polygon at a time, so the parts
// are joined through their first points into one outline, whose joining
// edges are walked there and back and so enclose nothing under the even-odd
// rule. The outlines are drawn afterwards, part by part.
void Player::fillDevicePolygons(const std::vector<std::vector<Point>>& polys, bool fill,
                                bool stroke) {
  applyPen();
  if (fill && dc_.brush.style != BrushStyle::Clear) {
    std::vector<Point> joined;
    for (const auto& p : polys) {
      if (p.empty()) continue;
      joined.insert(joined.end(), p.begin(), p.end());
      joined.push_back(p.front());
      if (!polys.front().empty()) joined.push_back(polys.front().front());
    }
    count(joined.size());
    applyBrush();
    PenSpec none = target_.pen();
    none.style = PenStyle::Clear;
    target_.setPen(none);
    target_.polygon(polys.size() == 1 ? std::span<const Point>(polys[0]) : joined);
    applyPen();
  }
  if (stroke) strokeLines(polys, std::vector<bool>(polys.size(), true));
}

// -- shapes --

void Player::lineTo(DPoint p) {
  if (inPath_) {
    pathLineTo(dev(p));
  } else {
    count(2);
    const Point a = toPoint(dev(dc_.current)), b = toPoint(dev(p));
    if (!strokeOutlined({{a, b}}, {false})) {
      applyPen();
      target_.moveTo(a.x, a.y);
      target_.lineTo(b.x, b.y);
    }
  }
  dc_.current = p;
}

void Player::polyline(const std::vector<DPoint>& pts, bool fromCurrent) {
  if (pts.empty()) return;
  if (inPath_) {
    if (!fromCurrent) pathMoveTo(dev(pts[0]));
    for (size_t i = fromCurrent ? 0 : 1; i < pts.size(); ++i) pathLineTo(dev(pts[i]));
  } else {
    std::vector<Point> d;
    d.reserve(pts.size() + 1);
    if (fromCurrent) d.push_back(toPoint(dev(dc_.current)));
    for (const DPoint& p : pts) d.push_back(toPoint(dev(p)));
    count(d.size());
    strokeLines({d}, {false});
  }
  if (fromCurrent) dc_.current = pts.back();
}

void Player::polygon(const std::vector<DPoint>& pts) {
  if (pts.empty()) return;
  std::vector<DPoint> d;
  d.reserve(pts.size());
  for (const DPoint& p : pts) d.push_back(dev(p));
  if (inPath_) {
    pathAddFigure(d, true);
    return;
  }
  std::vector<Point> ip;
  ip.reserve(d.size());
  for (const DPoint& p : d) ip.push_back(toPoint(p));
  count(ip.size());
  if (outlinedPen()) {
    fillDevicePolygons({ip}, true, true);
    return;
  }
  applyPen();
  applyBrush();
  target_.polygon(ip);
}

void Player::polyPolygon(const std::vector<std::vector<DPoint>>& polys) {
  std::vector<std::vector<Point>> dp;
  for (const auto& poly : polys) {
    std::vector<DPoint> d;
    for (const DPoint& p : poly) d.push_back(dev(p));
    if (inPath_) {
      pathAddFigure(d, true);
      continue;
    }
    std::vector<Point> ip;
    for (const DPoint& p : d) ip.push_back(toPoint(p));
    count(ip.size());
    dp.push_back(std::move(ip));
  }
  if (inPath_ || dp.empty()) return;
  if (dp.size() == 1 && !outlinedPen()) {
    applyPen();
    applyBrush();
    target_.polygon(dp[0]);
    return;
  }
  fillDevicePolygons(dp, true, true);
}

void Player::polyPolyline(const std::vector<std::vector<DPoint>>& lines) {
  for (const auto& l : lines) polyline(l, false);
}

void Player::bezier(const std::vector<DPoint>& pts, bool fromCurrent) {
  std::vector<DPoint> ctrl;
  if (fromCurrent) ctrl.push_back(dc_.current);
  ctrl.insert(ctrl.end(), pts.begin(), pts.end());
  if (ctrl.size() < 4) return;
  // Flattened in device space, where the segment count can follow the size.
  std::vector<DPoint> d;
  for (const DPoint& p : ctrl) d.push_back(dev(p));
  std::vector<DPoint> out{d[0]};
  for (size_t i = 0; i + 3 < d.size(); i += 3) {
    const DPoint p0 = d[i], p1 = d[i + 1], p2 = d[i + 2], p3 = d[i + 3];
    const double len = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                       std::hypot(p3.x - p2.x, p3.y - p2.y);
    const int n = int(std::isfinite(len) ? std::clamp(len / 4, 1.0, 64.0) : 1.0);
    count(n);
    for (int k = 1; k <= n; ++k) {
      const double t = double(k) / n, u = 1 - t;
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, e = t * t * t;
      out.push_back(
          {a * p0.x + b * p1.x + c * p2.x + e * p3.x, a * p0.y + b * p1.y + c * p2.y + e * p3.y});
    }
  }
  const size_t used = 1 + ((ctrl.size() - 1) / 3) * 3;
  if (inPath_) {
    if (!fromCurrent) pathMoveTo(out[0]);
    for (size_t i = 1; i < out.size(); ++i) pathLineTo(out[i]);
  } else {
    std::vector<Point> ip;
    for (const DPoint& p : out) ip.push_back(toPoint(p));
    strokeLines({ip}, {false});
  }
  if (fromCurrent) dc_.current = ctrl[used - 1];
}

void Player::rectangle(double l, double t, double r, double b) {
  if (inPath_ || !xf().axisAligned() || outlinedPen()) {
    polygon({{l, t}, {r, t}, {r, b}, {l, b}});
    return;
  }
  count(4);
  applyPen();
  applyBrush();
  target_.rectangle(devRect(l, t, r, b));
}

void Player::ellipse(double l, double t, double r, double b) {
  if (inPath_ || !xf().axisAligned() || outlinedPen()) {
    polygon(arcPoints(l, t, r, b, {}, {}, true));
    return;
  }
  count(4);
  applyPen();
  applyBrush();
  target_.ellipse(devRect(l, t, r, b));
}

void Player::roundRect(double l, double t, double r, double b, double w, double h) {
  if (inPath_ || !xf().axisAligned() || outlinedPen()) {
    // Corners as quarter ellipses.
    const double x0 = std::min(l, r), x1 = std::max(l, r), y0 = std::min(t, b), y1 = std::max(t, b);
    const double rw = std::min(std::abs(w), x1 - x0) / 2, rh = std::min(std::abs(h), y1 - y0) / 2;
    std::vector<DPoint> pts;
    const int n = 8;
    const double cx[4] = {x1 - rw, x0 + rw, x0 + rw, x1 - rw};
    const double cy[4] = {y0 + rh, y0 + rh, y1 - rh, y1 - rh};
    for (int q = 0; q < 4; ++q)
      for (int k = 0; k <= n; ++k) {
        const double a = (q * 90.0 + k * 90.0 / n) * std::numbers::pi / 180;
        pts.push_back({cx[q] + rw * std::cos(a), cy[q] - rh * std::sin(a)});
      }
    polygon(pts);
    return;
  }
  count(4);
  applyPen();
  applyBrush();
  target_.roundRect(devRect(l, t, r, b), toDevice(std::abs(w * scaleX())),
                    toDevice(std::abs(h * scaleY())));
}

// Points of an elliptic arc in logical coordinates, counter-clockwise on the
// screen from the radial through `start` to the one through `end`.
std::vector<DPoint> Player::arcPoints(double l, double t, double r, double b, DPoint start,
                                      DPoint end, bool fullEllipse) {
  const double cx = (l + r) / 2, cy = (t + b) / 2;
  const double rx = std::abs(r - l) / 2, ry = std::abs(b - t) / 2;
  double a0 = 0, a1 = 2 * std::numbers::pi;
  bool reverse = false;
  if (!fullEllipse) {
    const double sx = rx > 0 ? (start.x - cx) / rx : 0, sy = ry > 0 ? (start.y - cy) / ry : 0;
    const double ex = rx > 0 ? (end.x - cx) / rx : 0, ey = ry > 0 ? (end.y - cy) / ry : 0;
    a0 = std::atan2(-sy, sx);
    a1 = std::atan2(-ey, ex);
    // Counter-clockwise on the screen: clockwise drawing, or a transform that
    // mirrors the logical space, turns the other way here.
    reverse = (dc_.arcDirection == AD_CLOCKWISE) != (xf().det() < 0);
    if (reverse) std::swap(a0, a1);
    while (a1 <= a0) a1 += 2 * std::numbers::pi;
  }
  const DPoint radius = xf().applyLinear({rx, ry});
  const double devR = std::hypot(radius.x, radius.y);
  const int n = int(std::isfinite(devR) ? std::clamp(devR / 2, 8.0, 256.0) : 8.0);
  count(n);
  std::vector<DPoint> pts;
  const double span = a1 - a0;
  const int steps = std::max(2, int(std::ceil(n * span / (2 * std::numbers::pi))));
  for (int k = 0; k <= steps; ++k) {
    const double a = a0 + span * k / steps;
    pts.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
  }
  if (fullEllipse) pts.pop_back();
  if (reverse) std::reverse(pts.begin(), pts.end());
  return pts;
}

void Player::arc(ArcKind kind, double l, double t, double r, double b, DPoint start, DPoint end) {
  // The canvas draws counter-clockwise on the screen, as GDI does.
  const bool simple = !inPath_ && xf().axisAligned() && !outlinedPen() &&
                      (kind == ArcKind::Arc || kind == ArcKind::Pie);
  if (simple) {
    count(4);
    applyPen();
    applyBrush();
    const Rect box = devRect(l, t, r, b);
    Point s = toPoint(dev(start)), e = toPoint(dev(end));
    if (dc_.arcDirection == AD_CLOCKWISE) std::swap(s, e);
    if (kind == ArcKind::Pie) {
      target_.pie(box, s, e);
    } else {
      target_.arc(box, s, e);
    }
    return;
  }
  std::vector<DPoint> pts = arcPoints(l, t, r, b, start, end, false);
  switch (kind) {
    case ArcKind::Arc:
      polyline(pts, false);
      break;
    case ArcKind::ArcTo:
      polyline(pts, true);
      break;
    case ArcKind::Chord:
      polygon(pts);
      break;
    case ArcKind::Pie:
      pts.insert(pts.begin(), DPoint{(l + r) / 2, (t + b) / 2});
      polygon(pts);
      break;
  }
}

void Player::fillRects(const std::vector<Rect>& logicalRects, const LogBrush& brush) {
  if (brush.style == BrushStyle::Clear) return;
  applyClip();
  target_.setBrush(BrushSpec{brush.color, brush.style});
  count(logicalRects.size());
  for (const Rect& x : logicalRects) target_.fillRect(devRect(x.left, x.top, x.right, x.bottom));
}

}  // namespace orv::metafile
