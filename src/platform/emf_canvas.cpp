#include "platform/emf_canvas.h"

#include <QImage>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "platform/codepage.h"
#include "platform/emf_records.h"
#include "platform/error.h"

namespace orv {
namespace {

using namespace emf;

constexpr Rect kNoBounds{0, 0, -1, -1};

uint32_t colorRef(Color c) {
  return resolveColor(c) & 0x00FFFFFF;
}

bool fits16(const Point& p) {
  return p.x >= std::numeric_limits<int16_t>::min() && p.x <= std::numeric_limits<int16_t>::max() &&
         p.y >= std::numeric_limits<int16_t>::min() && p.y <= std::numeric_limits<int16_t>::max();
}

// Bounds arithmetic saturates: coordinates near the ends of the range must not wrap.
int32_t sat(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}
int32_t sat(double v) {
  if (!(v == v)) return 0;
  return int32_t(std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                            double(std::numeric_limits<int32_t>::max())));
}

Rect unite(const Rect& a, const Rect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

// Inclusive bounds of a rectangle given with exclusive right and bottom.
Rect shapeBoundsOf(const Rect& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom),
          sat(int64_t(std::max(r.left, r.right)) - 1), sat(int64_t(std::max(r.top, r.bottom)) - 1)};
}

// Inclusive bounds of a set of points, widened by half the pen.
Rect pointBounds(std::span<const Point> pts, int32_t widen) {
  Rect r{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
  for (const Point& p : pts) r = unite(r, Rect{p.x, p.y, p.x, p.y});
  return {sat(int64_t(r.left) - widen), sat(int64_t(r.top) - widen), sat(int64_t(r.right) + widen),
          sat(int64_t(r.bottom) + widen)};
}

}  // namespace

EmfCanvas::EmfCanvas(Rect bounds, int dpi) : bounds_(bounds), dpi_(dpi > 0 ? dpi : 96) {
  refs_.push_back(1);  // index 0 belongs to the metafile itself
}

void EmfCanvas::setDescription(std::u16string application, std::u16string title) {
  description_ = std::move(application);
  description_.push_back(0);
  description_ += title;
  description_.push_back(0);
  description_.push_back(0);
}

// ---- record writing ----

void EmfCanvas::put32(uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  out_.insert(out_.end(), b, b + 4);
}

void EmfCanvas::put16(uint16_t v) {
  out_.push_back(uint8_t(v));
  out_.push_back(uint8_t(v >> 8));
}

void EmfCanvas::putRect(const Rect& r) {
  putI32(r.left);
  putI32(r.top);
  putI32(r.right);
  putI32(r.bottom);
}

void EmfCanvas::putBounds(const Rect& inclusive) {
  putRect(inclusive);
}

void EmfCanvas::begin(uint32_t type) {
  if (finished_) throw Error("metafile canvas: drawing after the recording was finished");
  recordStart_ = out_.size();
  put32(type);
  put32(0);
}

void EmfCanvas::end() {
  while (out_.size() % 4) out_.push_back(0);
  const uint32_t size = uint32_t(out_.size() - recordStart_);
  for (int i = 0; i < 4; ++i) out_[recordStart_ + 4 + i] = uint8_t(size >> (8 * i));
  ++records_;
}

void EmfCanvas::simpleRecord(uint32_t type, std::initializer_list<int32_t> args) {
  begin(type);
  for (int32_t a : args) putI32(a);
  end();
}

void EmfCanvas::markDrawn(const Rect& inclusive) {
  if (inclusive.right < inclusive.left || inclusive.bottom < inclusive.top) return;
  drawn_ = drawn_ ? unite(*drawn_, inclusive) : inclusive;
}

// ---- objects ----

uint32_t EmfCanvas::allocHandle() {
  for (uint32_t i = 1; i < refs_.size(); ++i)
    if (refs_[i] == 0) return i;
  refs_.push_back(0);
  return uint32_t(refs_.size() - 1);
}

void EmfCanvas::retain(uint32_t handle) {
  if (handle == 0 || (handle & kStockObject)) return;
  ++refs_[handle];
  maxHandle_ = std::max(maxHandle_, handle);
}

void EmfCanvas::release(uint32_t handle) {
  if (handle == 0 || (handle & kStockObject)) return;
  if (--refs_[handle] == 0) simpleRecord(EMR_DELETEOBJECT, {int32_t(handle)});
}

void EmfCanvas::selectObject(uint32_t handle) {
  simpleRecord(EMR_SELECTOBJECT, {int32_t(handle)});
}

