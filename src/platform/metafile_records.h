#pragma once
// The records of enhanced and Windows metafiles as the program reads them:
// one small struct per record kind and one decoding function for each, all
// reading through the checked cursor below. The player, the text-run reader
// and the writer's tests know record layouts only from here.
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/emf_records.h"
#include "platform/error.h"
#include "platform/geometry.h"

namespace orv::metafile {

[[noreturn]] void fail(const std::string& what);

// One record, read with checked offsets: a field beyond the record's end is
// an error naming the record, never a read outside it.
struct Rec {
  std::span<const uint8_t> d;
  uint32_t type = 0;
  size_t index = 0;

  [[noreturn]] void bad(const char* what) const;
  void need(uint64_t off, uint64_t n) const {
    if (off > d.size() || n > d.size() - off) bad("is too short for its fields");
  }
  uint8_t u8(size_t off) const {
    need(off, 1);
    return d[off];
  }
  uint16_t u16(size_t off) const {
    need(off, 2);
    return uint16_t(d[off] | (d[off + 1] << 8));
  }
  int16_t i16(size_t off) const { return int16_t(u16(off)); }
  uint32_t u32(size_t off) const {
    need(off, 4);
    return uint32_t(d[off]) | (uint32_t(d[off + 1]) << 8) | (uint32_t(d[off + 2]) << 16) |
           (uint32_t(d[off + 3]) << 24);
  }
  int32_t i32(size_t off) const { return int32_t(u32(off)); }
  float f32(size_t off) const;
  std::span<const uint8_t> sub(uint64_t off, uint64_t n) const {
    need(off, n);
    return d.subspan(size_t(off), size_t(n));
  }
};

struct DPoint {
  double x = 0;
  double y = 0;
};

// ---- files ----

struct EmfHeader {
  uint32_t size = 0;
  Rect bounds;  // reference device pixels, inclusive
  Rect frame;   // 0.01 mm
  uint16_t handles = 0;
  Size devicePixels;
  Size deviceMillimetres;
  Size deviceMicrometres;  // zero when the header is too old to have them
};
// The header of an EMF for playing: at least the 88 bytes of the oldest one.
EmfHeader decodeEmfHeader(std::span<const uint8_t> bytes);
// The bounds and frame alone, which is all a size needs.
EmfHeader decodeEmfFrame(std::span<const uint8_t> bytes);
// The size of the object table, from a header of at least 88 bytes.
uint16_t decodeEmfHandles(std::span<const uint8_t> bytes);

// The next record of an EMF at `pos`, its size checked; `index` counts them.
Rec nextEmfRecord(std::span<const uint8_t> bytes, size_t pos, size_t index);

struct WmfPlaceable {
  Rect box;  // logical units
  uint16_t unitsPerInch = 0;
};
WmfPlaceable decodeWmfPlaceable(std::span<const uint8_t> bytes);

struct WmfHeader {
  uint16_t headerWords = 0;
  uint16_t objects = 0;
};
WmfHeader decodeWmfHeader(std::span<const uint8_t> bytes, size_t pos);

// The next record of a WMF at `pos`; none when what is left is too short to
// be one (trailing padding), an error when its size is wrong.
std::optional<Rec> nextWmfRecord(std::span<const uint8_t> bytes, size_t pos, size_t index);

// The window a plain WMF sets before its first drawing, which is its picture.
struct WmfWindow {
  std::optional<DPoint> origin;
  std::optional<DPoint> extent;
};
WmfWindow scanWmfWindow(std::span<const uint8_t> bytes, size_t pos);

// ---- EMF records (offsets after the 8-byte type and size) ----

// Records of one 32-bit value: modes, colours, object indexes, counts.
uint32_t emfValue(const Rec& r);
// Records of one point: window and viewport origins and extents, moves,
// lines, clip offsets.
Point emfPoint(const Rec& r);
// Records of one rectangle: rectangles, ellipses, clip rectangles.
Rect emfBox(const Rec& r);

// EMR_POLY... and EMR_POLY...16: bounds, count, points.
std::vector<DPoint> emfPolyPoints(const Rec& r, bool small);
std::vector<std::vector<DPoint>> emfPolyPolyPoints(const Rec& r, bool small);

struct EmfPolyDraw {
  std::vector<DPoint> points;
  std::span<const uint8_t> types;  // one per point
};
EmfPolyDraw emfPolyDraw(const Rec& r, bool small);

struct EmfScale {
  int32_t xNum = 0, xDenom = 0, yNum = 0, yDenom = 0;
};
EmfScale emfScale(const Rec& r);

struct EmfXformRecord {
  float m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  uint32_t mode = emf::MWT_SET;  // EMR_SETWORLDTRANSFORM sets
};
EmfXformRecord emfXform(const Rec& r);

struct EmfSetPixel {
  Point at;
  uint32_t color = 0;
};
EmfSetPixel emfSetPixel(const Rec& r);

// Rounded rectangles and arcs of both formats.
struct RoundRectRecord {
  Rect box;
  Size corner;
};
RoundRectRecord emfRoundRect(const Rec& r);

struct ArcRecord {
  Rect box;
  Point start, end;  // on the radials that bound the arc
};
ArcRecord emfArc(const Rec& r);

struct EmfAngleArc {
  Point centre;
  uint32_t radius = 0;
  float startAngle = 0, sweepAngle = 0;
};
EmfAngleArc emfAngleArc(const Rec& r);

struct EmfCreatePen {
  uint32_t index = 0;
  uint32_t style = 0;
  int32_t width = 0;  // LOGPEN: a POINT whose x is the width
  uint32_t color = 0;
};
EmfCreatePen emfCreatePen(const Rec& r);

struct EmfExtCreatePen {
  uint32_t index = 0;
  uint32_t style = 0;
  uint32_t width = 0;
  uint32_t brushStyle = 0;
  uint32_t color = 0;
};
EmfExtCreatePen emfExtCreatePen(const Rec& r);

struct EmfCreateBrush {
  uint32_t index = 0;
  uint32_t style = 0;
  uint32_t color = 0;
};
EmfCreateBrush emfCreateBrush(const Rec& r);

// EMR_CREATEMONOBRUSH and EMR_CREATEDIBPATTERNBRUSHPT. A pattern whose
// bitmap lies outside the record is no error: the brush is still made.
struct EmfPatternBrush {
  uint32_t index = 0;
  bool readable = false;
  std::span<const uint8_t> info, bits;
};
EmfPatternBrush emfPatternBrush(const Rec& r);

// The LOGFONT fields both formats have.
struct FontRecord {
  uint32_t index = 0;  // EMF only: the object table slot
  int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  bool italic = false, underline = false, strikeOut = false;
  uint8_t charset = 0;
  std::string face;  // Windows-1252 (EMF) or the bytes as stored (WMF)
};
FontRecord emfCreateFont(const Rec& r);

// EMR_EXTSELECTCLIPRGN: no rectangles and `empty` for a region of no bytes.
struct EmfClipRegion {
  uint32_t mode = 0;
  bool empty = true;
  std::vector<Rect> rects;  // reference device pixels, right and bottom exclusive
};
EmfClipRegion emfClipRegion(const Rec& r);

struct EmfFillRegion {
  uint32_t brush = 0;  // EMR_FILLRGN only
  std::vector<Rect> rects;
};
EmfFillRegion emfFillRegion(const Rec& r);
// The brush of EMR_FILLRGN alone, to be checked before the region is read.
uint32_t emfFillRegionBrush(const Rec& r);
EmfFillRegion emfPaintRegion(const Rec& r);

// EMR_EXTTEXTOUTA and EMR_EXTTEXTOUTW.
struct EmfExtTextOut {
  Rect bounds;
  Point reference;
  uint32_t count = 0;
  uint32_t options = 0;
  Rect rect;
  bool wide = false;
  std::span<const uint8_t> chars;  // count bytes, or count UTF-16 units when wide
  std::vector<int32_t> dx;         // empty when the record has none that fit
  QString unicode() const;         // wide records only
};
// `forDrawing` false reads only what the text itself needs: no options,
// clipping rectangle or advances.
EmfExtTextOut emfExtTextOut(const Rec& r, bool forDrawing = true);

struct EmfSmallTextOut {
  Point reference;
  uint32_t count = 0;
  uint32_t options = 0;
  std::optional<Rect> rect;
  std::span<const uint8_t> chars;  // 8-bit with ETO_SMALL_CHARS, else UTF-16
  QString unicode() const;
};
EmfSmallTextOut emfSmallTextOut(const Rec& r);

// Bitmap parts of a blit; none when the record has no bitmap.
struct EmfDib {
  bool present = false;
  std::span<const uint8_t> info, bits;
};

// EMR_BITBLT, EMR_STRETCHBLT, EMR_ALPHABLEND and EMR_TRANSPARENTBLT.
struct EmfBlt {
  Point dest;
  Size destSize;
  uint32_t rop = emf::SRCCOPY;
  int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
  EmfDib dib;
};
EmfBlt emfBlt(const Rec& r);

// EMR_STRETCHDIBITS and EMR_SETDIBITSTODEVICE.
struct EmfDibBits {
  Point dest;
  int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
  uint32_t rop = emf::SRCCOPY;
  int32_t destWidth = 0, destHeight = 0;  // the source size for SETDIBITSTODEVICE
  EmfDib dib;
};
EmfDibBits emfDibBits(const Rec& r);

// ---- WMF records (16-bit parameters after the 6-byte prefix) ----

// Records of one 16-bit parameter: modes, object indexes, counts.
uint16_t wmfWord(const Rec& r);
// Records of one colour parameter.
uint32_t wmfColor(const Rec& r);
// Records of one point, stored y first.
DPoint wmfPoint(const Rec& r);
// Records of a rectangle, stored bottom, right, top, left.
Rect wmfBox(const Rec& r);
// META_SCALEWINDOWEXT and META_SCALEVIEWPORTEXT.
EmfScale wmfScale(const Rec& r);

std::vector<DPoint> wmfPolyPoints(const Rec& r);
std::vector<std::vector<DPoint>> wmfPolyPolyPoints(const Rec& r);

RoundRectRecord wmfRoundRect(const Rec& r);
ArcRecord wmfArc(const Rec& r);

struct WmfSetPixel {
  DPoint at;
  uint32_t color = 0;
};
WmfSetPixel wmfSetPixel(const Rec& r);

struct WmfPatBlt {
  uint32_t rop = 0;
  DPoint at, size;
};
WmfPatBlt wmfPatBlt(const Rec& r);

struct WmfCreatePen {
  uint16_t style = 0;
  int16_t width = 0;
  uint32_t color = 0;
};
WmfCreatePen wmfCreatePen(const Rec& r);

struct WmfCreateBrush {
  uint16_t style = 0;
  uint32_t color = 0;
};
WmfCreateBrush wmfCreateBrush(const Rec& r);

// META_DIBCREATEPATTERNBRUSH: the packed DIB after style and usage.
std::span<const uint8_t> wmfPatternDib(const Rec& r);

FontRecord wmfCreateFont(const Rec& r);

// META_CREATEREGION as rectangles, logical units.
std::vector<Rect> wmfRegion(const Rec& r);

struct WmfFillRegion {
  uint16_t region = 0;
  uint16_t brush = 0;  // META_FILLREGION only
};
WmfFillRegion wmfFillRegion(const Rec& r);

struct WmfTextOut {
  DPoint reference;
  uint16_t options = 0;
  std::optional<Rect> rect;
  std::span<const uint8_t> chars;
  std::vector<int32_t> dx;  // META_EXTTEXTOUT only, when they fit
};
WmfTextOut wmfTextOut(const Rec& r);
WmfTextOut wmfExtTextOut(const Rec& r);

// META_STRETCHDIB, META_DIBSTRETCHBLT, META_DIBBITBLT and META_SETDIBTODEV.
struct WmfBlt {
  uint32_t rop = emf::SRCCOPY;
  int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
  DPoint dest, destSize;
  bool hasBitmap = true;         // a blit without one is a pattern fill
  std::span<const uint8_t> dib;  // the packed DIB
};
WmfBlt wmfBlt(const Rec& r);

}  // namespace orv::metafile
