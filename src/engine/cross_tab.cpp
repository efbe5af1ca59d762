// Cross-tabs: columns from a data set laid across the rows of a band, and
// the column pages that go on where a cross-tab is wider than the page.
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

void TfrReportRun::formColumnPages(PageRun& pr) {
  // A cross-tab wider than the page goes on in further column pages, each
  // formed again from the first column the last one cut.
  crossStart_ = 1;
  for (;;) {
    crossCut_ = 0;
    formPage(pr, true);
    if (crossCut_ <= crossStart_ || Terminated) break;
    crossStart_ = crossCut_;
    PageNo = report_.EMFPages.Count();
    Append = false;
  }
  crossStart_ = 1;
}

int32_t TfrReportRun::walkCrossColumns(TfrBand* row,
                                       const std::function<void(const CrossColumn&)>& each,
                                       int32_t* cutAt) {
  PageRun& pr = *cur_;
  if (cutAt) *cutAt = 0;
  TfrBand* cd = pr.bands[btCrossData];
  if (!cd) return 0;
  int32_t x = cd->x;
  TfrDataset* ds = row->CrossDataSet ? row->CrossDataSet : cd->DataSet;
  if (!ds) return x;
  const QScopedValueRollback columns(crossDataSet_, ds);
  const QScopedValueRollback column(pr.crossColumn);
  bool cut = false;
  ds->First();
  // Columns of no width never reach the edge, so their number is bounded
  // too: each one keeps a total per aggregate.
  for (int32_t column = 1; !ds->Eof() && !Terminated && column <= kMaxCrossColumns; ++column) {
    step();
    pr.crossColumn = column;
    if (report_.OnBeginColumn) report_.OnBeginColumn(*cd);
    int32_t width = cd->dx;
    if (report_.OnPrintColumn) report_.OnPrintColumn(column, width);
    width = std::clamp(width, 0, kMaxCoordinate);
    // A column page ends at the page's right edge; its first column is
    // always written.
    if (column > crossStart_ && !cut && int64_t(x) + width > pr.rightX) {
      cut = true;
      if (cutAt) *cutAt = column;
    }
    const bool shown = column >= crossStart_ && !cut;
    each({x, width, shown});
    if (shown) x = clampCoordinate(int64_t(x) + width);
    ds->Next();
  }
  return x;
}

void TfrReportRun::inCrossBand(TfrBand* row, const TfrBand::CrossCell& cell, int32_t width,
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
  const QScopedValueRollback band(band_, cb);
  const QScopedValueRollback crossRow(crossRow_, row);
  view_ = cell.View;
  modelState().CurrentView = cell.View;
  fn();
}

void TfrReportRun::accumulateCrossed(TfrBand* data, TfrBand* row,
                                     const TfrAggregates::ColumnWalker& columns) {
  const QScopedValueRollback band(band_, data);
  const QScopedValueRollback crossRow(crossRow_, row);
  aggregates_.Accumulate(
      data, data->Visible,
      [](const std::string& postfix) { return engineGlobals().Parser.CalcPostfix(postfix); },
      columns);
}

int32_t TfrReportRun::crossHeight(TfrBand* row) {
  int32_t h = 0;
  auto measure = [&](const TfrBand::CrossCell& cell, int32_t width) {
    TfrView& v = *cell.View;
    if (!isStretchable(v) || v.TypeCode == gtLine) return;
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
  walkCrossColumns(row, [&](const CrossColumn& c) {
    if (!c.shown) return;
    for (const auto& cell : row->CrossCells)
      if (cell.Cross->Type == btCrossData) measure(cell, c.width);
  });
  return h;
}

void TfrReportRun::writeCrossCells(TfrBand* row) {
  PageRun& pr = *cur_;
  const TfrBand* cd = pr.bands[btCrossData];
  auto write = [&](const TfrBand::CrossCell& cell, int32_t x, int32_t width) {
    inCrossBand(row, cell, width, [&] {
      TfrView& v = *cell.View;
      if (FirstPass) {
        runObjectScript(v);
        return;
      }
      const ObjectGeometry kept(v);
      v.Left = clampCoordinate(int64_t(x) + v.Left + pr.xAdjust - pr.leftX);
      v.Top = clampCoordinate(int64_t(row->y) + cell.Top);
      if (row->Stretched && isStretchable(v) && v.TypeCode != gtLine) {
        const int32_t need = clampCoordinate(static_cast<TfrStretcheable&>(v).CalcHeight());
        v.Height = std::max(v.Height, need);
      }
      writeView(v, kept, false);
    });
  };
  // Totals across the columns start afresh on every row.
  for (TfrBand* f = pr.bands[btCrossFooter]; f; f = f->Next) aggregates_.Reset(f);
  for (const auto& cell : row->CrossCells)
    if (cell.Cross->Type == btCrossHeader) write(cell, cell.Cross->x, cell.Cross->dx);
  TfrBand* data = pr.bands[btCrossData];
  int32_t cutAt = 0;
  const int32_t end = walkCrossColumns(
      row,
      [&](const CrossColumn& c) {
        if (c.shown)
          for (const auto& cell : row->CrossCells)
            if (cell.Cross->Type == btCrossData)
              write(cell, clampCoordinate(int64_t(c.x) + cell.Cross->x - cd->x), c.width);
        // Totals across the row count the columns of every column page and
        // read each column as its cells do.
        if (aggregates_.Totals(data)) accumulateCrossed(data, row);
      },
      &cutAt);
  if (cutAt > 0) {
    crossCut_ = crossCut_ > 0 ? std::min(crossCut_, cutAt) : cutAt;
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

}  // namespace orv