void EmfCanvas::syncPen() {
  PenSpec want = state_.pen;
  want.mode = PenMode::Copy;  // the mode is the ROP2, not part of the pen
  if (want.style == PenStyle::Clear) want = PenSpec{clBlack, 1, PenStyle::Clear, PenMode::Copy};
  if (emitted_.pen != 0 && emitted_.penSpec == want) return;
  uint32_t h;
  if (want.style == PenStyle::Clear) {
    h = kStockObject | NULL_PEN;
  } else {
    h = allocHandle();
    begin(EMR_CREATEPEN);
    put32(h);
    put32(uint32_t(want.style));
    putI32(std::max(want.width, 0));
    putI32(0);
    put32(colorRef(want.color));
    end();
    retain(h);
  }
  selectObject(h);
  const uint32_t old = emitted_.pen;
  emitted_.pen = h;
  emitted_.penSpec = want;
  release(old);
}

void EmfCanvas::syncBrush() {
  BrushSpec want = state_.brush;
  if (want.style == BrushStyle::Clear) want.color = clBlack;
  if (emitted_.brush != 0 && emitted_.brushSpec == want) return;
  uint32_t h;
  if (want.style == BrushStyle::Clear) {
    h = kStockObject | NULL_BRUSH;
  } else {
    h = allocHandle();
    begin(EMR_CREATEBRUSHINDIRECT);
    put32(h);
    put32(BS_SOLID);
    put32(colorRef(want.color));
    put32(0);
    end();
    retain(h);
  }
  selectObject(h);
  const uint32_t old = emitted_.brush;
  emitted_.brush = h;
  emitted_.brushSpec = want;
  release(old);
}

void EmfCanvas::syncFont() {
  const FontSpec& want = state_.font;
  if (emitted_.font != 0 && emitted_.fontSpec == want) return;
  const uint32_t h = allocHandle();
  begin(EMR_EXTCREATEFONTINDIRECTW);
  put32(h);
  putI32(want.height);
  putI32(0);  // width: the font's own
  putI32(want.escapement);
  putI32(want.orientation);
  putI32(want.weight);
  out_.push_back(want.italic ? 1 : 0);
  out_.push_back(want.underline ? 1 : 0);
  out_.push_back(want.strikeOut ? 1 : 0);
  out_.push_back(want.charset);
  out_.push_back(0);  // output precision: default
  out_.push_back(0);  // clipping precision: default
  out_.push_back(0);  // quality: default
  out_.push_back(0);  // pitch and family: default
  // Face names are plain ASCII in practice; they are held in the program's own page.
  const QString face = decodeBytes(want.face, 1252);
  for (int i = 0; i < 32; ++i) put16(i < 31 && i < face.size() ? face[i].unicode() : 0);
  end();
  retain(h);
  selectObject(h);
  const uint32_t old = emitted_.font;
  emitted_.font = h;
  emitted_.fontSpec = want;
  release(old);
}

void EmfCanvas::syncModes(bool text) {
  if (emitted_.bkMode != state_.bkMode) {
    simpleRecord(EMR_SETBKMODE, {int32_t(state_.bkMode)});
    emitted_.bkMode = state_.bkMode;
  }
  if (emitted_.bkColor != state_.bkColor) {
    simpleRecord(EMR_SETBKCOLOR, {int32_t(colorRef(state_.bkColor))});
    emitted_.bkColor = state_.bkColor;
  }
  if (text) {
    if (emitted_.textColor != state_.textColor) {
      simpleRecord(EMR_SETTEXTCOLOR, {int32_t(colorRef(state_.textColor))});
      emitted_.textColor = state_.textColor;
    }
  } else if (emitted_.rop != state_.pen.mode) {
    uint32_t rop = R2_COPYPEN;
    if (state_.pen.mode == PenMode::Xor) rop = R2_XORPEN;
    if (state_.pen.mode == PenMode::NotXor) rop = R2_NOTXORPEN;
    simpleRecord(EMR_SETROP2, {int32_t(rop)});
    emitted_.rop = state_.pen.mode;
  }
}

void EmfCanvas::syncForShape() {
  syncPen();
  syncBrush();
  syncModes(false);
}

// ---- state ----

void EmfCanvas::save() {
  Canvas::save();
  simpleRecord(EMR_SAVEDC, {});
  emittedSaved_.push_back(emitted_);
  retain(emitted_.pen);
  retain(emitted_.brush);
  retain(emitted_.font);
}

