#include "addins/chart_view.h"

#include <QLocale>
#include <QString>
#include <algorithm>
#include <cstdlib>

#include "model/state.h"
#include "model/text_util.h"
#include "platform/canvas.h"
#include "platform/emf_player.h"
#include "platform/strings.h"

namespace orv {

namespace {

// The character set the chart's fonts use: the program's string 55337
// names it; "1" (the default set) when the table has none.
uint8_t chartCharset() {
  const std::string s = loadString8(55337);
  const int n = s.empty() ? 1 : std::atoi(s.c_str());
  return n >= 0 && n <= 255 ? uint8_t(n) : uint8_t(1);
}

void endWithSemicolon(std::string& s) {
  if (s.empty() || s.back() != ';') s += ';';
}

size_t countSemicolons(std::string_view s) {
  return size_t(std::count(s.begin(), s.end(), ';'));
}

std::string fromQString(const QString& s) {
  const QByteArray b = s.toLatin1();
  return std::string(b.constData(), size_t(b.size()));
}

// The value texts of the top grouping: twelve characters with three decimals
// and the locale's decimal separator, so the text reads back as the number.
std::string topValueText(double v) {
  QString s = QString::asprintf("%12.3f", v);
  s.replace(QLatin1Char('.'), QLocale().decimalPoint());
  return fromQString(s);
}

// The others item's sum, in as many digits as it needs.
std::string sumText(double v) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return fromQString(locale.toString(v, 'g', 15));
}

ChartSeriesKind seriesKindOf(uint8_t kind) {
  return static_cast<ChartSeriesKind>(kind);
}

}  // namespace

// ------------------------------------------------------------ helpers

double parseChartNumber(std::string_view item) {
  size_t a = 0, b = item.size();
  while (a < b && static_cast<unsigned char>(item[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(item[b - 1]) <= ' ') --b;
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  while (a < b && item[a] != '-' && !isDigit(item[a])) ++a;
  while (b > a && !isDigit(item[b - 1])) --b;
  if (a >= b) return 0;
  QString text = QString::fromLatin1(item.data() + a, qsizetype(b - a));
  const QLocale locale;
  const QString group = locale.groupSeparator();
  if (!group.isEmpty()) {
    text.remove(group);
    // Locales that group with a (no-break) space are typed with a plain one.
    if (group.size() == 1 && group.at(0).isSpace()) {
      text.remove(QLatin1Char(' '));
      text.remove(QChar(0xA0));
    }
  }
  bool ok = false;
  const double v = locale.toDouble(text, &ok);
  return ok ? v : 0;
}

std::vector<std::string> chartItems(std::string_view line) {
  std::vector<std::string> items;
  size_t from = 0;
  while (from < line.size()) {
    const size_t at = line.find(';', from);
    if (at == std::string_view::npos) {
      items.emplace_back(line.substr(from));
      break;
    }
    items.emplace_back(line.substr(from, at - from));
    from = at + 1;
  }
  return items;
}

void applyTopGrouping(std::string& labels, std::string& values, int32_t top,
                      const std::string& othersLabel) {
  const std::vector<std::string> L = chartItems(labels), V = chartItems(values);
  struct Entry {
    double value;
    std::string text;
    std::string label;
    std::string key;
  };
  std::vector<Entry> entries;
  const size_t n = std::min(L.size(), V.size());
  entries.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const double v = parseChartNumber(V[i]);
    entries.push_back({v, topValueText(v), L[i], upperCase(L[i])});
  }
  // In order of the values, then of the labels: what sorting the texts
  // "value=label" gives for values that fit the width, and right for
  // negative and very large values as well.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.value != b.value) return a.value < b.value;
    return a.key < b.key;
  });
  const size_t keep = std::min(n, size_t(std::max(0, top)));
  labels.clear();
  values.clear();
  for (size_t k = 0; k < keep; ++k) {
    const Entry& e = entries[n - 1 - k];
    values += e.text + ';';
    labels += e.label + ';';
  }
  if (othersLabel.empty()) return;
  double sum = 0;
  for (size_t i = 0; i + keep < n; ++i) sum += entries[i].value;
  labels += othersLabel + ';';
  values += sumText(sum) + ';';
}

// ------------------------------------------------------------ ChartOptions

