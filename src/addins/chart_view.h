#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charts/chart.h"
#include "model/view.h"

namespace orv {

// The chart's settings, one block of 48 bytes in the record.
struct ChartOptions {
  uint8_t SeriesKind = 0;  // 0 line, 1 area, 2 point, 3 bar, 4 horizontal bar, 5 pie
  bool Show3D = true;
  bool SingleSeries = true;
  bool LegendVisible = true;
  bool AxesVisible = false;
  bool MarksVisible = true;
  bool PointColors = true;
  uint8_t MarksKind = 0;  // 0 value, 1 percent, 2 label, 3 label and percent, 4 label and value
  int32_t TopCount = 0;
  std::array<uint8_t, 36> Reserved{};  // stored and written back

  static constexpr size_t kSize = 48;
  void read(MemoryStream& s);
  void write(MemoryStream& s) const;
};

// A business chart drawn from numbers held as text: memo line 0 holds the
// labels (one series) or the series titles (several), the following lines the
// values, every item ended by ";". The chart is rendered into a metafile of
// the view's own size and stretched into the view.
class TfrChartView : public TfrView {
 public:
  TfrChartView();

  ChartOptions Options;
  std::string LegendObject;
  std::string ValueObject;
  std::string OthersLabel;
  int32_t SeriesIndex = 0;  // not stored
  // Labels and values collected for the next occurrence (not stored).
  int64_t Collected = 0;
  // More than a chart can show legibly; a data band feeding a chart without
  // end would otherwise grow its text and its drawing without bound.
  static constexpr int64_t kMaxCollected = 200000;
  std::string LastValue;  // not stored

  const char* ClassName() const override { return "TfrChartView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrChartView>(); }
  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  // The prepared record carries the collected lines; the memo then starts
  // afresh for the next occurrence.
  void EmitToPage(MemoryStream& stream) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;
  // The add-in notification (slot 8): the band engine calls it for every
  // text view it wrote and did not split, on each view whose Flags carry
  // flAddInNotify. Appends the text view's first line to the memo line it
  // belongs to (labels or titles, or the values of the current series).
  void CollectValue(const TfrView& textView) override;
  void CollectValue(std::string_view name, const StringList& expandedText);

  // Fills the chart from the memo and draws it into DrawRect; false when
  // the memo holds nothing drawable.
  bool ShowChart();

  // The chart component, in the state the last ShowChart left it.
  const Chart& chart() const { return chart_; }
  // The stored picture of a picture-form record (empty otherwise).
  const std::vector<uint8_t>& Metafile() const { return metafile_; }
  // The metafile the last rendering produced (empty before the first).
  const std::vector<uint8_t>& LastMetafile() const { return lastMetafile_; }

 private:
  Chart chart_;
  std::vector<uint8_t> metafile_;
  std::vector<uint8_t> lastMetafile_;
  // Set when the chart was filled after a stored picture was loaded, so
  // that the picture no longer stands for it.
  bool chartFilled_ = false;

  void resetChart();
  void render();
};

// A number from an item the way a chart item is read: blanks trimmed, any
// leading characters before a '-' or digit and trailing ones after the last
// digit dropped, the locale's thousands separators removed, then converted
// with the locale's decimal separator; 0 when that fails.
double parseChartNumber(std::string_view item);

// The items of a memo line, each ended by ";" (a last item without one is
// taken as well).
std::vector<std::string> chartItems(std::string_view line);

// Keeps the `top` largest values (labels and values as memo lines), the
// largest first, and, when `othersLabel` is not empty, one more item that
// sums the rest.
void applyTopGrouping(std::string& labels, std::string& values, int32_t top,
                      const std::string& othersLabel);

}  // namespace orv
