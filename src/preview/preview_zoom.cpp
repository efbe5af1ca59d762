#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "preview/preview.h"

namespace orv {

namespace {
// The steps of Ctrl+plus and Ctrl+minus, in per cent; 400 % is for small print.
constexpr int kZoomLevels[] = {10, 25, 50, 75, 100, 125, 150, 200, 300, 400};
constexpr double kMinScale = 0.10, kMaxScale = 4.0;
}  // namespace

double nextZoomLevel(double scale, int direction) {
  const double percent = scale * 100;
  // A fitted zoom lies between levels; half a per cent counts as on a level.
  if (direction > 0) {
    for (int level : kZoomLevels)
      if (level > percent + 0.5) return level / 100.0;
    return kMaxScale;
  }
  for (auto it = std::rbegin(kZoomLevels); it != std::rend(kZoomLevels); ++it)
    if (*it < percent - 0.5) return *it / 100.0;
  return kMinScale;
}

void TfrPreviewForm::ZoomAround(double newScale, QPoint anchor) {
  newScale = std::clamp(newScale, kMinScale, kMaxScale);
  if (!Pages || AllPages() == 0) {
    SetZoom(newScale * 100);
    return;
  }
  // The report point under the anchor, on the page it lies on (or the current
  // page when it lies between pages), stays under the anchor.
  const QPoint p = anchor - QPoint(OfsX, OfsY);
  int index = std::clamp(CurPage, 1, AllPages()) - 1;
  for (int i = 0; i < AllPages(); ++i) {
    const Rect& r = Pages->Entry(i).LayoutRect;
    if (p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom) {
      index = i;
      break;
    }
  }
  const Rect before = Pages->Entry(index).LayoutRect;
  const double rx = (p.x() - before.left) / Scale, ry = (p.y() - before.top) / Scale;
  Scale = newScale;
  ZoomMode = zmCustom;
  storeLastZoom();
  CurPage = index + 1;
  FormResize();
  const Rect& after = Pages->Entry(index).LayoutRect;
  HScrollBar->setValue(roundEven(after.left + rx * Scale) - anchor.x());
  VScrollBar->setValue(roundEven(after.top + ry * Scale) - anchor.y());
  PBox->update();
  ShowStatus(QString("Zoom %1%").arg(std::lround(Scale * 100)));
}

void TfrPreviewForm::ZoomStep(int direction, std::optional<QPoint> anchor) {
  ZoomAround(nextZoomLevel(Scale, direction), anchor.value_or(PBox->rect().center()));
}

}  // namespace orv
