#include "charts/chart.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "platform/canvas.h"
#include "platform/emf_canvas.h"

namespace orv {

namespace {

// Metafile units per pixel of the picture frame: fine enough that a chart
// stretched onto a 600-dpi printer keeps its curves and thin lines exact.
constexpr int kMetafileScale = 4;
constexpr double kPi = std::numbers::pi;
// Values are kept within this range, so that sums and spans stay finite.
constexpr double kValueLimit = 1e300;
// Report views are at most 2^24 pixels wide; the recording is finer still.
constexpr int32_t kMaxMetafileSide = 1 << 24;

// A calm palette that keeps neighbours apart in colour and in grey.
constexpr Color kPalette[] = {
    rgb(78, 121, 167), rgb(242, 142, 43),  rgb(225, 87, 89),   rgb(118, 183, 178),
    rgb(89, 161, 79),  rgb(237, 201, 72),  rgb(176, 122, 161), rgb(255, 157, 167),
    rgb(156, 117, 95), rgb(186, 176, 172), rgb(44, 95, 138),   rgb(180, 90, 30),
};

const Color kGrid = rgb(224, 224, 224);
const Color kAxisLine = rgb(166, 166, 166);
const Color kWallLine = rgb(208, 208, 208);
const Color kLeader = rgb(150, 150, 150);

Color mix(Color a, Color b, double t) {
  auto part = [&](uint8_t x, uint8_t y) {
    return uint8_t(std::clamp(int(std::lround(x + (double(y) - x) * t)), 0, 255));
  };
  return rgb(part(redOf(a), redOf(b)), part(greenOf(a), greenOf(b)), part(blueOf(a), blueOf(b)));
}
Color lighter(Color c, double t) {
  return mix(c, clWhite, t);
}
Color darker(Color c, double t) {
  return mix(c, clBlack, t);
}

double clampValue(double v) {
  if (!std::isfinite(v)) return v > 0 ? kValueLimit : (v < 0 ? -kValueLimit : 0);
  return std::clamp(v, -kValueLimit, kValueLimit);
}

int32_t px(double v) {
  return roundEven(v);
}

Color pointColor(const ChartSeries& s, size_t seriesIndex, size_t pointIndex, bool eachPoint) {
  const ChartPoint& p = s.points()[pointIndex];
  if (p.color != clNone) return resolveColor(p.color);
  if (eachPoint) return chartPaletteColor(pointIndex);
  return s.color != clNone ? resolveColor(s.color) : chartPaletteColor(seriesIndex);
}

Color seriesColor(const ChartSeries& s, size_t seriesIndex) {
  return s.color != clNone ? resolveColor(s.color) : chartPaletteColor(seriesIndex);
}

double seriesTotal(const ChartSeries& s) {
  double total = 0;
  for (const ChartPoint& p : s.points()) total += std::abs(clampValue(p.value));
  return total;
}

std::string markText(const ChartSeries& s, const ChartPoint& p, double total) {
  const std::string value = formatChartNumber(p.value, -1);
  const double pct = total > 0 ? std::abs(p.value) / total * 100 : 0;
  const std::string percent = formatChartNumber(pct, pct < 10 ? 1 : 0) + " %";
  const std::string& label = p.label.empty() ? value : p.label;
  switch (s.marksStyle) {
    case ChartMarksStyle::Value:
      return value;
    case ChartMarksStyle::Percent:
      return percent;
    case ChartMarksStyle::Label:
      return label;
    case ChartMarksStyle::LabelPercent:
      return p.label.empty() ? percent : p.label + " " + percent;
    case ChartMarksStyle::LabelValue:
      return p.label.empty() ? value : p.label + " " + value;
  }
  return value;
}

struct LegendItem {
  Color color;
  std::string text;
  ChartSeriesKind kind;
  bool more = false;  // stands for the items that did not fit: no symbol
};

// Rectangles already taken, found by the cells of a coarse grid, so that a
// chart with thousands of marks still places each one in constant time.
class PlacedRects {
 public:
  void setCell(int32_t w, int32_t h) {
    cellW_ = std::max(1, w);
    cellH_ = std::max(1, h);
  }
  bool clashes(const Rect& r) const {
    bool hit = false;
    visit(r, [&](int64_t key) {
      auto it = cells_.find(key);
      if (it == cells_.end()) return;
      for (size_t i : it->second)
        if (rects_[i].intersects(r)) hit = true;
    });
    return hit;
  }
  void add(const Rect& r) {
    rects_.push_back(r);
    visit(r, [&](int64_t key) { cells_[key].push_back(rects_.size() - 1); });
  }

 private:
  template <class F>
  void visit(const Rect& r, F&& f) const {
    const int64_t x0 = std::floor(double(r.left) / cellW_),
                  x1 = std::floor(double(r.right) / cellW_);
    const int64_t y0 = std::floor(double(r.top) / cellH_),
                  y1 = std::floor(double(r.bottom) / cellH_);
    for (int64_t y = y0; y <= y1; ++y)
      for (int64_t x = x0; x <= x1; ++x) f((y << 32) ^ (x & 0xFFFFFFFF));
  }
  int32_t cellW_ = 64, cellH_ = 16;
  std::vector<Rect> rects_;
  std::unordered_map<int64_t, std::vector<size_t>> cells_;
};

struct Mark {
  enum Place { Above, Below, Right, Left } place = Above;
  Point anchor;
  std::string text;
  bool boxed = false;
};

// One drawing of a chart: the canvas, the scale of its device and the
// layout found on the way.
class Renderer {
 public:
  Renderer(const Chart& chart, Canvas& canvas, const Rect& r, double scale, ChartLayout& layout)
      : ch_(chart), c_(canvas), r_(r), L_(layout) {
    u_ = std::clamp(scale > 0 ? scale : canvas.dpiY() / 96.0, 0.01, 1000.0);
    // Small charts get smaller type, down to 55 %.
    const double side = std::min(r.width(), r.height()) / u_;
    shrink_ = std::clamp(side / 220.0, 0.55, 1.0);
  }

