// The charting engine, checked through what a metafile recording receives:
// bars and wedges by count and size, texts by position, ticks by their rule.
#include "charts/chart.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>
#include <random>

#include "addins/addin_test_util.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"

namespace orv {
namespace {

using emftest::ofType;
using emftest::records;

constexpr Rect kBox{0, 0, 960, 600};

// The locale the chart writes numbers with, for one test.
class LocaleGuard {
 public:
  explicit LocaleGuard(const QLocale& l) { QLocale::setDefault(l); }
  ~LocaleGuard() { QLocale::setDefault(kept_); }

 private:
  QLocale kept_;
};

struct Recording {
  std::vector<uint8_t> emf;
  ChartLayout layout;
};

Recording record(const Chart& chart, Rect box = kBox) {
  EmfCanvas c(box);
  chart.draw(c, box);
  return {c.finish(), chart.lastLayout()};
}

bool isStep(double step) {
  const double mag = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double m = step / mag;
  return std::abs(m - 1) < 1e-9 || std::abs(m - 2) < 1e-9 || std::abs(m - 5) < 1e-9;
}

bool inside(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// Text run bounds are inclusive; as a rectangle with exclusive edges.
Rect box(const EmfTextRun& r) {
  return {r.bounds.left, r.bounds.top, r.bounds.right + 1, r.bounds.bottom + 1};
}

TEST(ChartTicks, StepsAreRoundAndTicksCoverTheValues) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> exponent(-6, 9), unit(-1, 1);
  for (int i = 0; i < 3000; ++i) {
    const double scale = std::pow(10.0, exponent(rng));
    double lo = unit(rng) * scale, hi = unit(rng) * scale;
    if (lo > hi) std::swap(lo, hi);
    const int maxTicks = 1 + i % 12;
    const AxisTicks t = niceTicks(lo, hi, maxTicks);
    SCOPED_TRACE(testing::Message() << lo << " .. " << hi << " in " << maxTicks);
    ASSERT_TRUE(isStep(t.step)) << t.step;
    EXPECT_LE(t.first, lo);
    EXPECT_GE(t.last, hi);
    // The ends are whole steps, and no more intervals than asked for (plus
    // the one an end that falls short of a value may add).
    EXPECT_NEAR(t.first / t.step, std::round(t.first / t.step), 1e-6);
    EXPECT_NEAR(t.last / t.step, std::round(t.last / t.step), 1e-6);
    EXPECT_LE(std::lround((t.last - t.first) / t.step), maxTicks + 2);
    // A step smaller by one notch would have needed too many intervals.
    const double finer = t.step / (isStep(t.step / 2) ? 2 : 2.5);
    EXPECT_GT(std::ceil((hi - lo) / finer - 1e-9), maxTicks - 1);
  }
}

TEST(ChartTicks, DegenerateAndHostileRanges) {
  AxisTicks t = niceTicks(0, 0, 5);
  EXPECT_EQ(t.first, 0);
  EXPECT_EQ(t.last, 1);
  t = niceTicks(50, 50, 5);
  EXPECT_LE(t.first, 50);
  EXPECT_GE(t.last, 50);
  EXPECT_LT(t.first, t.last);
  for (auto [lo, hi] : {std::pair{-1e308, 1e308}, {1e300, 1e300}, {NAN, 5.0}, {0.0, INFINITY}}) {
    t = niceTicks(lo, hi, 5);
    EXPECT_TRUE(std::isfinite(t.first) && std::isfinite(t.last) && t.step > 0);
    EXPECT_LE(std::lround((t.last - t.first) / t.step), 7);
  }
  // 1e16 + 2 is beyond what steps of 0.5 can count from 1e16 exactly.
  t = niceTicks(1e16, 1e16 + 2, 4);
  EXPECT_LE(t.first, 1e16);
  EXPECT_GE(t.last, 1e16 + 2);
}

TEST(ChartNumbers, WrittenWithTheLocaleSeparators) {
  {
    LocaleGuard g(QLocale(QLocale::Portuguese, QLocale::Brazil));
    EXPECT_EQ(formatChartNumber(1234.5, -1), "1.234,5");
    EXPECT_EQ(formatChartNumber(1234.5, 2), "1.234,50");
    EXPECT_EQ(formatChartNumber(-0.001, 2), "0,00");
    EXPECT_EQ(formatChartNumber(7, -1), "7");
  }
  LocaleGuard g(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(formatChartNumber(0.125, -1), "0.13");
  EXPECT_EQ(formatChartNumber(2500, 0), "2,500");
}

Chart& barChart(Chart& c, ChartSeriesKind kind, std::vector<double> values, bool eachPoint) {
  ChartSeries& s = c.addSeries(kind);
  s.colorEachPoint = eachPoint;
  const char* names[] = {"Alfa", "Beta", "Gama", "Delta", "Eta", "Teta"};
  for (size_t i = 0; i < values.size(); ++i) s.addPoint(values[i], names[i % 6]);
  return c;
}

TEST(Chart, OneBarPerPointWithHeightsInProportionToTheValues) {
  LocaleGuard g(QLocale::c());
  for (bool threeD : {false, true}) {
    for (ChartSeriesKind kind : {ChartSeriesKind::Bar, ChartSeriesKind::HorizBar}) {
      SCOPED_TRACE(testing::Message() << threeD << " " << int(kind));
      Chart c;
      c.view3D = threeD;
      barChart(c, kind, {10, 40, 25, 5}, false);
      const Recording rec = record(c);
      const Rect plot = rec.layout.plot;
      const Color colour = chartPaletteColor(0);
      std::vector<Rect> bars;
      for (const auto& f : addintest::readDrawing(rec.emf).fills)
        if (f.color == colour && inside(f.r, plot)) bars.push_back(f.r);
      ASSERT_EQ(bars.size(), 4u);
      const double span = rec.layout.axisMax - rec.layout.axisMin;
      const bool upright = kind == ChartSeriesKind::Bar;
      const double length = upright ? plot.height() : plot.width();
      const double values[] = {10, 40, 25, 5};
      // Upright bars run left to right; lying bars are drawn from the last up.
      for (size_t i = 0; i < 4; ++i) {
        const Rect& b = bars[upright ? i : 3 - i];
        const int32_t size = upright ? b.height() : b.width();
        EXPECT_NEAR(size, values[i] / span * length, 1.0) << i;
      }
      if (threeD) {
        EXPECT_GT(rec.layout.depthX, 0);
        EXPECT_GT(rec.layout.depthY, 0);
      }
    }
  }
}

TEST(Chart, SeveralBarSeriesStandSideBySide) {
  Chart c;
  c.view3D = false;
  for (int j = 0; j < 3; ++j) {
    ChartSeries& s = c.addSeries(ChartSeriesKind::Bar);
    s.title = "S" + std::to_string(j);
    for (int i = 0; i < 4; ++i) s.addPoint(10 + i + j);
  }
  const Recording rec = record(c);
  std::vector<std::vector<Rect>> bars(3);
  for (const auto& f : addintest::readDrawing(rec.emf).fills)
    for (size_t j = 0; j < 3; ++j)
      if (f.color == chartPaletteColor(j) && inside(f.r, rec.layout.plot)) bars[j].push_back(f.r);
  for (size_t j = 0; j < 3; ++j) ASSERT_EQ(bars[j].size(), 4u) << j;
  for (size_t i = 0; i < 4; ++i) {
    // The same width, touching, in series order, none reaching into the next category.
    EXPECT_EQ(bars[0][i].right, bars[1][i].left);
    EXPECT_EQ(bars[1][i].right, bars[2][i].left);
    if (i + 1 < 4) {
      EXPECT_LT(bars[2][i].right, bars[0][i + 1].left);
    }
  }
}

TEST(Chart, OneWedgePerPointIn2DAnd3D) {
  for (bool threeD : {false, true}) {
    Chart c;
    c.view3D = threeD;
    c.elevation = 315;
    barChart(c, ChartSeriesKind::Pie, {5, 1, 9, 3, 7}, true);
    const Recording rec = record(c);
    const auto recs = records(rec.emf);
    EXPECT_EQ(ofType(recs, emf::EMR_PIE).size(), 5u) << threeD;
    // A 3D pie is an ellipse wider than high with a side below it.
    const Rect p = rec.layout.plot;
    if (threeD) {
      EXPECT_LT(p.height(), p.width() * 0.8);
    } else {
      EXPECT_NEAR(p.height(), p.width(), 1);
    }
  }
  // Zero values have no wedge; a single value is the whole pie.
  Chart c;
  barChart(c, ChartSeriesKind::Pie, {0, 4, 0}, true);
  const auto recs = records(record(c).emf);
  EXPECT_EQ(ofType(recs, emf::EMR_PIE).size(), 0u);
  EXPECT_EQ(ofType(recs, emf::EMR_ELLIPSE).size(), 1u);
}

TEST(Chart, LabelsValuesAndLegendAreTextsInsideTheChart) {
  LocaleGuard g(QLocale::c());
  for (ChartSeriesKind kind :
       {ChartSeriesKind::Line, ChartSeriesKind::Area, ChartSeriesKind::Point, ChartSeriesKind::Bar,
        ChartSeriesKind::HorizBar, ChartSeriesKind::Pie}) {
    for (bool threeD : {false, true}) {
      SCOPED_TRACE(testing::Message() << int(kind) << " " << threeD);
      Chart c;
      c.view3D = threeD;
      c.title = "Vendas";
      barChart(c, kind, {123, 347, 91}, true);
      const Rect where{100, 50, 700, 450};
      const Recording rec = record(c, where);
      std::vector<std::string> texts;
      for (const EmfTextRun& r : enumerateTextRuns(rec.emf)) {
        EXPECT_TRUE(inside(box(r), where)) << r.text;
        texts.push_back(r.text);
      }
      auto count = [&](const std::string& t) { return std::count(texts.begin(), texts.end(), t); };
      EXPECT_EQ(count("Vendas"), 1);
      for (const char* v : {"123", "347", "91"}) EXPECT_EQ(count(v), 1) << v;  // the marks
      // The legend names the points; the category axis too when shown.
      const int axes = kind == ChartSeriesKind::Pie ? 1 : 2;
      for (const char* l : {"Alfa", "Beta", "Gama"}) EXPECT_EQ(count(l), axes) << l;
      EXPECT_FALSE(rec.layout.legend.isEmpty());
      EXPECT_FALSE(rec.layout.plot.intersects(rec.layout.legend));
    }
  }
}

TEST(Chart, ValueAxisLabelsAreRoundTicksCoveringTheData) {
  LocaleGuard g(QLocale::c());
  for (ChartSeriesKind kind :
       {ChartSeriesKind::Line, ChartSeriesKind::Bar, ChartSeriesKind::HorizBar}) {
    Chart c;
    c.legendVisible = false;
    barChart(c, kind, {-37.5, 412, 96, 250}, false).series(0).marksVisible = false;
    const Recording rec = record(c);
    const Rect plot = rec.layout.plot;
    std::vector<double> ticks;
    for (const EmfTextRun& r : enumerateTextRuns(rec.emf)) {
      const bool onAxis = kind == ChartSeriesKind::HorizBar ? r.bounds.top >= plot.bottom
                                                            : r.bounds.right < plot.left;
      if (!onAxis) continue;
      std::string digits;
      for (char ch : r.text)
        if (ch != ',') digits += ch;
      ticks.push_back(std::stod(digits));
    }
    std::sort(ticks.begin(), ticks.end());
    SCOPED_TRACE(int(kind));
    ASSERT_GE(ticks.size(), 3u);
    const double step = ticks[1] - ticks[0];
    EXPECT_TRUE(isStep(step)) << step;
    for (size_t i = 1; i < ticks.size(); ++i) EXPECT_DOUBLE_EQ(ticks[i] - ticks[i - 1], step);
    EXPECT_LE(ticks.front(), -37.5);
    EXPECT_GE(ticks.back(), 412);
    EXPECT_DOUBLE_EQ(std::fmod(ticks.front(), step), 0);
  }
}

TEST(Chart, CrowdedCategoryLabelsNeitherOverlapNorLeaveTheChart) {
  for (int n : {8, 40, 300}) {
    Chart c;
    c.legendVisible = false;
    ChartSeries& s = c.addSeries(ChartSeriesKind::Bar);
    s.marksVisible = false;
    for (int i = 0; i < n; ++i) s.addPoint(i % 7 + 1, "Categoria " + std::to_string(i + 1));
    const Recording rec = record(c, {0, 0, 600, 400});
    std::vector<Rect> labels;
    for (const EmfTextRun& r : enumerateTextRuns(rec.emf))
      if (r.text.rfind("Categoria", 0) == 0) {
        EXPECT_TRUE(inside(box(r), rec.layout.chart));
        labels.push_back(box(r));
      }
    SCOPED_TRACE(n);
    EXPECT_EQ(labels.size(), rec.layout.categoryLabelsShown);
    EXPECT_GE(labels.size(), std::min(n, 8) / 2u);
    for (size_t i = 0; i < labels.size(); ++i)
      for (size_t j = i + 1; j < labels.size(); ++j)
        EXPECT_FALSE(labels[i].intersects(labels[j])) << i << " " << j;
  }
}

TEST(Chart, MarksNeverCoverEachOther) {
  LocaleGuard g(QLocale::c());
  Chart c;
  c.legendVisible = false;
  ChartSeries& s = c.addSeries(ChartSeriesKind::Line);
  for (int i = 0; i < 80; ++i) s.addPoint(1000 + (i % 3) * 10);
  const Recording rec = record(c, {0, 0, 400, 300});
  std::vector<Rect> marks;
  for (const EmfTextRun& r : enumerateTextRuns(rec.emf))
    if (r.text.size() == 4) marks.push_back(box(r));
  EXPECT_GT(marks.size(), 3u);
  EXPECT_LT(marks.size(), 80u);
  for (size_t i = 0; i < marks.size(); ++i)
    for (size_t j = i + 1; j < marks.size(); ++j) EXPECT_FALSE(marks[i].intersects(marks[j]));
}

TEST(Chart, PieMarksOfThinWedgesDoNotPileUp) {
  Chart c;
  ChartSeries& s = c.addSeries(ChartSeriesKind::Pie);
  s.marksStyle = ChartMarksStyle::LabelPercent;
  s.addPoint(1000, "Grande");
  for (int i = 0; i < 40; ++i) s.addPoint(1, "Fatia " + std::to_string(i));
  const Recording rec = record(c, {0, 0, 500, 300});
  std::vector<Rect> marks;
  for (const EmfTextRun& r : enumerateTextRuns(rec.emf))
    if (r.text.find('%') != std::string::npos) {
      EXPECT_TRUE(inside(box(r), rec.layout.chart)) << r.text;
      marks.push_back(box(r));
    }
  EXPECT_GT(marks.size(), 1u);
  for (size_t i = 0; i < marks.size(); ++i)
    for (size_t j = i + 1; j < marks.size(); ++j) EXPECT_FALSE(marks[i].intersects(marks[j]));
}

TEST(Chart, MetafileFrameIsTheAskedSizeAndPlaysBackInside) {
  Chart c;
  barChart(c, ChartSeriesKind::Bar, {3, 1, 2}, true);
  const std::vector<uint8_t> emf = c.renderMetafile({300, 200});
  const Size s = metafileSize(emf);
  EXPECT_NEAR(s.cx, 300, 1);
  EXPECT_NEAR(s.cy, 200, 1);
  // Stretched onto a page, everything lands in the destination.
  EmfCanvas page({0, 0, 2000, 2000});
  const Rect dest{500, 400, 800, 600};
  playMetafile(emf, page, dest);
  const std::vector<uint8_t> played = page.finish();
  for (const EmfTextRun& r : enumerateTextRuns(played))
    EXPECT_TRUE(inside(box(r), dest.inflated(1))) << r.text;
  for (const auto& f : addintest::readDrawing(played).fills)
    EXPECT_TRUE(inside(f.r, dest.inflated(1)));
}

TEST(Chart, HostileDataDrawsWithinBounds) {
  Chart c;
  ChartSeries& s = c.addSeries(ChartSeriesKind::Bar);
  for (double v : {1e308, -1e308, double(NAN), double(INFINITY), 0.0, 1e-300})
    s.addPoint(v, std::string(5000, 'x'));
  for (ChartSeriesKind kind : {ChartSeriesKind::Bar, ChartSeriesKind::Pie, ChartSeriesKind::Area}) {
    Chart d;
    ChartSeries& t = d.addSeries(kind);
    for (const ChartPoint& p : s.points()) t.addPoint(p.value, p.label);
    for (Rect r : {Rect{0, 0, 3, 3}, Rect{0, 0, 1 << 24, 1 << 24}, Rect{0, 0, 0, 0}}) {
      EmfCanvas canvas(r);
      d.draw(canvas, r);
      // The labels' text is all that grows with the data.
      EXPECT_LT(canvas.finish().size(), 40 * 6 * 5000u);
    }
  }
}

TEST(Chart, ManyPointsCostInProportionToTheirNumber) {
  // Marks are thinned and placed without comparing every pair: thirty
  // thousand points on a huge chart draw in a blink, not for hours.
  for (ChartSeriesKind kind : {ChartSeriesKind::Pie, ChartSeriesKind::Bar, ChartSeriesKind::Line}) {
    Chart c;
    ChartSeries& s = c.addSeries(kind);
    s.colorEachPoint = true;
    for (int i = 0; i < 30000; ++i) s.addPoint(1 + i % 17, "P");
    EmfCanvas canvas({0, 0, 1 << 24, 4000});
    c.draw(canvas, {0, 0, 1 << 24, 4000});
    EXPECT_GT(canvas.finish().size(), 100000u);
  }
}

}  // namespace
}  // namespace orv