void ChartOptions::read(MemoryStream& s) {
  const std::span<const uint8_t> b = s.readSpan(kSize, "chart options");
  SeriesKind = b[0];
  Show3D = b[1] != 0;
  SingleSeries = b[2] != 0;
  LegendVisible = b[3] != 0;
  AxesVisible = b[4] != 0;
  MarksVisible = b[5] != 0;
  PointColors = b[6] != 0;
  MarksKind = b[7];
  TopCount = int32_t(uint32_t(b[8]) | (uint32_t(b[9]) << 8) | (uint32_t(b[10]) << 16) |
                     (uint32_t(b[11]) << 24));
  std::copy(b.begin() + 12, b.end(), Reserved.begin());
}

void ChartOptions::write(MemoryStream& s) const {
  s.writeU8(SeriesKind);
  for (bool f : {Show3D, SingleSeries, LegendVisible, AxesVisible, MarksVisible, PointColors})
    s.writeU8(f ? 1 : 0);
  s.writeU8(MarksKind);
  s.writeI32(TopCount);
  s.write(Reserved.data(), Reserved.size());
}

// ------------------------------------------------------------ TfrChartView

TfrChartView::TfrChartView() {
  TypeCode = gtAddIn;
  ClassStem = "Chart";
  Flags |= flAddInNotify;
}

void TfrChartView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddProperty("Chart", 0, true);
}

void TfrChartView::CollectValue(const TfrView& view) {
  CollectValue(view.Name, view.ExpandedText);
}

void TfrChartView::CollectValue(std::string_view name, const StringList& expandedText) {
  if (!LegendObject.empty() && !ValueObject.empty() && Memo.size() < 2) Memo = {"", ""};
  size_t line = 0;
  if (!LegendObject.empty() && sameText(name, LegendObject)) {
    ++SeriesIndex;
    line = 0;
  } else if (!ValueObject.empty() && sameText(name, ValueObject)) {
    // One series keeps its values in line 1 even when a value prints before
    // the first label; with several, a value before any title has no
    // series to go to.
    if (Options.SingleSeries) SeriesIndex = 1;
    if (SeriesIndex <= 0) return;
    line = size_t(SeriesIndex);
  } else {
    if (Options.SingleSeries) SeriesIndex = 1;
    return;
  }
  if (Options.SingleSeries) SeriesIndex = 1;
  while (Memo.size() <= line) Memo.emplace_back();
  if (expandedText.empty()) return;
  if (++Collected > kMaxCollected)
    throw Error(
        "o gr\xE1"
        "fico \"" +
        Name + "\" passou de " + std::to_string(kMaxCollected) + " r\xF3tulos e valores");
  Memo[line] += expandedText.front() + ';';
  LastValue = expandedText.front();
}

void TfrChartView::EmitToPage(MemoryStream& stream) {
  TfrView::EmitToPage(stream);
  // The next occurrence collects its own values, from its first series on.
  Memo.clear();
  SeriesIndex = 0;
  Collected = 0;
}

void TfrChartView::resetChart() {
  const bool pie = Options.SeriesKind == 5;
  chart_.removeAllSeries();
  chart_.frameVisible = false;
  chart_.leftWall.hollow = chart_.bottomWall.hollow = chart_.backWall.hollow = true;
  chart_.view3D = Options.Show3D;
  chart_.legendVisible = Options.LegendVisible;
  chart_.axisVisible = Options.AxesVisible;
  chart_.view3DWalls = !pie;
  chart_.elevation = 315;
  chart_.rotation = 360;
  chart_.orthogonal = !pie;
  chart_.setFontCharset(chartCharset());
  chartFilled_ = true;
}

void TfrChartView::render() {
  chart_.backColor = FillColor == clNone ? clWhite : FillColor;
  const int32_t dx = SavedGeometry.dx, dy = SavedGeometry.dy;
  lastMetafile_ = chart_.renderMetafile({dx, dy});
  if (dx <= 0 || dy <= 0 || DrawRect.isEmpty() || !TargetCanvas) return;
  // The view shows what the metafile holds, drawn straight into its
  // rectangle at the same proportions: a stretched recording would put its
  // texts out character by character (their advances no longer match the
  // scaled font), and the search could no longer find a label.
  const double scale = std::min(DrawRect.width() / double(dx), DrawRect.height() / double(dy));
  chart_.draw(*TargetCanvas, DrawRect, scale);
}

