#include "platform/qt_canvas.h"

#include <QGlyphRun>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/fonts.h"

namespace orv {
namespace {

// GDI's patterns for cosmetic dashed pens, in pixels: dash, gap, dash, gap...
std::span<const int> dashPattern(PenStyle s) {
  static constexpr int kDash[] = {18, 6};
  static constexpr int kDot[] = {3, 3};
  static constexpr int kDashDot[] = {9, 6, 3, 6};
  static constexpr int kDashDotDot[] = {9, 3, 3, 3, 3, 3};
  switch (s) {
    case PenStyle::Dash:
      return kDash;
    case PenStyle::Dot:
      return kDot;
    case PenStyle::DashDot:
      return kDashDot;
    case PenStyle::DashDotDot:
      return kDashDotDot;
    default:
      return {};
  }
}

// A rectangle as a QRect, cut to a generous margin around the surface so that
// coordinates from a hostile file can neither overflow nor make Qt work on
// billions of pixels.
QRect boundedQRect(const Rect& r, const Rect& bounds) {
  const int64_t margin = 64;
  int64_t l = std::max<int64_t>(r.left, int64_t(bounds.left) - margin);
  int64_t t = std::max<int64_t>(r.top, int64_t(bounds.top) - margin);
  int64_t rr = std::min<int64_t>(r.right, int64_t(bounds.right) + margin);
  int64_t b = std::min<int64_t>(r.bottom, int64_t(bounds.bottom) + margin);
  if (rr <= l || b <= t) return {};
  return QRect(int(l), int(t), int(rr - l), int(b - t));
}

Rect normalized(const Rect& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

// Visual order of the characters with right-to-left reading: a simplified
// bidirectional ordering with a right-to-left paragraph. Left-to-right runs
// (letters and digits) keep their order inside, runs are laid out from the
// right, and neutral characters join a left-to-right run only between two of
// its characters.
std::vector<size_t> rtlVisualOrder(const ScaledFont& f, std::string_view text) {
  const size_t n = text.size();
  std::vector<int> dir(n);  // 1 = left to right, 0 = right to left, -1 = neutral
  for (size_t i = 0; i < n; ++i) {
    switch (QChar(f.unicode(uint8_t(text[i]))).direction()) {
      case QChar::DirL:
      case QChar::DirEN:
      case QChar::DirAN:
        dir[i] = 1;
        break;
      case QChar::DirR:
      case QChar::DirAL:
        dir[i] = 0;
        break;
      default:
        dir[i] = -1;
    }
  }
  std::vector<int> resolved(dir);
  for (size_t i = 0; i < n; ++i) {
    if (dir[i] != -1) continue;
    int before = 0, after = 0;
    for (size_t j = i; j-- > 0;) {
      if (dir[j] != -1) {
        before = dir[j];
        break;
      }
    }
    for (size_t j = i + 1; j < n; ++j) {
      if (dir[j] != -1) {
        after = dir[j];
        break;
      }
    }
    resolved[i] = (before == 1 && after == 1) ? 1 : 0;
  }
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = n - 1 - i;
  for (size_t i = 0; i < n;) {
    if (resolved[order[i]] != 1) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n && resolved[order[j]] == 1) ++j;
    std::reverse(order.begin() + ptrdiff_t(i), order.begin() + ptrdiff_t(j));
    i = j;
  }
  return order;
}

}  // namespace

QtCanvas::QtCanvas(QPainter* painter, Rect bounds, int dpiX, int dpiY)
    : p_(painter), bounds_(bounds), dpiX_(dpiX), dpiY_(dpiY) {
  p_->save();
  p_->setRenderHint(QPainter::Antialiasing, false);
  p_->setRenderHint(QPainter::TextAntialiasing, true);
  if (p_->hasClipping()) initialClip_ = p_->clipRegion();
  const QPaintEngine* engine = p_->paintEngine();
  rasterOps_ = engine && engine->hasFeature(QPaintEngine::RasterOpModes);
}

QtCanvas::~QtCanvas() {
  p_->restore();
}

void QtCanvas::clipChanged() {
  if (state_.clip) {
    p_->setClipRegion(initialClip_ ? initialClip_->intersected(*state_.clip) : *state_.clip);
  } else if (initialClip_) {
    p_->setClipRegion(*initialClip_);
  } else {
    p_->setClipping(false);
  }
}

bool QtCanvas::penVisible() const {
  return state_.pen.style != PenStyle::Clear;
}
bool QtCanvas::thinPen() const {
  return state_.pen.width <= 1;
}
bool QtCanvas::brushVisible() const {
  return state_.brush.style != BrushStyle::Clear;
}

void QtCanvas::applyRop(bool forPen) {
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  if (rasterOps_) {
    switch (state_.pen.mode) {
      case PenMode::Xor:
        mode = QPainter::RasterOp_SourceXorDestination;
        break;
      case PenMode::NotXor:
        mode = QPainter::RasterOp_NotSourceXorDestination;
        break;
      case PenMode::Copy:
        break;
    }
  }
  (void)forPen;
  p_->setCompositionMode(mode);
}

int QtCanvas::penWidth() const {
  // A pen wider than the surface covers it anyway; the bound keeps Qt's
  // stroker away from widths taken from a damaged file.
  const int64_t limit =
      2 * (int64_t(bounds_.right) - bounds_.left + int64_t(bounds_.bottom) - bounds_.top) + 64;
  return int(std::clamp<int64_t>(state_.pen.width, 1, std::min<int64_t>(limit, 1 << 20)));
}

QPen QtCanvas::widePen() const {
  return QPen(toQColor(state_.pen.color), penWidth(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPen QtCanvas::thinQPen() const {
  QPen pen(toQColor(state_.pen.color), 0);
  std::span<const int> pattern = dashPattern(state_.pen.style);
  if (!pattern.empty()) {
    QList<qreal> dashes(pattern.begin(), pattern.end());
    pen.setDashPattern(dashes);
  }
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

void QtCanvas::paintRun(int x0, int y0, int x1, int y1, bool on) {
  QColor color;
  if (on) {
    color = toQColor(state_.pen.color);
  } else if (state_.bkMode == BkMode::Opaque) {
    color = toQColor(state_.bkColor);
  } else {
    return;
  }
  p_->fillRect(
      QRect(QPoint(std::min(x0, x1), std::min(y0, y1)), QPoint(std::max(x0, x1), std::max(y0, y1))),
      color);
}

void QtCanvas::thinLine(Point a, Point b, DashState& dash) {
  std::span<const int> pattern = dashPattern(state_.pen.style);
  const int period = [&] {
    int s = 0;
    for (int v : pattern) s += v;
    return s;
  }();
  auto advance = [&](int64_t count) {
    if (pattern.empty() || count <= 0) return;
    if (dash.left < 0) {
      dash.index = 0;
      dash.left = pattern[0];
    }
    count %= period;
    while (count > dash.left) {
      count -= dash.left;
      dash.index = (dash.index + 1) % int(pattern.size());
      dash.left = pattern[size_t(dash.index)];
    }
    dash.left -= int(count);
  };
  // Takes up to `want` pixels of the current dash or gap; returns how many
  // and whether they are drawn.
  auto take = [&](int64_t want, bool* on) -> int64_t {
    if (pattern.empty()) {
      *on = true;
      return want;
    }
    if (dash.left < 0) {
      dash.index = 0;
      dash.left = pattern[0];
    }
    if (dash.left == 0) {
      dash.index = (dash.index + 1) % int(pattern.size());
      dash.left = pattern[size_t(dash.index)];
    }
    int64_t n = std::min<int64_t>(want, dash.left);
    dash.left -= int(n);
    *on = dash.index % 2 == 0;
    return n;
  };

  const int64_t dx = int64_t(b.x) - a.x;
  const int64_t dy = int64_t(b.y) - a.y;
  if (dx == 0 && dy == 0) return;
  const Rect vis = bounds_.inflated(1);
  if (dx == 0 || dy == 0) {
    // Axis-aligned: pixel i of n lies at a + i * step; draw only the visible
    // ones, keeping the dash phase as if all had been drawn.
    const bool horizontal = dy == 0;
    const int64_t n = horizontal ? std::abs(dx) : std::abs(dy);
    const int step = (horizontal ? dx : dy) > 0 ? 1 : -1;
    const int64_t fixed = horizontal ? a.y : a.x;
    const int64_t lo = horizontal ? vis.left : vis.top;
    const int64_t hi = horizontal ? vis.right : vis.bottom;
    const int64_t fixedLo = horizontal ? vis.top : vis.left;
    const int64_t fixedHi = horizontal ? vis.bottom : vis.right;
    const int64_t start = horizontal ? a.x : a.y;
    if (fixed < fixedLo || fixed >= fixedHi) {
      advance(n);
      return;
    }
    // Visible index range [i0, i1).
    int64_t i0, i1;
    if (step > 0) {
      i0 = std::max<int64_t>(0, lo - start);
      i1 = std::min<int64_t>(n, hi - start);
    } else {
      i0 = std::max<int64_t>(0, start - (hi - 1));
      i1 = std::min<int64_t>(n, start - lo + 1);
    }
    if (i1 <= i0) {
      advance(n);
      return;
    }
    advance(i0);
    for (int64_t i = i0; i < i1;) {
      bool on = true;
      int64_t len = take(i1 - i, &on);
      int p0 = int(start + step * i);
      int p1 = int(start + step * (i + len - 1));
      if (horizontal) {
        paintRun(p0, int(fixed), p1, int(fixed), on);
      } else {
        paintRun(int(fixed), p0, int(fixed), p1, on);
      }
      i += len;
    }
    advance(n - i1);
    return;
  }
  if (std::max(std::abs(dx), std::abs(dy)) > 65536) {
    // Far beyond any surface: let Qt clip it rather than walk every pixel.
    p_->setPen(thinQPen());
    p_->drawLine(QLineF(a.x, a.y, b.x, b.y));
    return;
  }
  // Bresenham, the end point excluded; pixels of one row or column that
  // follow each other are painted as one run. Step k of the walk is at k
  // along the longer axis and at floor((2 m k + n) / 2n) along the shorter
  // (n and m the lengths), so only the steps on the surface are walked: a
  // long line across a corner of the page costs what it shows.
  const int sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
  const int64_t adx = std::abs(dx), ady = -std::abs(dy);
  const int64_t n = std::max(adx, -ady);
  auto stepsX = [&](int64_t k) { return adx >= -ady ? k : (2 * adx * k + n) / (2 * n); };
  auto stepsY = [&](int64_t k) { return adx >= -ady ? (-2 * ady * k + n) / (2 * n) : k; };
  // The first step at which a monotone condition holds, n if none does.
  auto firstStep = [&](auto holds) {
    int64_t lo = 0, hi = n;
    while (lo < hi) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (holds(mid)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    return lo;
  };
  auto xAt = [&](int64_t k) { return a.x + sx * stepsX(k); };
  auto yAt = [&](int64_t k) { return a.y + sy * stepsY(k); };
  // The steps on the surface; most lines lie on it from end to end.
  int64_t k0 = 0, k1 = n;
  if (!vis.contains(a) || !vis.contains(b)) {
    // The first step past an edge, going the line's way.
    auto pastX = [&](int64_t e) {
      return firstStep([&](int64_t k) { return sx > 0 ? xAt(k) >= e : xAt(k) < e; });
    };
    auto pastY = [&](int64_t e) {
      return firstStep([&](int64_t k) { return sy > 0 ? yAt(k) >= e : yAt(k) < e; });
    };
    k0 = std::max(pastX(sx > 0 ? vis.left : vis.right), pastY(sy > 0 ? vis.top : vis.bottom));
    k1 = std::min(pastX(sx > 0 ? vis.right : vis.left), pastY(sy > 0 ? vis.bottom : vis.top));
  }
  if (k1 <= k0) {
    advance(n);
    return;
  }
  advance(k0);
  int x = int(xAt(k0)), y = int(yAt(k0));
  int64_t err = adx + ady + stepsX(k0) * ady + stepsY(k0) * adx;
  struct Run {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool on = false, open = false;
  } run;
  auto flush = [&] {
    if (run.open) paintRun(run.x0, run.y0, run.x1, run.y1, run.on);
    run.open = false;
  };
  for (int64_t k = k0; k < k1; ++k) {
    bool on = true;
    take(1, &on);
    bool extends = run.open && run.on == on &&
                   ((run.y0 == y && run.y1 == y && (x == run.x1 + 1 || x == run.x0 - 1)) ||
                    (run.x0 == x && run.x1 == x && (y == run.y1 + 1 || y == run.y0 - 1)));
    if (extends) {
      run.x0 = std::min(run.x0, x);
      run.x1 = std::max(run.x1, x);
      run.y0 = std::min(run.y0, y);
      run.y1 = std::max(run.y1, y);
    } else {
      flush();
      run.x0 = run.x1 = x;
      run.y0 = run.y1 = y;
      run.on = on;
      run.open = true;
    }
    int64_t e2 = 2 * err;
    if (e2 >= ady) {
      err += ady;
      x += sx;
    }
    if (e2 <= adx) {
      err += adx;
      y += sy;
    }
  }
  flush();
  advance(n - k1);
}

// Shape coordinates name pixels. Qt's aliased rasteriser puts a one-pixel
// stroke, and a stroke of odd width, on the pixels whose centres the path
// passes through, so such paths are moved by half a pixel; a stroke of even
// width straddles the coordinate, as GDI's does.
bool QtCanvas::centreOnPixels() const {
  return thinPen() || penWidth() % 2 == 1;
}

void QtCanvas::strokePath(const QPainterPath& path) {
  p_->save();
  p_->setBrush(Qt::NoBrush);
  if (thinPen()) {
    p_->setPen(thinQPen());
    p_->setBackgroundMode(state_.bkMode == BkMode::Opaque ? Qt::OpaqueMode : Qt::TransparentMode);
    p_->setBackground(toQColor(state_.bkColor));
  } else {
    p_->setPen(widePen());
  }
  if (centreOnPixels()) p_->translate(0.5, 0.5);
  p_->drawPath(path);
  p_->restore();
}

void QtCanvas::fillPath(const QPainterPath& path, bool likeOutline) {
  p_->save();
  p_->setPen(Qt::NoPen);
  p_->setBrush(toQColor(state_.brush.color));
  if (likeOutline && centreOnPixels()) p_->translate(0.5, 0.5);
  p_->drawPath(path);
  p_->restore();
}

void QtCanvas::shape(const QPainterPath& outline, const QPainterPath& fill) {
  applyRop(false);
  if (brushVisible()) fillPath(fill, true);
  if (penVisible()) strokePath(outline);
}

void QtCanvas::lineTo(int32_t x, int32_t y) {
  Point from = state_.current;
  state_.current = {x, y};
  if (!penVisible()) return;
  applyRop(true);
  if (thinPen()) {
    DashState dash;
    thinLine(from, {x, y}, dash);
  } else {
    QPainterPath path;
    path.moveTo(from.x, from.y);
    path.lineTo(x, y);
    strokePath(path);
  }
}

void QtCanvas::polyline(std::span<const Point> pts) {
  if (pts.size() < 2 || !penVisible()) return;
  applyRop(true);
  if (thinPen()) {
    DashState dash;
    for (size_t i = 1; i < pts.size(); ++i) thinLine(pts[i - 1], pts[i], dash);
  } else {
    QPainterPath path;
    path.moveTo(pts[0].x, pts[0].y);
    for (size_t i = 1; i < pts.size(); ++i) path.lineTo(pts[i].x, pts[i].y);
    strokePath(path);
  }
}

void QtCanvas::polygon(std::span<const Point> pts) {
  if (pts.size() < 2) return;
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);  // GDI's default ALTERNATE mode
  path.moveTo(pts[0].x, pts[0].y);
  for (size_t i = 1; i < pts.size(); ++i) path.lineTo(pts[i].x, pts[i].y);
  path.closeSubpath();
  applyRop(false);
  if (brushVisible()) fillPath(path, false);
  if (!penVisible()) return;
  if (thinPen()) {
    DashState dash;
    for (size_t i = 1; i < pts.size(); ++i) thinLine(pts[i - 1], pts[i], dash);
    thinLine(pts.back(), pts.front(), dash);
  } else {
    strokePath(path);
  }
}

void QtCanvas::rectangle(const Rect& given) {
  const Rect r = normalized(given);
  if (r.isEmpty()) return;
  applyRop(false);
  if (!penVisible()) {
    // Without a pen GDI fills one pixel less to the right and bottom.
    if (brushVisible()) {
      p_->fillRect(boundedQRect({r.left, r.top, r.right - 1, r.bottom - 1}, bounds_),
                   toQColor(state_.brush.color));
    }
    return;
  }
  if (brushVisible()) {
    p_->fillRect(boundedQRect({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, bounds_),
                 toQColor(state_.brush.color));
  }
  if (thinPen()) {
    if (int64_t(r.right) - r.left <= 2 || int64_t(r.bottom) - r.top <= 2) {
      p_->fillRect(boundedQRect(r, bounds_), toQColor(state_.pen.color));
      return;
    }
    // Clockwise from the top-left corner, each edge stopping one pixel short
    // of the next corner, so the outline covers l..r-1 and t..b-1 once.
    DashState dash;
    const Point tl{r.left, r.top}, tr{r.right - 1, r.top}, br{r.right - 1, r.bottom - 1},
        bl{r.left, r.bottom - 1};
    thinLine(tl, tr, dash);
    thinLine(tr, br, dash);
    thinLine(br, bl, dash);
    thinLine(bl, tl, dash);
    return;
  }
  const double w = penWidth();
  QRectF box = ellipseBox(r);
  if (state_.pen.style == PenStyle::InsideFrame) {
    const double in = std::floor(w / 2), out = std::floor((w - 1) / 2);
    box = QRectF(QPointF(r.left + in, r.top + in), QPointF(r.right - 1 - out, r.bottom - 1 - out));
  }
  QPainterPath path;
  path.addRect(box);
  strokePath(path);
}

QRectF QtCanvas::ellipseBox(const Rect& given) const {
  const Rect r = normalized(given);
  return QRectF(QPointF(r.left, r.top), QPointF(double(r.right) - 1, double(r.bottom) - 1));
}

void QtCanvas::roundRect(const Rect& r, int32_t ellipseWidth, int32_t ellipseHeight) {
  if (normalized(r).isEmpty()) return;
  QPainterPath path;
  path.addRoundedRect(ellipseBox(r), std::abs(ellipseWidth) / 2.0, std::abs(ellipseHeight) / 2.0);
  shape(path, path);
}

void QtCanvas::ellipse(const Rect& r) {
  if (normalized(r).isEmpty()) return;
  QPainterPath path;
  path.addEllipse(ellipseBox(r));
  shape(path, path);
}

double QtCanvas::arcAngle(const Rect& given, Point p) const {
  // The radial through p meets the ellipse at the parametric angle Qt wants.
  const Rect r = normalized(given);
  const double cx = (double(r.left) + r.right) / 2, cy = (double(r.top) + r.bottom) / 2;
  const double rx = std::max(1.0, (double(r.right) - r.left) / 2),
               ry = std::max(1.0, (double(r.bottom) - r.top) / 2);
  return std::atan2(-(p.y - cy) / ry, (p.x - cx) / rx) * 180.0 / std::numbers::pi;
}

void QtCanvas::arc(const Rect& r, Point start, Point end) {
  if (normalized(r).isEmpty() || !penVisible()) return;
  double a0 = arcAngle(r, start);
  double span = arcAngle(r, end) - a0;
  while (span <= 0) span += 360;
  QPainterPath path;
  path.arcMoveTo(ellipseBox(r), a0);
  path.arcTo(ellipseBox(r), a0, span);
  applyRop(true);
  strokePath(path);
}

void QtCanvas::pie(const Rect& r, Point start, Point end) {
  if (normalized(r).isEmpty()) return;
  double a0 = arcAngle(r, start);
  double span = arcAngle(r, end) - a0;
  while (span <= 0) span += 360;
  QRectF box = ellipseBox(r);
  QPainterPath path;
  path.moveTo(box.center());
  path.arcTo(box, a0, span);
  path.closeSubpath();
  shape(path, path);
}

void QtCanvas::fillRect(const Rect& r) {
  // Like FillRect: the brush alone, exactly l..r-1 by t..b-1, no raster op.
  if (!brushVisible() || r.isEmpty()) return;
  p_->setCompositionMode(QPainter::CompositionMode_SourceOver);
  p_->fillRect(boundedQRect(r, bounds_), toQColor(state_.brush.color));
}

void QtCanvas::textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip,
                       uint32_t flags) {
  const ScaledFont& f = scaledFont(state_.font);
  const TextMetrics& m = f.metrics();
  p_->save();
  p_->setCompositionMode(QPainter::CompositionMode_SourceOver);
  if ((flags & etoClipped) && clip)
    p_->setClipRect(boundedQRect(*clip, bounds_), Qt::IntersectClip);
  if ((flags & etoOpaque) && clip && !clip->isEmpty()) {
    p_->fillRect(boundedQRect(*clip, bounds_), toQColor(state_.bkColor));
  }
  if (text.empty()) {
    p_->restore();
    return;
  }
  const std::vector<int32_t> adv = charAdvances(text);
  std::vector<size_t> order;
  if (flags & etoRtlReading) {
    order = rtlVisualOrder(f, text);
  } else {
    order.resize(text.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  }
  // Pen position of every character, in visual order from the cell's left.
  std::vector<int64_t> penX(text.size());
  int64_t total = 0;
  for (size_t k : order) {
    penX[k] = total;
    total += adv[k];
  }
  p_->translate(x, y);
  // Negated as a double: a hostile file may give the most negative escapement.
  if (state_.font.escapement % 3600 != 0) p_->rotate(-double(state_.font.escapement) / 10.0);
  const int width = int(std::clamp<int64_t>(total, 0, 1 << 24));
  if (state_.bkMode == BkMode::Opaque) {
    p_->fillRect(QRect(0, 0, width, m.height), toQColor(state_.bkColor));
  }
  const QColor color = toQColor(state_.textColor);
  p_->setPen(color);
  // One glyph run per face with our positions: raster devices draw the
  // glyphs, PDF and printers receive them as text with these positions.
  for (int face = 0; face < 2; ++face) {
    const bool fallback = face == 1;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    for (size_t i = 0; i < text.size(); ++i) {
      const uint8_t b = uint8_t(text[i]);
      if (f.usesFallback(b) != fallback || f.unicode(b) < 0x20) continue;
      glyphs.push_back(f.glyph(b));
      positions.push_back(QPointF(double(penX[i]), m.ascent));
    }
    if (glyphs.isEmpty()) continue;
    QGlyphRun run;
    run.setRawFont(f.paintRawFont(fallback));
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    const bool slant = f.syntheticItalic() && !fallback;
    if (slant) {
      // Slant about the baseline, so the pen positions stay where they are.
      p_->save();
      p_->translate(0, m.ascent);
      p_->shear(-0.2, 0);
      p_->translate(0, -m.ascent);
    }
    p_->drawGlyphRun(QPointF(0, 0), run);
    if (f.syntheticBold() && !fallback) p_->drawGlyphRun(QPointF(1, 0), run);
    if (slant) p_->restore();
  }
  if (state_.font.underline) {
    p_->fillRect(QRect(0, m.ascent + f.underlineOffset(), width, f.underlineThickness()), color);
  }
  if (state_.font.strikeOut) {
    p_->fillRect(QRect(0, m.ascent + f.strikeOutOffset(), width, f.strikeOutThickness()), color);
  }
  p_->restore();
}

void QtCanvas::stretchImage(const Rect& dest, const QImage& image) {
  if (image.isNull()) return;
  // A reversed destination mirrors the picture, as StretchBlt does.
  const bool mirrorX = dest.right < dest.left, mirrorY = dest.bottom < dest.top;
  const Rect d = normalized(dest);
  if (d.isEmpty() || !d.intersects(bounds_)) return;
  QImage img = (mirrorX || mirrorY) ? image.mirrored(mirrorX, mirrorY) : image;
  p_->save();
  p_->setCompositionMode(QPainter::CompositionMode_SourceOver);
  // Shrinking averages (like HALFTONE stretching), enlarging repeats pixels
  // (like COLORONCOLOR), so pictures stay sharp when zoomed in.
  const double w = double(d.right) - d.left, h = double(d.bottom) - d.top;
  const bool smooth = w < img.width() || h < img.height();
  p_->setRenderHint(QPainter::SmoothPixmapTransform, smooth);
  p_->drawImage(QRectF(d.left, d.top, w, h), img);
  p_->restore();
}

}  // namespace orv
