#include "engine/page_run.h"

#include <algorithm>

#include "engine/dataset.h"
#include "model/page.h"
#include "model/view.h"

namespace orv {

bool TfrPageRun::hasFooter() const {
  const TfrBand* f = bands[btPageFooter];
  return f && f->IsPresent();
}

void TfrPageRun::computeGeometry() {
  TfrPage& p = *page;
  p.FooterBandHeight = hasFooter() ? bands[btPageFooter]->dy : 0;
  topY = clampCoordinate(p.TopEdge());
  leftX = clampCoordinate(p.LeftEdge());
  rightX = clampCoordinate(p.RightEdge());
  bottom = clampCoordinate(p.BottomEdge());
  columnCount = std::clamp(p.Columns, 1, 1000);
  columnGap = clampCoordinate(p.ColumnGap);
  columnWidth = p.ColumnWidthPx();
}

}  // namespace orv