void EmfCanvas::restore() {
  if (saved_.empty() || emittedSaved_.empty()) return;
  Canvas::restore();
  simpleRecord(EMR_RESTOREDC, {-1});
  const Emitted current = emitted_;
  emitted_ = emittedSaved_.back();
  emittedSaved_.pop_back();
  // The restored objects are selected again; the ones that were selected
  // until now may have lost their last holder.
  release(current.pen);
  release(current.brush);
  release(current.font);
}

void EmfCanvas::setClipRect(const std::optional<Rect>& r) {
  Canvas::setClipRect(r);
  begin(EMR_EXTSELECTCLIPRGN);
  put32(0);  // no region: back to the whole surface
  put32(RGN_COPY);
  end();
  if (r) simpleRecord(EMR_INTERSECTCLIPRECT, {r->left, r->top, r->right, r->bottom});
}

void EmfCanvas::intersectClipRect(const Rect& r) {
  Canvas::intersectClipRect(r);
  simpleRecord(EMR_INTERSECTCLIPRECT, {r.left, r.top, r.right, r.bottom});
}

void EmfCanvas::excludeClipRect(const Rect& r) {
  Canvas::excludeClipRect(r);
  simpleRecord(EMR_EXCLUDECLIPRECT, {r.left, r.top, r.right, r.bottom});
}

// ---- drawing ----

Rect EmfCanvas::shapeBounds(const Rect& r) const {
  const int32_t w = state_.pen.style == PenStyle::Clear ? 0 : std::max(state_.pen.width, 1) / 2;
  return {sat(int64_t(std::min(r.left, r.right)) - w), sat(int64_t(std::min(r.top, r.bottom)) - w),
          sat(int64_t(std::max(r.left, r.right)) - 1 + w),
          sat(int64_t(std::max(r.top, r.bottom)) - 1 + w)};
}

void EmfCanvas::lineTo(int32_t x, int32_t y) {
  syncPen();
  syncModes(false);
  if (emitted_.current != state_.current)
    simpleRecord(EMR_MOVETOEX, {state_.current.x, state_.current.y});
  simpleRecord(EMR_LINETO, {x, y});
  const Point line[2] = {state_.current, {x, y}};
  markDrawn(pointBounds(line, std::max(state_.pen.width, 1) / 2));
  state_.current = {x, y};
  emitted_.current = state_.current;
}

void EmfCanvas::polyRecord(uint32_t type16, uint32_t type32, std::span<const Point> pts) {
  if (pts.empty()) return;
  syncForShape();
  const Rect b = pointBounds(pts, std::max(state_.pen.width, 1) / 2);
  const bool small = std::all_of(pts.begin(), pts.end(), fits16);
  begin(small ? type16 : type32);
  putBounds(b);
  put32(uint32_t(pts.size()));
  for (const Point& p : pts) {
    if (small) {
      put16(uint16_t(int16_t(p.x)));
      put16(uint16_t(int16_t(p.y)));
    } else {
      putI32(p.x);
      putI32(p.y);
    }
  }
  end();
  markDrawn(b);
}

void EmfCanvas::polyline(std::span<const Point> pts) {
  polyRecord(EMR_POLYLINE16, EMR_POLYLINE, pts);
}

void EmfCanvas::polygon(std::span<const Point> pts) {
  polyRecord(EMR_POLYGON16, EMR_POLYGON, pts);
}

void EmfCanvas::boxRecord(uint32_t type, const Rect& r) {
  syncForShape();
  begin(type);
  putRect(r);
  end();
  markDrawn(shapeBounds(r));
}

void EmfCanvas::rectangle(const Rect& r) {
  boxRecord(EMR_RECTANGLE, r);
}

void EmfCanvas::ellipse(const Rect& r) {
  boxRecord(EMR_ELLIPSE, r);
}

void EmfCanvas::roundRect(const Rect& r, int32_t ellipseWidth, int32_t ellipseHeight) {
  syncForShape();
  begin(EMR_ROUNDRECT);
  putRect(r);
  putI32(ellipseWidth);
  putI32(ellipseHeight);
  end();
  markDrawn(shapeBounds(r));
}

void EmfCanvas::arcRecord(uint32_t type, const Rect& r, Point start, Point end_) {
  syncForShape();
  begin(type);
  putRect(r);
  putI32(start.x);
  putI32(start.y);
  putI32(end_.x);
  putI32(end_.y);
  end();
  markDrawn(shapeBounds(r));
}

void EmfCanvas::arc(const Rect& r, Point start, Point end) {
  arcRecord(EMR_ARC, r, start, end);
}