  void run();

 private:
  const Chart& ch_;
  Canvas& c_;
  Rect r_;
  ChartLayout& L_;
  double u_ = 1;
  double shrink_ = 1;
  std::vector<Mark> marks_;
  PlacedRects placed_;

  int32_t U(double v) const { return px(v * u_); }

  // ---- primitives: filled shapes only, so thin lines stay exact on any device
  void fill(const Rect& r, Color color) {
    if (r.isEmpty()) return;
    c_.setBrush({color, BrushStyle::Solid});
    c_.fillRect(r);
  }
  void polygon(std::vector<Point> pts, Color color) {
    c_.setPen({color, 0, PenStyle::Clear, PenMode::Copy});
    c_.setBrush({color, BrushStyle::Solid});
    c_.polygon(pts);
  }
  // A line of thickness `t` as a filled quadrilateral.
  void thickLine(Point a, Point b, double t, Color color) {
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double len = std::hypot(dx, dy);
    if (len <= 0) return;
    const double nx = -dy / len * t / 2, ny = dx / len * t / 2;
    polygon({{px(a.x + nx), px(a.y + ny)},
             {px(b.x + nx), px(b.y + ny)},
             {px(b.x - nx), px(b.y - ny)},
             {px(a.x - nx), px(a.y - ny)}},
            color);
  }
  void dot(Point p, int32_t radius, Color color, Color rim) {
    c_.setPen({rim, 0, rim == clNone ? PenStyle::Clear : PenStyle::Solid, PenMode::Copy});
    c_.setBrush({color, BrushStyle::Solid});
    c_.ellipse({p.x - radius, p.y - radius, p.x + radius + 1, p.y + radius + 1});
  }
  void hairline(Point a, Point b, Color color) {
    c_.setPen({color, 0, PenStyle::Solid, PenMode::Copy});
    c_.moveTo(a.x, a.y);
    c_.lineTo(b.x, b.y);
  }
  // Thin horizontal and vertical rules, on whole pixels of the picture so
  // that stretching never rounds them away.
  int32_t snap(int32_t v) const {
    const int32_t g = std::max(1, U(1));
    return int32_t(std::floor(double(v) / g) * g);
  }
  void hrule(int32_t x1, int32_t x2, int32_t y, Color color) {
    y = snap(y);
    fill({std::min(x1, x2), y, std::max(x1, x2), y + std::max(1, U(1))}, color);
  }
  void vrule(int32_t x, int32_t y1, int32_t y2, Color color) {
    x = snap(x);
    fill({x, std::min(y1, y2), x + std::max(1, U(1)), std::max(y1, y2)}, color);
  }
  // A thin edge of a wall: a rule when it is level or upright, else a
  // line of one device pixel (a filled sliver that thin may vanish).
  void edge(Point a, Point b, Color color) {
    if (a.y == b.y)
      hrule(a.x, b.x, a.y, color);
    else if (a.x == b.x)
      vrule(a.x, a.y, b.y, color);
    else if (U(1) >= 3)
      thickLine(a, b, U(1), color);
    else
      hairline(a, b, color);
  }

  // ---- text
  void useFont(const ChartFont& f, int32_t escapement = 0) {
    FontSpec s;
    s.face = f.face;
    s.height = -std::max(1, px(std::clamp(f.size, 1.0, 200.0) * shrink_ * u_ * 96.0 / 72.0));
    s.weight = f.bold ? 700 : 400;
    s.charset = f.charset;
    s.escapement = s.orientation = escapement;
    c_.setFont(s);
    c_.setTextColor(f.color);
    c_.setBkMode(BkMode::Transparent);
  }
  int32_t textHeight() const { return std::max(1, c_.textMetrics().height); }
  // Cuts a text that is wider than `maxWidth`, ending it with "...".
  std::string fitted(const std::string& text, int32_t maxWidth) const {
    if (c_.textWidth(text) <= maxWidth) return text;
    const std::string dots = "...";
    // Halving, so a label of any length costs a few measurements.
    size_t lo = 0, hi = text.size();
    while (lo < hi) {
      const size_t mid = (lo + hi + 1) / 2;
      if (c_.textWidth(text.substr(0, mid) + dots) <= maxWidth)
        lo = mid;
      else
        hi = mid - 1;
    }
    return lo == 0 ? std::string() : text.substr(0, lo) + dots;
  }

