#pragma once
#include <cstdint>
#include <functional>

#include "engine/aggregates.h"
#include "engine/band.h"

namespace orv {

class TfrReportRun;
class TfrDataset;

// The cross-tabs of one run: columns from a data set laid across the rows of
// a band, their cells measured and written at the row's Y, the totals across
// the columns, and the column pages that go on where a cross-tab is wider
// than the page.
class TfrCrossTab {
 public:
  explicit TfrCrossTab(TfrReportRun& run) : run_(run) {}
  TfrCrossTab(const TfrCrossTab&) = delete;
  TfrCrossTab& operator=(const TfrCrossTab&) = delete;

  // Forms the page with `formPage`, and again from the first cross column
  // that did not fit for as long as a cross-tab is wider than the page.
  void FormColumnPages(const std::function<void()>& formPage);
  // The cross cells of a band placed at its Y.
  void WriteCells(TfrBand* row);
  // The height the band's cross cells need over all columns (stretched
  // bands only).
  int32_t Height(TfrBand* row);
  // A data band's totals for each cross column, read as the column's cells
  // read their record.
  void AccumulateColumns(TfrBand* data);

  // While a cross cell is measured or written: the band it lies across,
  // which holds the aggregates of header and data cells.
  TfrBand* Row() const { return row_; }
  // While a band's cross columns are walked: their data set, which supplies
  // the fields the cross cells name.
  TfrDataset* DataSet() const { return dataSet_; }

 private:
  // One cross column as a walk meets it: `shown` when it stands on the
  // page being formed (from the first column of this column page up to the
  // page's right edge), its X then valid.
  struct Column {
    int32_t x, width;
    bool shown;
  };
  // Walks every cross column of the band from the first record of their
  // data set. Returns the X after the last shown column; `cutAt` gets the
  // first column that did not fit on the page (0 when all did).
  int32_t walkColumns(TfrBand* row, const std::function<void(const Column&)>& each,
                      int32_t* cutAt = nullptr);
  // Runs `fn` with the cell's cross band standing in the row at the row's Y,
  // as the current band, with the given width.
  void inCrossBand(TfrBand* row, const TfrBand::CrossCell& cell, int32_t width,
                   const std::function<void()>& fn);
  // Accumulates the aggregates of `data` with `row` as the band cross cells
  // lie across.
  void accumulate(TfrBand* data, TfrBand* row, const TfrAggregates::ColumnWalker& columns = {});

  TfrReportRun& run_;
  TfrDataset* dataSet_ = nullptr;
  TfrBand* row_ = nullptr;
  // Cross-tabs wider than the page go on in column pages: the template page
  // is formed again from the first column that did not fit.
  int32_t start_ = 1;
  int32_t cut_ = 0;
};

}  // namespace orv