bool TfrChartView::ShowChart() {
  if (Memo.empty() && LegendObject.empty() && ValueObject.empty()) {
    if (metafile_.empty() || chartFilled_) {
      render();
    } else if (TargetCanvas && !DrawRect.isEmpty()) {
      try {
        playMetafile(metafile_, *TargetCanvas, DrawRect);
      } catch (const Error&) {
        // A damaged picture shows what it drew before the damage.
      }
    }
    return true;
  }
  resetChart();
  std::string labels = Memo.size() > 0 ? Memo[0] : std::string();
  std::string values = Memo.size() > 1 ? Memo[1] : std::string();
  // A kind the chart does not know (a damaged record) has nothing to draw.
  if (labels.empty() || values.empty() || Options.SeriesKind > 5) return false;
  endWithSemicolon(labels);
  endWithSemicolon(values);
  const ChartSeriesKind kind = seriesKindOf(Options.SeriesKind);
  const ChartMarksStyle marks = Options.MarksKind <= 4
                                    ? static_cast<ChartMarksStyle>(Options.MarksKind)
                                    : ChartMarksStyle::Value;
  auto newSeries = [&]() -> ChartSeries& {
    ChartSeries& s = chart_.addSeries(kind);
    s.marksVisible = Options.MarksVisible;
    s.marksStyle = marks;
    return s;
  };
  if (Options.SingleSeries) {
    const size_t count = countSemicolons(labels);
    if (count != countSemicolons(values)) return false;
    ChartSeries& s = newSeries();
    s.colorEachPoint = Options.PointColors;
    if (Options.TopCount > 0 && size_t(Options.TopCount) < count)
      applyTopGrouping(labels, values, Options.TopCount, OthersLabel);
    const std::vector<std::string> L = chartItems(labels), V = chartItems(values);
    for (size_t i = 0; i < L.size() && i < V.size(); ++i)
      s.addPoint(parseChartNumber(V[i]), L[i], clNone);
    render();
    return true;
  }
  const std::vector<std::string> titles = chartItems(labels);
  if (Memo.size() != countSemicolons(labels) + 1) return false;
  for (size_t i = 0; i < titles.size(); ++i) {
    ChartSeries& s = newSeries();
    s.title = titles[i];
    for (const std::string& item : chartItems(Memo[i + 1])) s.addPoint(parseChartNumber(item));
  }
  render();
  return true;
}

void TfrChartView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  ExpandedText = Memo;
  ApplyScale();
  try {
    if (!ShowChart()) PaintBackground();
    PaintFrame();
  } catch (...) {
    RestoreGeometry();
    throw;
  }
  RestoreGeometry();
}

void TfrChartView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  metafile_.clear();
  chartFilled_ = false;
  const uint8_t form = s.readU8("chart record form");
  if (form == 0) {
    const uint8_t version = modelState().StreamVersion;
    Options.read(s);
    LegendObject = readString(s, version);
    ValueObject = readString(s, version);
    OthersLabel = readString(s, version);
  } else if (form == 1) {
    const int32_t n = s.readI32("chart picture size");
    if (n < 0 || size_t(n) > s.remaining()) s.fail("chart picture");
    const std::span<const uint8_t> bytes = s.readSpan(size_t(n), "chart picture");
    metafile_.assign(bytes.begin(), bytes.end());
  } else {
    s.fail("chart record form");
  }
}

void TfrChartView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  if (!Memo.empty() || !LegendObject.empty() || !ValueObject.empty()) {
    s.writeU8(0);
    Options.write(s);
    writeString(s, LegendObject);
    writeString(s, ValueObject);
    writeString(s, OthersLabel);
    return;
  }
  s.writeU8(1);
  // A stored picture that nothing has replaced is written back as it came;
  // otherwise the chart as it stands now.
  const std::vector<uint8_t> picture =
      !metafile_.empty() && !chartFilled_
          ? metafile_
          : chart_.renderMetafile({std::max(0, Width), std::max(0, Height)});
  s.writeI32(int32_t(picture.size()));
  s.write(picture.data(), picture.size());
}

}  // namespace orv
