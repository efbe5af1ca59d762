#include <QScrollBar>
#include <algorithm>

#include "preview/preview.h"

namespace orv {

namespace {
// Enough for any trail of links a person follows; the oldest places go first.
constexpr size_t kMaxPlaces = 100;
}  // namespace

void TfrPreviewForm::RememberPlace() {
  if (!Pages || CurPage < 1 || CurPage > AllPages()) return;
  // Kept in report pixels from the page's corner, so a zoom in between does
  // not move the place.
  const Rect& r = Pages->Entry(CurPage - 1).LayoutRect;
  Places.push_back(
      {CurPage, (HScrollBar->value() - r.left) / Scale, (VScrollBar->value() - r.top) / Scale});
  if (Places.size() > kMaxPlaces) Places.erase(Places.begin());
}

bool TfrPreviewForm::GoBack() {
  if (!Pages || Places.empty()) return false;
  const Place p = Places.back();
  Places.pop_back();
  if (p.page < 1 || p.page > AllPages()) return false;
  const Rect& r = Pages->Entry(p.page - 1).LayoutRect;
  CurPage = p.page;
  // The page gone back to stays current even when another one starts its row.
  scrollKeepingPage(roundEven(r.left + p.x * Scale), roundEven(r.top + p.y * Scale));
  UpdateLabel();
  PBox->update();
  return true;
}

}  // namespace orv