void EmfCanvas::pie(const Rect& r, Point start, Point end) {
  arcRecord(EMR_PIE, r, start, end);
}

void EmfCanvas::fillRect(const Rect& r) {
  if (r.isEmpty() || state_.brush.style == BrushStyle::Clear) return;
  syncBrush();
  const Rect b{r.left, r.top, r.right - 1, r.bottom - 1};
  begin(EMR_FILLRGN);
  putBounds(b);
  put32(32 + 16);  // region data: header and one rectangle
  put32(emitted_.brush);
  put32(32);  // RGNDATAHEADER: size, type (rectangles), count, size of the rectangles
  put32(1);
  put32(1);
  put32(16);
  putRect(r);
  putRect(r);
  end();
  markDrawn(b);
}

void EmfCanvas::textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip,
                        uint32_t flags) {
  syncFont();
  syncModes(true);
  const QString unicode = decodeBytes(text, codePageForFont(state_.font.face, state_.font.charset));
  std::vector<int32_t> dx = charAdvances(text);
  dx.resize(size_t(unicode.size()), 0);
  int64_t width = 0;
  for (int32_t a : dx) width += a;
  const TextMetrics tm = textMetrics();

  // The text cell, turned about the reference point by the escapement.
  Rect bounds = kNoBounds;
  if (!dx.empty() && width > 0) {
    const double a = state_.font.escapement / 10.0 * std::numbers::pi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    const double corners[3][2] = {
        {double(width), 0}, {0, double(tm.height)}, {double(width), double(tm.height)}};
    for (const auto& k : corners) {
      const double px = k[0] * c + k[1] * s;
      const double py = -k[0] * s + k[1] * c;
      minX = std::min(minX, px), maxX = std::max(maxX, px);
      minY = std::min(minY, py), maxY = std::max(maxY, py);
    }
    bounds = {sat(x + std::floor(minX + 1e-9)), sat(y + std::floor(minY + 1e-9)),
              sat(x + std::ceil(maxX - 1e-9) - 1), sat(y + std::ceil(maxY - 1e-9) - 1)};
  }
  uint32_t options = flags & etoRtlReading;
  Rect rcl = kNoBounds;
  if (clip && (flags & (etoOpaque | etoClipped))) {
    options |= flags & (etoOpaque | etoClipped);
    rcl = *clip;
    const Rect inclusive{clip->left, clip->top, sat(int64_t(clip->right) - 1),
                         sat(int64_t(clip->bottom) - 1)};
    if ((flags & etoClipped) && bounds.right >= bounds.left) {
      bounds = {std::max(bounds.left, inclusive.left), std::max(bounds.top, inclusive.top),
                std::min(bounds.right, inclusive.right), std::min(bounds.bottom, inclusive.bottom)};
      if (bounds.right < bounds.left || bounds.bottom < bounds.top) bounds = kNoBounds;
    }
    if ((flags & etoOpaque) && !clip->isEmpty())
      bounds = bounds.right >= bounds.left ? unite(bounds, inclusive) : inclusive;
  }

  const uint32_t n = uint32_t(unicode.size());
  const uint32_t offString = kExtTextOutFixed;
  const uint32_t offDx = offString + ((n * 2 + 3) & ~3u);
  begin(EMR_EXTTEXTOUTW);
  putBounds(bounds);
  put32(GM_COMPATIBLE);
  const float scale = float(2540.0 / dpi_);  // 0.01 mm per logical unit
  uint32_t bitsOfScale;
  static_assert(sizeof bitsOfScale == sizeof scale);
  std::memcpy(&bitsOfScale, &scale, sizeof scale);
  put32(bitsOfScale);
  put32(bitsOfScale);
  putI32(x);
  putI32(y);
  put32(n);
  put32(offString);
  put32(options);
  putRect(rcl);
  put32(offDx);
  for (QChar ch : unicode) put16(ch.unicode());
  while (out_.size() - recordStart_ < offDx) out_.push_back(0);
  for (int32_t a : dx) putI32(a);
  end();
  markDrawn(bounds);
}

