#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/color.h"
#include "platform/geometry.h"

namespace orv {

class Canvas;

// The kinds of series a chart draws, numbered as the chart view stores them.
enum class ChartSeriesKind : uint8_t {
  Line = 0,
  Area = 1,
  Point = 2,
  Bar = 3,
  HorizBar = 4,
  Pie = 5
};

// What a point's mark says, numbered as the chart view stores them.
enum class ChartMarksStyle : uint8_t {
  Value = 0,
  Percent = 1,
  Label = 2,
  LabelPercent = 3,
  LabelValue = 4,
};

// A point's colour of clNone means the chart's default: the palette colour
// of the point (when the series colours each point) or of the series.
struct ChartPoint {
  double value = 0;
  std::string label;  // 8-bit text in the code page of the chart's character set
  Color color = clNone;
};

class ChartSeries {
 public:
  explicit ChartSeries(ChartSeriesKind kind) : kind_(kind) {}

  ChartSeriesKind kind() const { return kind_; }
  std::string title;
  bool colorEachPoint = false;
  Color color = clNone;  // none: the palette colour of the series' place
  bool marksVisible = true;
  ChartMarksStyle marksStyle = ChartMarksStyle::Value;

  void addPoint(double value, std::string label = {}, Color color = clNone);
  const std::vector<ChartPoint>& points() const { return points_; }

 private:
  ChartSeriesKind kind_;
  std::vector<ChartPoint> points_;
};

// Sizes are in points, so a chart looks the same on any device.
struct ChartFont {
  std::string face = "Arial";
  double size = 8;
  bool bold = false;
  Color color = rgb(64, 64, 64);
  uint8_t charset = 1;
};

struct ChartWall {
  Color color = rgb(246, 246, 246);
  bool hollow = false;
};

// The default colours, in the order series (or the points of a series that
// colours each point) take them.
Color chartPaletteColor(size_t index);

// Where the last drawing put things, in the canvas's coordinates: what tests
// and callers that place things over a chart need.
struct ChartLayout {
  Rect chart;
  Rect plot;                       // the front plane of the plot area (pie: the pie's box)
  Rect legend;                     // empty when no legend was drawn
  int32_t depthX = 0, depthY = 0;  // the oblique 3D offset of the back plane
  // The value axis: its first and last tick and the step between ticks.
  double axisMin = 0, axisMax = 0, axisStep = 0;
  size_t categoryLabelsShown = 0;
  bool categoryLabelsRotated = false;
};

// A business chart: series of the six kinds with axes, legend, marks and an
// oblique 3D depth, drawn on any Canvas. It knows nothing of reports.
class Chart {
 public:
  Chart();
  ~Chart();
  Chart(const Chart&) = delete;
  Chart& operator=(const Chart&) = delete;

  Color backColor = clWhite;
  bool frameVisible = true;
  ChartWall leftWall, bottomWall, backWall;
  bool view3D = true;
  bool view3DWalls = true;
  // Degrees. An elevation of 270 looks from the top, 360 from the front
  // (it tilts a 3D pie); the rotation turns a pie clockwise from twelve
  // o'clock. An orthogonal view shows depth as an oblique offset up and to
  // the right.
  int32_t elevation = 345;
  int32_t rotation = 360;
  bool orthogonal = true;
  int32_t depthPercent = 15;  // of the plot's smaller side
  bool axisVisible = true;
  std::string title;
  ChartFont titleFont{"Arial", 10, true, rgb(32, 32, 32), 1};
  bool legendVisible = true;
  ChartFont legendFont;
  // Left, bottom, right and top axis. Which axis shows values depends on
  // the series kind; right and top have nothing to show in this engine.
  ChartFont axisFonts[4];
  ChartFont marksFont;

  // Every font of the chart gets the character set (the code page its
  // labels are in).
  void setFontCharset(uint8_t charset);

  void removeAllSeries();
  // The series is owned by the chart and lives until it is removed.
  ChartSeries& addSeries(ChartSeriesKind kind);
  size_t seriesCount() const { return series_.size(); }
  ChartSeries& series(size_t i) { return *series_.at(i); }
  const ChartSeries& series(size_t i) const { return *series_.at(i); }

  // Draws the chart filling `r`. `scale` is the canvas's units per pixel
  // of the chart's own size (its type and gaps grow with it); 0 takes the
  // canvas's resolution against 96 dots per inch.
  void draw(Canvas& canvas, const Rect& r, double scale = 0) const;
  // Records the chart into an enhanced metafile whose picture frame is
  // `size` pixels at 96 per inch; the recording itself is finer, so that the
  // metafile stays sharp when stretched onto a printer.
  std::vector<uint8_t> renderMetafile(Size size) const;

  const ChartLayout& lastLayout() const { return layout_; }

 private:
  std::vector<std::unique_ptr<ChartSeries>> series_;
  mutable ChartLayout layout_;
};

// Round steps for a value axis: the smallest of 1, 2 and 5 times a power of
// ten that divides [lo, hi] into at most `maxTicks` intervals, and the first
// and last tick (multiples of the step) that cover both values.
struct AxisTicks {
  double first = 0, last = 1, step = 1;
  int decimals = 0;  // needed to write the step exactly
};
AxisTicks niceTicks(double lo, double hi, int maxTicks);

// A number as the chart writes it: the locale's decimal and thousands
// separators, `decimals` digits after the separator, or, with decimals < 0,
// as few as needed up to two.
std::string formatChartNumber(double v, int decimals);

}  // namespace orv
