#include <QtGlobal>
#include <algorithm>

#include "model/factory.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/state.h"
#include "platform/canvas.h"
#include "platform/url_open.h"
#include "prepared/emf_pages.h"
#include "prepared/frp_error.h"

namespace orv {

Rect pageTargetRect(const PreparedPage& page, const Rect& r, double scale) {
  const PageFormat& e = page.Format();
  if (e.UseMargins) return r;
  const PrinterInfo& pi = e.PrinterInfo;
  const int32_t left = r.left + roundEven((pi.OffsetX + e.Margins.left) * scale);
  const int32_t top = r.top + roundEven((pi.OffsetY + e.Margins.top) * scale);
  return {left, top,
          left + roundEven((pi.PrintableWidth - e.Margins.left - e.Margins.right) * scale),
          top + roundEven((pi.PrintableHeight - e.Margins.top - e.Margins.bottom) * scale)};
}

void TfrEMFPages::BuildObjects(int index) {
  PreparedPage& e = Entry(index);
  // A loaded page is unpacked for this build only; its objects are what stays.
  // Read before anything else changes, since reading can fail.
  MemoryStream unpacked;
  if (e.Stored) unpacked = objectsCopy(index);
  MemoryStream& s = e.Stored ? unpacked : e.Objects();
  const PageFormat& f = e.Format();
  PaperSpec paper{f.PaperSize, f.PaperWidth, f.PaperHeight, f.Orientation, f.Bin};
  auto page = std::make_shared<TfrPage>(paper);
  page->Margins = {f.Margins.left, f.Margins.top, f.Margins.right, f.Margins.bottom};
  page->UseMargins = f.UseMargins != 0;
  ModelState& state = modelState();
  state.CurrentPage = page.get();
  factoryState().resetMissing();

  s.rewind();
  std::optional<FrpProblem> stopped;
  try {
    if (!s.atEnd()) state.StreamVersion = s.readU8("stream version");
    while (!s.atEnd()) {
      std::unique_ptr<TfrView> view = ReadPreparedObject(s);
      if (!view) break;  // codes without a class carry no record to skip
      // A text object that sizes itself settles its final width by drawing once.
      if (view->TypeCode == 0 && (view->Flags & flAutoWidth)) view->Draw(scratchCanvas());
      page->Add(std::move(view));
    }
  } catch (const ClassNotFoundError& err) {
    // A record cannot be skipped without knowing its class: the page keeps
    // the objects before it and says why the rest is missing.
    stopped = FrpProblem(FrpReason::UnknownObjectClass).about(err.className).onPage(index + 1);
  } catch (...) {
    state.CurrentPage = nullptr;
    s.rewind();
    throw;
  }
  s.rewind();
  PreparedPage::Live& live = e.live();
  live.error = stopped ? std::make_shared<const FrpProblem>(*stopped) : nullptr;
  live.page = std::move(page);
}

void TfrEMFPages::Draw(int index, Canvas& canvas, const Rect& target,
                       const std::function<void(TfrView&)>& beforeView) {
  PreparedPage& e = Entry(index);
  PrinterModel& printer = sharedPrinter();
  const bool printing = printer.isPrinting() && canvas.printerCanvas;
  ModelState& state = modelState();
  state.Mode = DocumentMode::Running;
  if (!e.Visible) {
    e.ReleaseObjects();
    return;
  }
  if (!e.ObjectPage()) BuildObjects(index);
  TfrPage& page = *e.ObjectPage();
  state.CurrentPage = &page;
  const PrinterInfo& info = e.Format().PrinterInfo;
  if (info.PaperWidthPx <= 0 || info.PaperHeightPx <= 0) return;
  const double kx = double(target.width()) / info.PaperWidthPx;
  const double ky = double(target.height()) / info.PaperHeightPx;
  const bool cull = !printing && !canvas.isMetafile();
  for (auto& v : page.Objects) {
    TfrView& view = *v;
    if (cull) {
      // Views wholly outside the area being repainted are skipped; the margin
      // covers frames and text that reach a little beyond the object.
      const Rect r{roundEven(view.Left * kx) + target.left - 10,
                   roundEven(view.Top * ky) + target.top - 10,
                   roundEven((double(view.Left) + view.Width) * kx) + target.left + 10,
                   roundEven((double(view.Top) + view.Height) * ky) + target.top + 10};
      if (!canvas.rectVisible(r)) continue;
    }
    view.ZoomX = kx;
    view.ZoomY = ky;
    view.ShiftX = target.left;
    view.ShiftY = target.top;
    view.OnPrinterCanvas = printing;
    if (beforeView) beforeView(view);
    view.Draw(canvas);
  }
  if (const FrpProblem* error = e.ObjectsError()) {
    if (!fileInfo_.path.empty()) throw PreparedFileError(fileInfo_.path, *error);
    throw PreparedError(*error);
  }
}

TfrEMFPages::Hit TfrEMFPages::ObjectAt(int index, Point pt, bool click) {
  PreparedPage& e = Entry(index);
  if (!e.ObjectPage()) BuildObjects(index);
  TfrPage& page = *e.ObjectPage();
  double kx = 1, ky = 1, ox = 0, oy = 0;
  const PageFormat& f = e.Format();
  const PrinterInfo& pi = f.PrinterInfo;
  if (!f.UseMargins && pi.PaperWidthPx > 0 && pi.PaperHeightPx > 0) {
    kx = double(pi.PrintableWidth - f.Margins.left - f.Margins.right) / pi.PaperWidthPx;
    ky = double(pi.PrintableHeight - f.Margins.top - f.Margins.bottom) / pi.PaperHeightPx;
    ox = f.Margins.left + pi.OffsetX;
    oy = f.Margins.top + pi.OffsetY;
  }
  Hit hit;
  for (auto it = page.Objects.rbegin(); it != page.Objects.rend(); ++it) {
    TfrView& v = **it;
    const Rect r{roundEven(v.Left * kx + ox), roundEven(v.Top * ky + oy),
                 roundEven(ox + (double(v.Left) + v.Width) * kx),
                 roundEven(oy + (double(v.Top) + v.Height) * ky)};
    if (pt.x < r.left || pt.x > r.right || pt.y < r.top || pt.y > r.bottom) continue;
    // Only the topmost view under the point counts.
    const bool isLink = v.Name.size() >= 3 && qstrnicmp(v.Name.c_str(), "URL", 3) == 0;
    if (click) {
      if (Parent && Parent->objectClick(v)) hit.handled = true;
      if (!isLink) return hit;
      if (v.Tag.find('@') == std::string::npos) {
        // Outside links go to the desktop, but only when they are known to be
        // harmless; the text is reported either way so the preview can show it.
        hit.handled = true;
        hit.text = openLinkSafely(v.Tag) ? std::string() : v.Tag;
        return hit;
      }
      hit.text = v.Tag;
      hit.handled = true;
      return hit;
    }
    if (Parent && Parent->mouseOverObject(v, hit.cursor)) hit.handled = true;
    if (!isLink) return hit;
    hit.cursor = LinkCursor::HandPoint;
    hit.text = v.Tag;
    hit.handled = true;
    return hit;
  }
  return hit;
}

}  // namespace orv