void EmfCanvas::stretchImage(const Rect& dest, const QImage& image) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return;
  const bool alpha = image.hasAlphaChannel();
  const QImage img = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  const uint32_t w = uint32_t(img.width()), h = uint32_t(img.height());
  const uint32_t bpp = alpha ? 32 : 24;
  const uint32_t stride = ((w * bpp + 31) / 32) * 4;
  const uint64_t bitsSize = uint64_t(stride) * h;
  if (bitsSize > 0x7FFFFFFFu - 200) throw Error("metafile canvas: image too large to record");
  const uint32_t offBmi = 80, cbBmi = 40, offBits = offBmi + cbBmi;
  begin(EMR_STRETCHDIBITS);
  const Rect drawn = shapeBoundsOf(dest);
  putBounds(drawn);
  putI32(dest.left);
  putI32(dest.top);
  putI32(0);
  putI32(0);
  put32(w);
  put32(h);
  put32(offBmi);
  put32(cbBmi);
  put32(offBits);
  put32(uint32_t(bitsSize));
  put32(0);  // colours are RGB values
  put32(SRCCOPY);
  putI32(sat(int64_t(dest.right) - dest.left));
  putI32(sat(int64_t(dest.bottom) - dest.top));
  // BITMAPINFOHEADER of a bottom-up DIB.
  put32(40);
  put32(w);
  put32(h);
  put16(1);
  put16(uint16_t(bpp));
  put32(0);
  put32(uint32_t(bitsSize));
  const uint32_t ppm = uint32_t(std::lround(dpi_ / 0.0254));
  put32(ppm);
  put32(ppm);
  put32(0);
  put32(0);
  const size_t base = out_.size();
  out_.resize(base + bitsSize, 0);
  for (uint32_t row = 0; row < h; ++row) {
    const QRgb* src = reinterpret_cast<const QRgb*>(img.constScanLine(int(h - 1 - row)));
    uint8_t* dst = out_.data() + base + size_t(row) * stride;
    for (uint32_t col = 0; col < w; ++col) {
      *dst++ = uint8_t(qBlue(src[col]));
      *dst++ = uint8_t(qGreen(src[col]));
      *dst++ = uint8_t(qRed(src[col]));
      if (alpha) *dst++ = uint8_t(qAlpha(src[col]));
    }
  }
  end();
  markDrawn(drawn);
}

// ---- completion ----

std::vector<uint8_t> EmfCanvas::finish() {
  if (finished_) return out_;
  while (!saved_.empty()) restore();
  // Put the stock objects back so that every object we made can be deleted.
  const uint32_t stock[3] = {kStockObject | BLACK_PEN, kStockObject | WHITE_BRUSH,
                             kStockObject | SYSTEM_FONT};
  uint32_t* held[3] = {&emitted_.pen, &emitted_.brush, &emitted_.font};
  for (int i = 0; i < 3; ++i) {
    const uint32_t h = *held[i];
    if (h == 0 || (h & kStockObject)) continue;
    selectObject(stock[i]);
    *held[i] = stock[i];
    release(h);
  }
  begin(EMR_EOF);
  put32(0);   // palette entries
  put32(16);  // offset of the (absent) palette
  put32(20);  // this record's size, repeated at its end
  end();

  const uint32_t descBytes = uint32_t(description_.size() * 2);
  const uint32_t headerSize = kHeaderSize + ((descBytes + 3) & ~3u);
  std::vector<uint8_t> body = std::move(out_);
  out_.clear();
  out_.reserve(headerSize + body.size());
  const Rect b = drawn_ ? *drawn_ : kNoBounds;
  auto frame = [&](int32_t v) { return int32_t(std::lround(v * 2540.0 / dpi_)); };
  recordStart_ = 0;
  put32(EMR_HEADER);
  put32(headerSize);
  putRect(b);
  putRect({frame(bounds_.left), frame(bounds_.top), frame(bounds_.right), frame(bounds_.bottom)});
  put32(kSignature);
  put32(kVersion);
  put32(uint32_t(headerSize + body.size()));
  put32(uint32_t(records_ + 1));
  put16(uint16_t(std::min<uint32_t>(maxHandle_ + 1, 0xFFFF)));
  put16(0);
  put32(uint32_t(description_.size()));
  put32(description_.empty() ? 0 : kHeaderSize);
  put32(0);  // palette entries
  // A reference device of exactly dpi pixels per inch: 10 inches of pixels
  // over 254 millimetres.
  put32(uint32_t(dpi_) * 10);
  put32(uint32_t(dpi_) * 10);
  put32(254);
  put32(254);
  put32(0);  // no pixel format
  put32(0);
  put32(0);  // not OpenGL
  put32(254000);
  put32(254000);
  for (char16_t c : description_) put16(c);
  while (out_.size() < headerSize) out_.push_back(0);
  out_.insert(out_.end(), body.begin(), body.end());
  ++records_;
  finished_ = true;
  return out_;
}

}  // namespace orv