  std::vector<LegendItem> legendItems() const;
  Rect drawLegend(Rect& area);
  void drawPies(const Rect& area);
  void drawPie(const ChartSeries& s, size_t index, const Rect& cell, bool eachPoint);
  void drawCartesian(const Rect& area);
  void placeMarks();
  struct PieMark {
    Point on;  // where the leader leaves the pie
    std::string text;
    double sweep;
    int32_t y = 0;
  };
  void placePieMarks(std::vector<PieMark>& side, bool right, Point centre);
};

std::vector<LegendItem> Renderer::legendItems() const {
  std::vector<LegendItem> items;
  if (ch_.seriesCount() == 1) {
    // One series: the legend names its points.
    const ChartSeries& s = ch_.series(0);
    for (size_t i = 0; i < s.points().size(); ++i) {
      const ChartPoint& p = s.points()[i];
      items.push_back({pointColor(s, 0, i, s.colorEachPoint),
                       p.label.empty() ? formatChartNumber(p.value, -1) : p.label, s.kind()});
    }
  } else if (ch_.seriesCount() > 1 && ch_.series(0).kind() == ChartSeriesKind::Pie) {
    // Several pies share the colours of their points: the legend names those.
    const ChartSeries& s = ch_.series(0);
    for (size_t i = 0; i < s.points().size(); ++i)
      items.push_back(
          {pointColor(s, 0, i, true),
           s.points()[i].label.empty() ? formatChartNumber(double(i + 1), 0) : s.points()[i].label,
           ChartSeriesKind::Pie});
  } else {
    for (size_t j = 0; j < ch_.seriesCount(); ++j)
      items.push_back({seriesColor(ch_.series(j), j), ch_.series(j).title, ch_.series(j).kind()});
  }
  return items;
}

Rect Renderer::drawLegend(Rect& area) {
  if (!ch_.legendVisible) return {};
  std::vector<LegendItem> items = legendItems();
  if (items.empty() || area.width() < U(120) || area.height() < U(20)) return {};
  useFont(ch_.legendFont);
  const int32_t th = textHeight();
  const int32_t sym = std::max(1, px(th * 0.75));
  const int32_t itemH = std::max(1, px(th * 1.45));
  const int32_t gap = std::max(1, px(th * 0.5));
  int32_t maxText = 0;
  for (const LegendItem& it : items) maxText = std::max(maxText, c_.textWidth(it.text));
  const int32_t cap = std::max(int32_t(0), px(area.width() * 0.35) - sym - gap);
  maxText = std::min(maxText, cap);
  const int32_t width = sym + gap + maxText;
  // As many items as fit; the last place says that more follow.
  size_t shown = items.size();
  const size_t fit = size_t(std::max(1, area.height() / itemH));
  if (shown > fit) {
    shown = fit;
    items[shown - 1] = {kLeader, "...", ChartSeriesKind::Bar, true};
  }
  const int32_t height = int32_t(shown) * itemH;
  const Rect box{area.right - width, area.top + (area.height() - height) / 2, area.right,
                 area.top + (area.height() - height) / 2 + height};
  for (size_t i = 0; i < shown; ++i) {
    const LegendItem& it = items[i];
    const int32_t y = box.top + int32_t(i) * itemH;
    const int32_t sy = y + (itemH - sym) / 2;
    if (it.more) {
    } else if (it.kind == ChartSeriesKind::Line) {
      const int32_t t = std::max(1, sym / 4);
      fill({box.left, sy + (sym - t) / 2, box.left + sym, sy + (sym - t) / 2 + t}, it.color);
      dot({box.left + sym / 2, sy + sym / 2}, std::max(1, sym / 4), it.color, clNone);
    } else if (it.kind == ChartSeriesKind::Point) {
      dot({box.left + sym / 2, sy + sym / 2}, std::max(1, sym / 2 - 1), it.color, clNone);
    } else {
      fill({box.left, sy, box.left + sym, sy + sym}, it.color);
    }
    useFont(ch_.legendFont);
    c_.textOut(box.left + sym + gap, y + (itemH - th) / 2, fitted(it.text, maxText));
  }
  area.right = box.left - U(12);
  return box;
}

void Renderer::run() {
  L_ = ChartLayout{};
  L_.chart = r_;
  placed_.setCell(U(64), U(16));
  c_.save();
  c_.intersectClipRect(r_);
  fill(r_, ch_.backColor == clNone ? clWhite : resolveColor(ch_.backColor));
  if (ch_.frameVisible) {
    const int32_t t = std::max(1, U(1));
    fill({r_.left, r_.top, r_.right, r_.top + t}, kAxisLine);
    fill({r_.left, r_.bottom - t, r_.right, r_.bottom}, kAxisLine);
    fill({r_.left, r_.top, r_.left + t, r_.bottom}, kAxisLine);
    fill({r_.right - t, r_.top, r_.right, r_.bottom}, kAxisLine);
  }
  const int32_t pad = std::max(1, std::min(U(10), std::min(r_.width(), r_.height()) / 20));
  Rect area{r_.left + pad, r_.top + pad, r_.right - pad, r_.bottom - pad};
  if (!ch_.title.empty()) {
    useFont(ch_.titleFont);
    const std::string t = fitted(ch_.title, area.width());
    c_.textOut(area.left + (area.width() - c_.textWidth(t)) / 2, area.top, t);
    area.top += textHeight() + pad / 2;
  }
  L_.legend = drawLegend(area);
  if (!area.isEmpty() && ch_.seriesCount() > 0) {
    if (ch_.series(0).kind() == ChartSeriesKind::Pie)
      drawPies(area);
    else
      drawCartesian(area);
  }
  placeMarks();
  c_.restore();
}

// ------------------------------------------------------------ pies

void Renderer::drawPies(const Rect& area) {
  const size_t n = ch_.seriesCount();
  const int32_t cellW = area.width() / int32_t(n);
  if (cellW <= 0) return;
  for (size_t j = 0; j < n; ++j) {
    Rect cell{area.left + int32_t(j) * cellW, area.top, area.left + int32_t(j + 1) * cellW,
              area.bottom};
    const ChartSeries& s = ch_.series(j);
    if (n > 1 && !s.title.empty()) {
      // Each of several pies is named under itself.
      useFont(ch_.legendFont);
      const std::string t = fitted(s.title, cell.width());
      cell.bottom -= textHeight();
      c_.textOut(cell.left + (cell.width() - c_.textWidth(t)) / 2, cell.bottom, t);
      cell.bottom -= U(4);
    }
    drawPie(s, j, cell, s.colorEachPoint || n > 1);
  }
}

void Renderer::drawPie(const ChartSeries& s, size_t index, const Rect& cell, bool eachPoint) {
  const auto& pts = s.points();
  const double total = seriesTotal(s);
  // Looking down at the pie: 270 is straight from above, 360 from the side.
  const double tilt = std::fmod(std::fmod(360.0 - ch_.elevation, 360.0) + 360.0, 360.0);
  const double ratio = ch_.view3D ? std::clamp(std::sin(tilt * kPi / 180), 0.35, 1.0) : 1.0;
  const bool marks = s.marksVisible && total > 0;

  std::vector<std::string> texts;
  int32_t markW = 0, markH = 0;
  if (marks) {
    useFont(ch_.marksFont);
    markH = textHeight();
    for (const ChartPoint& p : pts) {
      texts.push_back(fitted(markText(s, p, total), cell.width() / 4));
      markW = std::max(markW, c_.textWidth(texts.back()));
    }
  }
  const int32_t leader = marks ? U(14) : 0;
  const double roomX = marks ? markW + leader + U(8) : 0;
  const double roomY = marks ? markH + leader : 0;
  auto radiusFor = [&](double thicknessShare) {
    return std::min((cell.width() - 2 * roomX) / 2,
                    (cell.height() - 2 * roomY) / (2 * ratio + thicknessShare));
  };
  const double share =
      ch_.view3D ? 0.2 * std::clamp(std::cos(tilt * kPi / 180) / 0.7071, 0.3, 1.4) : 0.0;
  double R = radiusFor(share);
  // Marks that would leave too small a pie go over its edge instead.
  const double least = std::min(cell.width(), cell.height()) / 5.0;
  if (R < least) R = std::min(cell.width() / 2.0, cell.height() / (2 * ratio + share)) * 0.7;
  if (R < 1) return;
  const double b = R * ratio;
  const int32_t thick = px(R * share);
  const double cx = cell.left + cell.width() / 2.0;
  const double cy = cell.top + (cell.height() - thick) / 2.0;
  const Rect box{px(cx - R), px(cy - b), px(cx + R), px(cy + b)};
  if (index == 0) L_.plot = box;

  if (total <= 0) {
    // Nothing to share out: the pie's outline only.
    c_.setPen({kAxisLine, 0, PenStyle::Solid, PenMode::Copy});
    c_.setBrush({clWhite, BrushStyle::Clear});
    c_.ellipse(box);
    return;
  }
  // Wedges run clockwise from the start; angles are counter-clockwise
  // degrees from three o'clock.
  std::vector<std::pair<double, double>> wedges;  // (end, start): end < start
  // The rotation turns the pie clockwise; 360 (or 0) starts at twelve.
  double at = 90 - std::fmod(double(ch_.rotation), 360.0);
  for (const ChartPoint& p : pts) {
    const double sweep = std::abs(clampValue(p.value)) / total * 360;
    wedges.push_back({at - sweep, at});
    at -= sweep;
  }
  auto rim = [&](double deg, double dy) {
    const double a = deg * kPi / 180;
    return Point{px(cx + R * std::cos(a)), px(cy - b * std::sin(a) + dy)};
  };
  if (thick > 0) {
    // The visible side: the front half of the rim, wedge by wedge.
    for (size_t i = 0; i < pts.size(); ++i) {
      const auto [from, to] = wedges[i];
      if (to - from <= 0) continue;
      const Color side = darker(pointColor(s, index, i, eachPoint), 0.28);
      const int steps = std::max(2, int(std::ceil((to - from) / 3)));
      std::vector<Point> top, run;
      auto flush = [&] {
        if (top.size() >= 2) {
          std::vector<Point> poly = top;
          for (auto it = top.rbegin(); it != top.rend(); ++it)
            poly.push_back({it->x, it->y + thick});
          polygon(poly, side);
        }
        top.clear();
      };
      for (int k = 0; k <= steps; ++k) {
        const double deg = from + (to - from) * k / steps;
        if (std::sin(deg * kPi / 180) <= 1e-9)
          top.push_back(rim(deg, 0));
        else
          flush();
      }
      flush();
    }
  }
  // Wedge radials are given far outside the pie, which fixes their direction
  // to a fraction of a degree whatever the size.
  const double far = 8 * R + 10000;
  auto radial = [&](double deg) {
    const double a = deg * kPi / 180;
    return Point{px(cx + far * std::cos(a)), px(cy - far * ratio * std::sin(a))};
  };
  for (size_t i = 0; i < pts.size(); ++i) {
    const auto [from, to] = wedges[i];
    if (to - from <= 0) continue;
    c_.setPen({clWhite, 0, PenStyle::Solid, PenMode::Copy});
    c_.setBrush({pointColor(s, index, i, eachPoint), BrushStyle::Solid});
    if (to - from >= 360 - 1e-9) {
      c_.ellipse(box);
      continue;
    }
    const Point p0 = radial(from), p1 = radial(to);
    if (p0 == p1) continue;  // too thin to see; equal radials would fill the whole pie
    c_.pie(box, p0, p1);
  }
  if (!marks) return;
  std::vector<PieMark> left, right;
  for (size_t i = 0; i < pts.size(); ++i) {
    const auto [from, to] = wedges[i];
    if (to - from <= 0 || texts[i].empty()) continue;
    const double mid = (from + to) / 2;
    const double a = mid * kPi / 180;
    const bool front = std::sin(a) < 0;
    // Marks of the front half start from the bottom of the pie's side.
    const Point on = rim(mid, front ? thick : 0);
    (std::cos(a) >= 0 ? right : left).push_back({on, texts[i], to - from});
  }
  const Point centre{px(cx), px(cy)};
  placePieMarks(right, true, centre);
  placePieMarks(left, false, centre);
}

void Renderer::placePieMarks(std::vector<PieMark>& items, bool right, Point centre) {
  if (items.empty()) return;
  useFont(ch_.marksFont);
  const int32_t h = textHeight();
  const int32_t lineH = h + U(2);
  const int32_t leader = U(14);
  for (PieMark& m : items) {
    const double dx = double(m.on.x) - centre.x, dy = double(m.on.y) - centre.y;
    const double len = std::max(1.0, std::hypot(dx, dy));
    m.y = px(m.on.y + dy / len * leader);
  }
  // More marks than lines on this side: the thinnest wedges lose theirs.
  const size_t room = size_t(std::max(1, (r_.height() - U(4)) / lineH));
  if (items.size() > room) {
    std::nth_element(items.begin(), items.begin() + ptrdiff_t(room), items.end(),
                     [](const PieMark& a, const PieMark& b) { return a.sweep > b.sweep; });
    items.resize(room);
  }
  // Spread from top to bottom without overlapping, each as near its wedge as may be.
  std::sort(items.begin(), items.end(),
            [](const PieMark& a, const PieMark& b) { return a.y < b.y; });
  const int32_t top = r_.top + U(2), bottom = r_.bottom - U(2);
  for (size_t i = 0; i < items.size(); ++i) {
    const int32_t least = i == 0 ? top + h / 2 : items[i - 1].y + lineH;
    items[i].y = std::max(items[i].y, least);
  }
  for (size_t i = items.size(); i-- > 0;) {
    const int32_t most = i + 1 == items.size() ? bottom - h / 2 : items[i + 1].y - lineH;
    items[i].y = std::min(items[i].y, most);
  }
  for (const PieMark& it : items) {
    const double dx = double(it.on.x) - centre.x, dy = double(it.on.y) - centre.y;
    const double len = std::max(1.0, std::hypot(dx, dy));
    const Point elbow{px(it.on.x + dx / len * leader), it.y};
    const Point end{elbow.x + (right ? U(6) : -U(6)), it.y};
    hairline(it.on, elbow, kLeader);
    hairline(elbow, end, kLeader);
    useFont(ch_.marksFont);
    const int32_t w = c_.textWidth(it.text);
    int32_t x = right ? end.x + U(3) : end.x - U(3) - w;
    x = std::clamp(x, r_.left + U(2), std::max(r_.left + U(2), r_.right - U(2) - w));
    c_.textOut(x, it.y - h / 2, it.text);
    placed_.add({x, it.y - h / 2, x + w, it.y - h / 2 + h});
  }
}

// ------------------------------------------------------------ axes, bars, lines

void Renderer::drawCartesian(const Rect& area) {
  const bool horizontal = ch_.series(0).kind() == ChartSeriesKind::HorizBar;
  size_t n = 0;
  double lo = 0, hi = 0;
  bool any = false, fromZero = false;
  size_t bars = 0;
  bool marks = false;
  for (size_t j = 0; j < ch_.seriesCount(); ++j) {
    const ChartSeries& s = ch_.series(j);
    n = std::max(n, s.points().size());
    const ChartSeriesKind k = s.kind();
    if (k == ChartSeriesKind::Bar || k == ChartSeriesKind::HorizBar) ++bars;
    if (k != ChartSeriesKind::Line && k != ChartSeriesKind::Point) fromZero = true;
    if (s.marksVisible && !s.points().empty()) marks = true;
    for (const ChartPoint& p : s.points()) {
      const double v = clampValue(p.value);
      lo = any ? std::min(lo, v) : v;
      hi = any ? std::max(hi, v) : v;
      any = true;
    }
  }
  if (fromZero || !any) {
    lo = std::min(lo, 0.0);
    hi = std::max(hi, 0.0);
  }
  // A chart too small to carry axis labels shows its series alone.
  useFont(ch_.axisFonts[0]);
  const bool axes =
      ch_.axisVisible && area.height() >= 8 * textHeight() && area.width() >= 10 * textHeight();

  // Depth of the 3D view: the front plane leaves room up and to the right.
  Rect front = area;
  if (ch_.view3D) {
    const double d = std::min(area.width(), area.height()) * std::clamp(ch_.depthPercent, 0, 100) /
                     100.0 * (ch_.orthogonal ? 1.0 : 0.8);
    L_.depthX = px(d * std::cos(kPi / 4));
    L_.depthY = px(d * std::sin(kPi / 4));
    front.right -= L_.depthX;
    front.top += L_.depthY;
  }
  const int32_t dX = L_.depthX, dY = L_.depthY;

  // Room for marks beyond the bars' or points' ends.
  int32_t markRoom = 0;
  if (marks) {
    useFont(ch_.marksFont);
    if (horizontal) {
      for (size_t j = 0; j < ch_.seriesCount(); ++j)
        for (const ChartPoint& p : ch_.series(j).points())
          markRoom = std::max(markRoom, c_.textWidth(markText(ch_.series(j), p, 1)));
      markRoom = std::min(markRoom + U(6), front.width() / 3);
    } else {
      markRoom = textHeight() + U(8);
    }
  }
  // Marks go beyond the high end, and below bars and areas under zero.
  const int32_t roomHi = hi > 0 || !fromZero ? markRoom : 0;
  const int32_t roomLo = lo < 0 && fromZero ? markRoom : 0;

  const ChartFont& valueFont = ch_.axisFonts[horizontal ? 1 : 0];
  const ChartFont& catFont = ch_.axisFonts[horizontal ? 0 : 1];
  auto categoryLabel = [&](size_t i) -> std::string {
    for (size_t j = 0; j < ch_.seriesCount(); ++j) {
      const auto& pts = ch_.series(j).points();
      if (i < pts.size() && !pts[i].label.empty()) return pts[i].label;
    }
    return formatChartNumber(double(i + 1), 0);
  };
  const int32_t tickGap = U(6);

  Rect plot = front;
  AxisTicks ticks;
  size_t labelStep = 1;
  bool rotated = false;
  int32_t labelCap = 0;
  if (axes && n > 0) {
    useFont(catFont);
    const int32_t ch = textHeight();
    int32_t maxLabel = 0;
    for (size_t i = 0; i < n; ++i) maxLabel = std::max(maxLabel, c_.textWidth(categoryLabel(i)));
    useFont(valueFont);
    const int32_t vh = textHeight();
    auto valueLabelWidth = [&](const AxisTicks& t) {
      int32_t w = 0;
      const int count = std::min(200, int(std::lround((t.last - t.first) / t.step)));
      for (int k = 0; k <= count; ++k)
        w = std::max(w, c_.textWidth(formatChartNumber(t.first + k * t.step, t.decimals)));
      return w;
    };
    if (!horizontal) {
      // The value labels' width depends on the ticks, which depend on the
      // height the category labels leave: estimate, then settle.
      ticks = niceTicks(lo, hi, std::max(2, (front.height() - 2 * ch) / (vh * 2)));
      plot.left = front.left + valueLabelWidth(ticks) + tickGap;
      const double slot = double(plot.width()) / double(n);
      const int32_t gap = px(ch * 0.5);
      const size_t stepFlat = size_t(std::ceil((maxLabel + gap) / std::max(1.0, slot)));
      const size_t stepUp = size_t(std::ceil(ch * 1.3 / std::max(1.0, slot)));
      int32_t room = ch + tickGap;
      if (stepFlat > 1 && stepUp < stepFlat) {
        rotated = true;
        labelStep = std::max<size_t>(1, stepUp);
        labelCap = std::max(ch, px(area.height() * 0.3));
        room = std::min(maxLabel, labelCap) + tickGap;
      } else {
        labelStep = std::max<size_t>(1, stepFlat);
        labelCap = std::max(int32_t(0), px(slot * double(labelStep)) - gap);
      }
      plot.bottom = front.bottom - room - roomLo;
      plot.top = front.top + roomHi;
      ticks = niceTicks(lo, hi, std::max(1, plot.height() / (vh * 2)));
      plot.left = front.left + valueLabelWidth(ticks) + tickGap;
    } else {
      const int32_t cap = std::max(int32_t(0), px(area.width() * 0.3));
      labelCap = std::min(maxLabel, cap);
      plot.left = front.left + labelCap + tickGap + roomLo;
      plot.bottom = front.bottom - vh - tickGap;
      plot.right = front.right - roomHi;
      const double slot = double(plot.height()) / double(n);
      labelStep = std::max<size_t>(1, size_t(std::ceil(ch * 1.2 / std::max(1.0, slot))));
      ticks = niceTicks(lo, hi, 6);
      for (int pass = 0; pass < 2; ++pass) {
        const int32_t w = valueLabelWidth(ticks) + 3 * vh;
        ticks = niceTicks(lo, hi, std::max(1, plot.width() / std::max(1, w)));
      }
    }
  } else {
    if (horizontal) {
      plot.right = front.right - roomHi;
      plot.left = front.left + roomLo;
    } else {
      plot.top = front.top + roomHi;
      plot.bottom = front.bottom - roomLo;
    }
    ticks = niceTicks(lo, hi, 5);
  }
  if (plot.width() <= 0 || plot.height() <= 0) return;
  L_.plot = plot;
  L_.axisMin = ticks.first;
  L_.axisMax = ticks.last;
  L_.axisStep = ticks.step;
  L_.categoryLabelsRotated = rotated;

  const double span = ticks.last - ticks.first;
  // Position of a value along the value axis.
  auto along = [&](double v) {
    const double t = (clampValue(v) - ticks.first) / span;
    return horizontal ? plot.left + t * plot.width() : plot.bottom - t * plot.height();
  };
  const double zero = along(std::clamp(0.0, ticks.first, ticks.last));

  // Walls, grid and labels.
  if (axes) {
    if (ch_.view3D && ch_.view3DWalls && (dX > 0 || dY > 0)) {
      auto wall = [&](const ChartWall& w, std::vector<Point> pts) {
        if (!w.hollow) polygon(pts, resolveColor(w.color));
        for (size_t i = 0; i < pts.size(); ++i) {
          const Point a = pts[i], b = pts[(i + 1) % pts.size()];
          edge(a, b, kWallLine);
        }
      };
      const Rect back{plot.left + dX, plot.top - dY, plot.right + dX, plot.bottom - dY};
      wall(ch_.backWall, {{back.left, back.top},
                          {back.right, back.top},
                          {back.right, back.bottom},
                          {back.left, back.bottom}});
      wall(ch_.leftWall, {{plot.left, plot.top},
                          {back.left, back.top},
                          {back.left, back.bottom},
                          {plot.left, plot.bottom}});
      wall(ch_.bottomWall, {{plot.left, plot.bottom},
                            {back.left, back.bottom},
                            {back.right, back.bottom},
                            {plot.right, plot.bottom}});
    }
    useFont(valueFont);
    const int32_t vh = textHeight();
    const int count = std::min(200, int(std::lround(span / ticks.step)));
    for (int k = 0; k <= count; ++k) {
      const double v = ticks.first + k * ticks.step;
      const int32_t at = px(along(v));
      const std::string text = formatChartNumber(v, ticks.decimals);
      const int32_t w = c_.textWidth(text);
      if (!horizontal) {
        if (k > 0 && k < count) hrule(plot.left + dX, plot.right + dX, at - dY, kGrid);
        if (dX > 0 || dY > 0) edge({plot.left, at}, {plot.left + dX, at - dY}, kGrid);
        useFont(valueFont);
        c_.textOut(plot.left - tickGap - w, at - vh / 2, text);
      } else {
        if (k > 0 && k < count) vrule(at + dX, plot.top - dY, plot.bottom - dY, kGrid);
        if (dX > 0 || dY > 0) edge({at, plot.bottom}, {at + dX, plot.bottom - dY}, kGrid);
        useFont(valueFont);
        c_.textOut(at - w / 2, plot.bottom + tickGap, text);
      }
    }
    useFont(catFont);
    const int32_t ch = textHeight();
    size_t shown = 0;
    for (size_t i = 0; i < n; i += labelStep) {
      const std::string text = fitted(categoryLabel(i), labelCap);
      if (text.empty()) continue;
      const int32_t w = c_.textWidth(text);
      if (!horizontal) {
        const int32_t x = px(plot.left + (i + 0.5) * plot.width() / double(n));
        // Below the marks of bars under zero.
        const int32_t y = plot.bottom + roomLo + tickGap;
        if (rotated) {
          // Read upwards, ending just under the axis.
          useFont(catFont, 900);
          c_.textOut(x - ch / 2, y + w, text);
          useFont(catFont);
        } else {
          c_.textOut(x - w / 2, y, text);
        }
      } else {
        const int32_t y = px(plot.top + (i + 0.5) * plot.height() / double(n));
        c_.textOut(plot.left - tickGap - w, y - ch / 2, text);
      }
      ++shown;
    }
    L_.categoryLabelsShown = shown;
    if (!horizontal) {
      vrule(plot.left, plot.top, plot.bottom, kAxisLine);
    } else {
      hrule(plot.left, plot.right, plot.bottom, kAxisLine);
    }
  }
  if (n == 0) return;

  // Series, back to front: each line, area or point series has its own slice
  // of the depth (the first in front); bars stand side by side in the whole
  // depth.
  const size_t m = ch_.seriesCount();
  const double slot = (horizontal ? plot.height() : plot.width()) / double(n);
  const double group = slot * (bars > 1 ? 0.75 : 0.6);
  const double barW = bars > 0 ? group / double(bars) : 0;
  const size_t slices = std::max<size_t>(1, m - (bars > 0 ? bars - 1 : 0));
  const double sliceX = double(dX) / slices, sliceY = double(dY) / slices;
  std::vector<size_t> barIndex(m, 0), sliceIndex(m, 0);
  {
    size_t b = 0, z = 0;
    bool barSlice = false;
    for (size_t j = 0; j < m; ++j) {
      const ChartSeriesKind k = ch_.series(j).kind();
      if (k == ChartSeriesKind::Bar || k == ChartSeriesKind::HorizBar) {
        barIndex[j] = b++;
        if (!barSlice) sliceIndex[j] = z++, barSlice = true;
      } else {
        sliceIndex[j] = z++;
      }
    }
  }
  std::vector<double> totals;
  for (size_t j = 0; j < m; ++j) totals.push_back(seriesTotal(ch_.series(j)));
  const double centreSpan = horizontal ? plot.top : plot.left;
  auto categoryCentre = [&](size_t i) { return centreSpan + (i + 0.5) * slot; };

  for (size_t jj = m; jj-- > 0;) {
    const ChartSeries& s = ch_.series(jj);
    const ChartSeriesKind kind = s.kind();
    const auto& pts = s.points();
    const bool isBar = kind == ChartSeriesKind::Bar || kind == ChartSeriesKind::HorizBar;
    const Color base = seriesColor(s, jj);
    if (isBar) {
      if (barIndex[jj] != 0) continue;  // all bars are drawn with the first bar series
      // Left to right (upright bars) or bottom to top (lying bars), so that a
      // bar's front hides its neighbour's side.
      for (size_t step = 0; step < n; ++step) {
        const size_t i = horizontal ? n - 1 - step : step;
        for (size_t j = 0; j < m; ++j) {
          const ChartSeries& b = ch_.series(j);
          const ChartSeriesKind bk = b.kind();
          if ((bk != ChartSeriesKind::Bar && bk != ChartSeriesKind::HorizBar) ||
              i >= b.points().size())
            continue;
          const ChartPoint& p = b.points()[i];
          const Color col = pointColor(b, j, i, b.colorEachPoint);
          const double start = categoryCentre(i) - group / 2 + barIndex[j] * barW;
          const double end = start + barW;
          const double v = along(p.value);
          Rect face;
          if (!horizontal) {
            face = {px(start), px(std::min(v, zero)), px(end), px(std::max(v, zero))};
          } else {
            face = {px(std::min(v, zero)), px(start), px(std::max(v, zero)), px(end)};
          }
          if (dX > 0 || dY > 0) {
            polygon({{face.left, face.top},
                     {face.left + dX, face.top - dY},
                     {face.right + dX, face.top - dY},
                     {face.right, face.top}},
                    lighter(col, 0.3));
            polygon({{face.right, face.top},
                     {face.right + dX, face.top - dY},
                     {face.right + dX, face.bottom - dY},
                     {face.right, face.bottom}},
                    darker(col, 0.25));
          }
          fill(face.isEmpty() ? Rect{face.left, face.top, face.right, face.top + 1} : face, col);
          if (b.marksVisible) {
            Mark mk;
            mk.text = markText(b, p, totals[j]);
            if (!horizontal) {
              const bool up = p.value >= 0;
              mk.place = up ? Mark::Above : Mark::Below;
              // Above the top face, or under the front of a bar below zero.
              mk.anchor = up ? Point{(face.left + face.right) / 2 + dX / 2, face.top - dY}
                             : Point{(face.left + face.right) / 2, face.bottom};
            } else {
              const bool up = p.value >= 0;
              mk.place = up ? Mark::Right : Mark::Left;
              mk.anchor = up ? Point{face.right + dX, (face.top + face.bottom) / 2 - dY / 2}
                             : Point{face.left, (face.top + face.bottom) / 2};
            }
            marks_.push_back(mk);
          }
        }
      }
      continue;
    }
    // Lines, areas and points.
    const double zx = sliceIndex[jj] * sliceX, zy = sliceIndex[jj] * sliceY;
    std::vector<Point> at;
    for (size_t i = 0; i < pts.size(); ++i)
      at.push_back({px(categoryCentre(i) + zx), px(along(pts[i].value) - zy)});
    const bool deep = dX > 0 || dY > 0;
    const Point d{px(sliceX), px(-sliceY)};
    const double lineT = std::max(1.0, 2.2 * u_);
    if (kind == ChartSeriesKind::Area && !at.empty()) {
      const int32_t baseY = px(zero - zy);
      // Each point owns the band from halfway to its left neighbour to
      // halfway to its right one, in its own colour when the series colours
      // each point; a single value still shows as a column.
      struct Band {
        Point left, top, right;
        Color color;
      };
      std::vector<Band> bands;
      const int32_t half = std::max(1, px(slot * 0.3));
      for (size_t i = 0; i < at.size(); ++i) {
        auto midway = [&](size_t j) {
          return Point{(at[i].x + at[j].x) / 2, (at[i].y + at[j].y) / 2};
        };
        Point l = i > 0 ? midway(i - 1) : at[i], r = i + 1 < at.size() ? midway(i + 1) : at[i];
        if (at.size() == 1) l = {at[i].x - half, at[i].y}, r = {at[i].x + half, at[i].y};
        bands.push_back({l, at[i], r, pointColor(s, jj, i, s.colorEachPoint)});
      }
      if (deep) {
        for (const Band& b : bands)
          for (auto [a, e] : {std::pair{b.left, b.top}, std::pair{b.top, b.right}})
            polygon({a, e, {e.x + d.x, e.y + d.y}, {a.x + d.x, a.y + d.y}}, lighter(b.color, 0.4));
        const Point last = bands.back().right;
        polygon({last, {last.x + d.x, last.y + d.y}, {last.x + d.x, baseY + d.y}, {last.x, baseY}},
                darker(bands.back().color, 0.25));
      }
      for (const Band& b : bands) {
        polygon({{b.left.x, baseY}, b.left, b.top, b.right, {b.right.x, baseY}},
                lighter(b.color, 0.15));
        thickLine(b.left, b.top, lineT, b.color);
        thickLine(b.top, b.right, lineT, b.color);
      }
    } else if (kind == ChartSeriesKind::Line) {
      if (deep) {
        for (size_t i = 0; i + 1 < at.size(); ++i)
          polygon({at[i],
                   at[i + 1],
                   {at[i + 1].x + d.x, at[i + 1].y + d.y},
                   {at[i].x + d.x, at[i].y + d.y}},
                  lighter(base, 0.45));
      }
      for (size_t i = 0; i + 1 < at.size(); ++i) thickLine(at[i], at[i + 1], lineT, base);
      // Dots on the values while there is room for them.
      if (slot >= 6 * lineT) {
        const int32_t r = std::max(1, px(lineT * 1.9));
        for (size_t i = 0; i < at.size(); ++i)
          dot(at[i], r, pointColor(s, jj, i, s.colorEachPoint), clWhite);
      }
    } else if (kind == ChartSeriesKind::Point) {
      const int32_t r = std::clamp(px(slot * 0.18), std::max(1, U(3)), std::max(1, U(5)));
      for (size_t i = 0; i < at.size(); ++i) {
        const Color col = pointColor(s, jj, i, s.colorEachPoint);
        // In 3D the point sits in the middle of its slice of the depth.
        dot(deep ? Point{at[i].x + d.x / 2, at[i].y + d.y / 2} : at[i], r, col, clWhite);
      }
    }
    if (s.marksVisible) {
      const double total = totals[jj];
      for (size_t i = 0; i < at.size(); ++i) {
        Mark mk;
        mk.text = markText(s, pts[i], total);
        mk.place = pts[i].value >= 0 || kind != ChartSeriesKind::Area ? Mark::Above : Mark::Below;
        // Above the top of the point's slice in 3D.
        mk.anchor = kind == ChartSeriesKind::Point ? Point{at[i].x + d.x / 2, at[i].y + d.y / 2}
                                                   : Point{at[i].x + d.x / 2, at[i].y + d.y};
        mk.anchor.y -= U(4);
        mk.boxed = true;
        marks_.push_back(mk);
      }
    }
  }
  if (axes) {
    // The zero line in front of the series' feet.
    if (!horizontal)
      hrule(plot.left, plot.right, px(zero), kAxisLine);
    else
      vrule(px(zero), plot.top, plot.bottom, kAxisLine);
  } else if (bars > 0 || fromZero) {
    if (!horizontal)
      hrule(plot.left, plot.right + dX, px(zero), kGrid);
    else
      vrule(px(zero), plot.top - dY, plot.bottom, kGrid);
  }
}

void Renderer::placeMarks() {
  if (marks_.empty()) return;
  useFont(ch_.marksFont);
  const int32_t h = textHeight();
  const int32_t padX = U(3), padY = U(1);
  for (const Mark& mk : marks_) {
    if (mk.text.empty()) continue;
    const int32_t w = c_.textWidth(mk.text);
    const int32_t bw = w + 2 * padX, bh = h + 2 * padY;
    int32_t x = 0, y = 0;  // top-left of the box
    switch (mk.place) {
      case Mark::Above:
        x = mk.anchor.x - bw / 2, y = mk.anchor.y - U(3) - bh;
        break;
      case Mark::Below:
        x = mk.anchor.x - bw / 2, y = mk.anchor.y + U(3);
        break;
      case Mark::Right:
        x = mk.anchor.x + U(3), y = mk.anchor.y - bh / 2;
        break;
      case Mark::Left:
        x = mk.anchor.x - U(3) - bw, y = mk.anchor.y - bh / 2;
        break;
    }
    // Inside the chart, and never over a mark already placed: a crowded
    // chart shows fewer marks rather than unreadable ones.
    x = std::clamp(x, r_.left, std::max(r_.left, r_.right - bw));
    y = std::clamp(y, r_.top, std::max(r_.top, r_.bottom - bh));
    const Rect box{x, y, x + bw, y + bh};
    if (placed_.clashes(box)) continue;
    if (mk.boxed) {
      fill(box, kWallLine);
      const int32_t t = std::max(1, U(1));
      fill({box.left + t, box.top + t, box.right - t, box.bottom - t}, clWhite);
    }
    useFont(ch_.marksFont);
    c_.textOut(x + padX, y + padY, mk.text);
    placed_.add(box);
  }
}

}  // namespace

Color chartPaletteColor(size_t index) {
  return kPalette[index % std::size(kPalette)];
}

void ChartSeries::addPoint(double value, std::string label, Color color) {
  points_.push_back({value, std::move(label), color});
}

Chart::Chart() = default;

Chart::~Chart() = default;

void Chart::setFontCharset(uint8_t charset) {
  titleFont.charset = legendFont.charset = marksFont.charset = charset;
  for (ChartFont& f : axisFonts) f.charset = charset;
}

void Chart::removeAllSeries() {
  series_.clear();
}

ChartSeries& Chart::addSeries(ChartSeriesKind kind) {
  series_.push_back(std::make_unique<ChartSeries>(kind));
  return *series_.back();
}

void Chart::draw(Canvas& canvas, const Rect& r, double scale) const {
  if (r.isEmpty()) {
    layout_ = ChartLayout{};
    return;
  }
  Renderer(*this, canvas, r, scale, layout_).run();
}

std::vector<uint8_t> Chart::renderMetafile(Size size) const {
  const int32_t w = std::clamp(size.cx, 0, kMaxMetafileSide),
                h = std::clamp(size.cy, 0, kMaxMetafileSide);
  EmfCanvas meta({0, 0, w * kMetafileScale, h * kMetafileScale}, 96 * kMetafileScale);
  draw(meta, {0, 0, w * kMetafileScale, h * kMetafileScale}, kMetafileScale);
  return meta.finish();
}

}  // namespace orv
