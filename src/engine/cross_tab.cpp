// Cross-tabs: columns from a data set laid across the rows of a band, and
// the column pages that go on where a cross-tab is wider than the page.
#include "engine/cross_tab.h"

#include <QScopedValueRollback>
#include <algorithm>

#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/parser.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "model/state.h"
#include "model/views.h"

namespace orv {

namespace {

// The most columns one row lays across.
constexpr int32_t kMaxCrossColumns = 4096;

}  // namespace

void TfrCrossTab::FormColumnPages(const std::function<void()>& formPage) {
  // A cross-tab wider than the page goes on in further column pages, each
  // formed again from the first column the last one cut.
  start_ = 1;
  for (;;) {
    cut_ = 0;
    formPage();
    if (cut_ <= start_ || run_.Terminated) break;
    start_ = cut_;
    run_.PageNo = run_.report_.EMFPages.Count();
    run_.Append = false;
  }
  start_ = 1;
}

int32_t TfrCrossTab::walkColumns(TfrBand* row, const std::function<void(const Column&)>& each,
                                 int32_t* cutAt) {
  TfrReportRun::PageRun& pr = *run_.cur_;
  if (cutAt) *cutAt = 0;
  TfrBand* cd = pr.bands[btCrossData];
  if (!cd) return 0;
  int32_t x = cd->x;
  TfrDataset* ds = row->CrossDataSet ? row->CrossDataSet : cd->DataSet;
  if (!ds) return x;
  const QScopedValueRollback columns(dataSet_, ds);
  const QScopedValueRollback column(pr.crossColumn);
  bool cut = false;
  ds->First();
  // Columns of no width never reach the edge, so their number is bounded
  // too: each one keeps a total per aggregate.
  for (int32_t column = 1; !ds->Eof() && !run_.Terminated && column <= kMaxCrossColumns; ++column) {
    run_.step();
    pr.crossColumn = column;
    if (run_.report_.OnBeginColumn) run_.report_.OnBeginColumn(*cd);
    int32_t width = cd->dx;
    if (run_.report_.OnPrintColumn) run_.report_.OnPrintColumn(column, width);
    width = std::clamp(width, 0, kMaxCoordinate);
    // A column page ends at the page's right edge; its first column is
    // always written.
    if (column > start_ && !cut && int64_t(x) + width > pr.rightX) {
      cut = true;
      if (cutAt) *cutAt = column;
    }
    const bool shown = column >= start_ && !cut;
    each({x, width, shown});
    if (shown) x = clampCoordinate(int64_t(x) + width);
    ds->Next();
  }
  return x;
}

void TfrCrossTab::inCrossBand(TfrBand* row, const TfrBand::CrossCell& cell, int32_t width,
                              const std::function<void()>& fn) {
  // The cross band stands in the row for the cell: fields come from the
  // cross data set, and alignment to the band uses the row's height and the
  // column's width.
  TfrBand* cb = cell.Cross;
  const QScopedValueRollback y(cb->y, row->y);
  const QScopedValueRollback dx(cb->dx, width);
  const QScopedValueRollback height(cb->CalculatedHeight,
                                    row->heightKnown ? row->CalculatedHeight : row->dy);
  const QScopedValueRollback known(cb->heightKnown, true);
  const QScopedValueRollback band(run_.band_, cb);
  const QScopedValueRollback crossRow(row_, row);
  run_.view_ = cell.View;
  modelState().CurrentView = cell.View;
  fn();
}

void TfrCrossTab::accumulate(TfrBand* data, TfrBand* row,
                             const TfrAggregates::ColumnWalker& columns) {
  const QScopedValueRollback band(run_.band_, data);
  const QScopedValueRollback crossRow(row_, row);
  run_.functions_.Aggregates().Accumulate(
      data, data->Visible,
      [](const TfrCompiledExpression& argument) { return engineGlobals().Parser.Run(argument); },
      columns);
}

int32_t TfrCrossTab::Height(TfrBand* row) {
  int32_t h = 0;
  auto measure = [&](const TfrBand::CrossCell& cell, int32_t width) {
    TfrView& v = *cell.View;
    if (!TfrReportRun::isStretchable(v) || v.TypeCode == gtLine) return;
    inCrossBand(row, cell, width, [&] {
      auto& s = static_cast<TfrStretcheable&>(v);
      const int32_t need = clampCoordinate(s.CalcHeight());
      // Each column expands its text again when it is written.
      s.StretchPass = 0;
      h = std::max(h, clampCoordinate(int64_t(cell.Top) + std::max(need, v.Height)));
    });
  };
  for (const auto& cell : row->CrossCells)
    if (cell.Cross->Type != btCrossData) measure(cell, cell.Cross->dx);
  walkColumns(row, [&](const Column& c) {
    if (!c.shown) return;
    for (const auto& cell : row->CrossCells)
      if (cell.Cross->Type == btCrossData) measure(cell, c.width);
  });
  return h;
}

void TfrCrossTab::WriteCells(TfrBand* row) {
  TfrReportRun::PageRun& pr = *run_.cur_;
  const TfrBand* cd = pr.bands[btCrossData];
  auto write = [&](const TfrBand::CrossCell& cell, int32_t x, int32_t width) {
    inCrossBand(row, cell, width, [&] {
      TfrView& v = *cell.View;
      if (run_.FirstPass) {
        run_.runObjectScript(v);
        return;
      }
      const TfrReportRun::ObjectGeometry kept(v);
      v.Left = clampCoordinate(int64_t(x) + v.Left + pr.xAdjust - pr.leftX);
      v.Top = clampCoordinate(int64_t(row->y) + cell.Top);
      if (row->Stretched && TfrReportRun::isStretchable(v) && v.TypeCode != gtLine) {
        const int32_t need = clampCoordinate(static_cast<TfrStretcheable&>(v).CalcHeight());
        v.Height = std::max(v.Height, need);
      }
      run_.writeView(v, kept, false);
    });
  };
  // Totals across the columns start afresh on every row.
  for (TfrBand* f = pr.bands[btCrossFooter]; f; f = f->Next) run_.functions_.Aggregates().Reset(f);
  for (const auto& cell : row->CrossCells)
    if (cell.Cross->Type == btCrossHeader) write(cell, cell.Cross->x, cell.Cross->dx);
  TfrBand* data = pr.bands[btCrossData];
  int32_t cutAt = 0;
  const int32_t end = walkColumns(
      row,
      [&](const Column& c) {
        if (c.shown)
          for (const auto& cell : row->CrossCells)
            if (cell.Cross->Type == btCrossData)
              write(cell, clampCoordinate(int64_t(c.x) + cell.Cross->x - cd->x), c.width);
        // Totals across the row count the columns of every column page and
        // read each column as its cells do.
        if (run_.functions_.Aggregates().Totals(data)) accumulate(data, row);
      },
      &cutAt);
  if (cutAt > 0) {
    cut_ = cut_ > 0 ? std::min(cut_, cutAt) : cutAt;
    // The footer closes the row on the column page of its last column.
    return;
  }
  // The footer keeps its distance from the right edge of the data columns.
  for (const auto& cell : row->CrossCells)
    if (cell.Cross->Type == btCrossFooter) {
      const int64_t gap = cd ? int64_t(cell.Cross->x) - (int64_t(cd->x) + cd->dx) : 0;
      write(cell, clampCoordinate(cd ? end + gap : cell.Cross->x), cell.Cross->dx);
    }
}

void TfrCrossTab::AccumulateColumns(TfrBand* data) {
  accumulate(data, row_, [this, data](TfrBand* holder, const auto& each) {
    // Each column's total reads its record as the column's cells do.
    TfrReportRun::PageRun* cur = run_.cur_;
    const QScopedValueRollback cross(run_.band_, cur ? cur->bands[btCrossData] : run_.band_);
    const QScopedValueRollback row(row_, data);
    walkColumns(holder, [&](const Column&) { each(run_.cur_->crossColumn); });
  });
}

}  // namespace orv
