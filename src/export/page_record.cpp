#include "export/page_record.h"

#include <algorithm>

#include "model/memo_view.h"
#include "model/printer_info.h"
#include "model/view.h"
#include "platform/codepage.h"
#include "platform/fonts.h"
#include "prepared/emf_pages.h"
#include "prepared/page_export.h"

namespace orv {

std::optional<Rect> RecordingCanvas::clipBox() const {
  if (!state_.clip) return std::nullopt;
  const QRect b = state_.clip->boundingRect();
  return Rect{b.left(), b.top(), b.right() + 1, b.bottom() + 1};
}

RecordedShape& RecordingCanvas::shape(ShapeKind kind, bool outline, bool filled) {
  RecordedShape s;
  s.object = currentObject;
  s.kind = kind;
  if (outline && state_.pen.style != PenStyle::Clear) s.pen = state_.pen;
  if (filled && state_.brush.style != BrushStyle::Clear) s.fill = state_.brush.color;
  s.clip = clipBox();
  out_.order.emplace_back(PageRecord::Item::Shape, int(out_.shapes.size()));
  out_.shapes.push_back(std::move(s));
  return out_.shapes.back();
}

void RecordingCanvas::lineTo(int32_t x, int32_t y) {
  const Point from = state_.current;
  state_.current = {x, y};
  if (state_.pen.style == PenStyle::Clear) return;
  shape(ShapeKind::Line, true, false).points = {from, {x, y}};
}

void RecordingCanvas::polyline(std::span<const Point> pts) {
  if (pts.size() < 2 || state_.pen.style == PenStyle::Clear) return;
  shape(ShapeKind::Polyline, true, false).points.assign(pts.begin(), pts.end());
}

void RecordingCanvas::polygon(std::span<const Point> pts) {
  if (pts.size() < 2) return;
  shape(ShapeKind::Polygon, true, true).points.assign(pts.begin(), pts.end());
}

void RecordingCanvas::rectangle(const Rect& r) {
  shape(ShapeKind::Rectangle, true, true).box = r;
}

void RecordingCanvas::roundRect(const Rect& r, int32_t ellipseWidth, int32_t ellipseHeight) {
  RecordedShape& s = shape(ShapeKind::RoundRect, true, true);
  s.box = r;
  s.corner = {ellipseWidth, ellipseHeight};
}

void RecordingCanvas::ellipse(const Rect& r) {
  shape(ShapeKind::Ellipse, true, true).box = r;
}

void RecordingCanvas::arc(const Rect& r, Point start, Point end) {
  RecordedShape& s = shape(ShapeKind::Arc, true, false);
  s.box = r;
  s.points = {start, end};
}

void RecordingCanvas::pie(const Rect& r, Point start, Point end) {
  RecordedShape& s = shape(ShapeKind::Pie, true, true);
  s.box = r;
  s.points = {start, end};
}

void RecordingCanvas::fillRect(const Rect& r) {
  if (state_.brush.style == BrushStyle::Clear) return;
  RecordedShape s;
  s.object = currentObject;
  s.kind = ShapeKind::Fill;
  s.box = r;
  s.fill = state_.brush.color;
  s.clip = clipBox();
  out_.order.emplace_back(PageRecord::Item::Shape, int(out_.shapes.size()));
  out_.shapes.push_back(std::move(s));
}

void RecordingCanvas::textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip,
                              uint32_t flags) {
  const ScaledFont& f = scaledFont(state_.font);
  const bool clipped = (flags & etoClipped) && clip;
  if ((flags & etoOpaque) && clip && !clip->isEmpty()) {
    RecordedShape s;
    s.object = currentObject;
    s.kind = ShapeKind::Fill;
    s.box = *clip;
    s.fill = state_.bkColor;
    s.clip = clipBox();
    out_.order.emplace_back(PageRecord::Item::Shape, int(out_.shapes.size()));
    out_.shapes.push_back(std::move(s));
  }
  if (text.empty()) return;
  RecordedText t;
  t.object = currentObject;
  t.x = x;
  t.y = y;
  t.font = state_.font;
  t.emPixels = f.emPixels();
  t.ascent = f.metrics().ascent;
  t.color = state_.textColor;
  const std::vector<int32_t> adv = charAdvances(text);
  // One advance per Unicode character: the code pages we read are single-byte.
  t.text = decodeBytes(text, f.codePage());
  if (t.text.size() == qsizetype(adv.size())) {
    t.advances = adv;
  } else {
    t.advances.assign(size_t(t.text.size()), 0);
    size_t k = 0;
    for (int32_t a : adv) {
      if (k < t.advances.size()) t.advances[k] += a;
      ++k;
    }
  }
  int64_t width = 0;
  for (int32_t a : adv) width += a;
  t.bounds = {x, y, saturateInt(double(x) + double(width)), y + f.metrics().height};
  std::optional<Rect> c = clipBox();
  if (clipped) {
    c = c ? Rect{std::max(c->left, clip->left), std::max(c->top, clip->top),
                 std::min(c->right, clip->right), std::min(c->bottom, clip->bottom)}
          : *clip;
  }
  t.clip = c;
  if (state_.bkMode == BkMode::Opaque) t.opaque = state_.bkColor;
  if (currentObject >= 0)
    out_.objects[size_t(currentObject)].texts.push_back(int(out_.texts.size()));
  out_.order.emplace_back(PageRecord::Item::Text, int(out_.texts.size()));
  out_.texts.push_back(std::move(t));
}

void RecordingCanvas::stretchImage(const Rect& dest, const QImage& image) {
  if (image.isNull()) return;
  RecordedImage i;
  i.object = currentObject;
  i.dest = dest;
  i.image = image;
  i.clip = clipBox();
  out_.order.emplace_back(PageRecord::Item::Image, int(out_.images.size()));
  out_.images.push_back(std::move(i));
}

PageRecord recordPage(TfrEMFPages& pages, int index, double dpi) {
  PageRecord rec;
  rec.index = index;
  rec.scale = dpi / kReportPixelsPerInch;
  const PreparedPage& e = pages.Entry(index);
  rec.page = {0, 0, std::max(1, roundEven(e.Format().PrinterInfo.PaperWidthPx * rec.scale)),
              std::max(1, roundEven(e.Format().PrinterInfo.PaperHeightPx * rec.scale))};
  RecordingCanvas canvas(rec, rec.page);
  drawPageOnce(pages, index, canvas, rec.page, rec.scale, [&](TfrView& v) {
    RecordedObject o;
    o.box = {roundEven(v.Left * v.ZoomX) + v.ShiftX, roundEven(v.Top * v.ZoomY) + v.ShiftY,
             roundEven((double(v.Left) + v.Width) * v.ZoomX) + v.ShiftX,
             roundEven((double(v.Top) + v.Height) * v.ZoomY) + v.ShiftY};
    o.typeCode = v.TypeCode;
    o.className = v.ClassName();
    o.fill = v.FillColor;
    o.format = v.Format;
    o.formatText = decodeBytes(v.FormatStr, 1252).toStdString();
    if (auto* memo = dynamic_cast<TfrMemoView*>(&v)) {
      o.alignment = memo->Alignment;
      o.font = memo->Font.Spec(memo->Font.Height());
      o.fontPoints = memo->Font.Size;
      o.fontColor = memo->Font.FontColor;
    }
    canvas.currentObject = int(rec.objects.size());
    rec.objects.push_back(std::move(o));
  });
  return rec;
}

}  // namespace orv
