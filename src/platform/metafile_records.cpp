#include "platform/metafile_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/codepage.h"
#include "platform/emf_player.h"

namespace orv {

using namespace emf;

MetafileKind metafileKind(std::span<const uint8_t> b) {
  const metafile::Rec r{b};
  if (b.size() >= 44 && r.u32(0) == EMR_HEADER && r.u32(40) == kSignature) return MetafileKind::Emf;
  if (b.size() >= 4 && r.u32(0) == wmf::kPlaceableKey) return MetafileKind::PlaceableWmf;
  if (b.size() >= wmf::kHeaderSize) {
    const uint16_t type = r.u16(0), words = r.u16(2), version = r.u16(4);
    if ((type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300))
      return MetafileKind::Wmf;
  }
  return MetafileKind::Unknown;
}

namespace metafile {
namespace {

// Reads the rectangles of a RGNDATA structure.
std::vector<Rect> regionRects(const Rec& r, size_t off, uint32_t size) {
  r.need(off, size);
  if (size < 32) r.bad("has a region shorter than its header");
  const uint32_t count = r.u32(off + 8);
  if (uint64_t(count) * 16 > size - 32) r.bad("has more region rectangles than bytes");
  std::vector<Rect> rects;
  rects.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t o = off + 32 + size_t(i) * 16;
    rects.push_back({r.i32(o), r.i32(o + 4), r.i32(o + 8), r.i32(o + 12)});
  }
  return rects;
}

Rect boxAt(const Rec& r, size_t off) {
  return {r.i32(off), r.i32(off + 4), r.i32(off + 8), r.i32(off + 12)};
}

Point pointAt(const Rec& r, size_t off) {
  return {r.i32(off), r.i32(off + 4)};
}

std::vector<DPoint> readPoints(const Rec& r, size_t off, uint32_t n, bool small) {
  const uint64_t each = small ? 4 : 8;
  r.need(off, uint64_t(n) * each);
  std::vector<DPoint> pts(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (small) {
      pts[i] = {double(r.i16(off + i * 4)), double(r.i16(off + i * 4 + 2))};
    } else {
      pts[i] = {double(r.i32(off + i * 8)), double(r.i32(off + i * 8 + 4))};
    }
  }
  return pts;
}

QString utf16(std::span<const uint8_t> chars, uint32_t n) {
  QString u(qsizetype(n), Qt::Uninitialized);
  for (uint32_t i = 0; i < n; ++i)
    u[qsizetype(i)] = QChar(char16_t(chars[i * 2] | (chars[i * 2 + 1] << 8)));
  return u;
}

// The bitmap of a blit: offset and size of its header, then of its bits.
EmfDib dibAt(const Rec& r, size_t offBmiField, size_t offBitsField) {
  const uint32_t offBmi = r.u32(offBmiField), cbBmi = r.u32(offBmiField + 4);
  const uint32_t offBits = r.u32(offBitsField), cbBits = r.u32(offBitsField + 4);
  EmfDib d;
  if (cbBmi == 0) return d;
  d.present = true;
  d.info = r.sub(offBmi, cbBmi);
  d.bits = r.sub(offBits, cbBits);
  return d;
}

// WMF parameters are 16-bit words after the 6-byte record prefix.
int16_t param(const Rec& r, size_t i) {
  return r.i16(6 + i * 2);
}

}  // namespace

void fail(const std::string& what) {
  throw Error("metafile: " + what);
}

void Rec::bad(const char* what) const {
  fail("record " + std::to_string(index) + " (type " + std::to_string(type) + "): " + what);
}

float Rec::f32(size_t off) const {
  const uint32_t v = u32(off);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

// ---- files ----

EmfHeader decodeEmfHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < 88) fail("enhanced metafile header is truncated");
  const uint32_t size = Rec{bytes}.u32(4);
  if (size < 88 || size > bytes.size() || size % 4) fail("enhanced metafile header has a bad size");
  const Rec h{bytes.subspan(0, size), EMR_HEADER, 0};
  EmfHeader e;
  e.size = size;
  e.bounds = boxAt(h, 8);
  e.frame = boxAt(h, 24);
  e.handles = h.u16(56);
  e.devicePixels = {h.i32(72), h.i32(76)};
  e.deviceMillimetres = {h.i32(80), h.i32(84)};
  if (size >= 108) e.deviceMicrometres = {h.i32(100), h.i32(104)};
  return e;
}

EmfHeader decodeEmfFrame(std::span<const uint8_t> bytes) {
  if (bytes.size() < 40) fail("enhanced metafile header is truncated");
  const Rec h{bytes, EMR_HEADER, 0};
  EmfHeader e;
  e.bounds = boxAt(h, 8);
  e.frame = boxAt(h, 24);
  return e;
}

uint16_t decodeEmfHandles(std::span<const uint8_t> bytes) {
  if (bytes.size() < 88) fail("enhanced metafile header is truncated");
  return Rec{bytes, EMR_HEADER, 0}.u16(56);
}

Rec nextEmfRecord(std::span<const uint8_t> bytes, size_t pos, size_t index) {
  if (bytes.size() - pos < 8) fail("record " + std::to_string(index) + " is truncated");
  const Rec at{bytes.subspan(pos, 8)};
  const uint32_t type = at.u32(0), size = at.u32(4);
  if (size < 8 || size % 4 || size > bytes.size() - pos)
    fail("record " + std::to_string(index) + " has a bad size");
  return Rec{bytes.subspan(pos, size), type, index};
}

WmfPlaceable decodeWmfPlaceable(std::span<const uint8_t> bytes) {
  if (bytes.size() < wmf::kPlaceableSize) fail("placeable header is truncated");
  const Rec h{bytes};
  return {{h.i16(6), h.i16(8), h.i16(10), h.i16(12)}, h.u16(14)};
}

WmfHeader decodeWmfHeader(std::span<const uint8_t> bytes, size_t pos) {
  if (bytes.size() - pos < wmf::kHeaderSize) fail("Windows metafile header is truncated");
  const Rec h{bytes.subspan(pos, wmf::kHeaderSize)};
  const WmfHeader w{h.u16(2), h.u16(10)};
  if (w.headerWords != 9) fail("Windows metafile header has a bad size");
  return w;
}

std::optional<Rec> nextWmfRecord(std::span<const uint8_t> bytes, size_t pos, size_t index) {
  if (bytes.size() - pos < 6) return std::nullopt;
  const Rec at{bytes.subspan(pos, 6)};
  const uint32_t words = at.u32(0);
  if (words < 3 || words > (bytes.size() - pos) / 2)
    fail("record " + std::to_string(index) + " has a bad size");
  return Rec{bytes.subspan(pos, size_t(words) * 2), at.u16(4), index};
}

WmfWindow scanWmfWindow(std::span<const uint8_t> bytes, size_t pos) {
  WmfWindow w;
  for (size_t p = pos; bytes.size() - p >= 6;) {
    const Rec r{bytes.subspan(p)};
    const uint32_t words = r.u32(0);
    const uint16_t fn = r.u16(4);
    if (words < 3 || words > (bytes.size() - p) / 2) break;
    if (fn == wmf::META_SETWINDOWORG && words >= 5)
      w.origin = DPoint{double(r.i16(8)), double(r.i16(6))};
    if (fn == wmf::META_SETWINDOWEXT && words >= 5) {
      w.extent = DPoint{double(r.i16(8)), double(r.i16(6))};
      break;
    }
    if (fn == wmf::META_EOF) break;
    p += size_t(words) * 2;
  }
  return w;
}

// ---- EMF records ----

uint32_t emfValue(const Rec& r) {
  return r.u32(8);
}

Point emfPoint(const Rec& r) {
  return pointAt(r, 8);
}

Rect emfBox(const Rec& r) {
  return boxAt(r, 8);
}

std::vector<DPoint> emfPolyPoints(const Rec& r, bool small) {
  return readPoints(r, 28, r.u32(24), small);
}

std::vector<std::vector<DPoint>> emfPolyPolyPoints(const Rec& r, bool small) {
  const uint32_t nPolys = r.u32(24), total = r.u32(28);
  r.need(32, uint64_t(nPolys) * 4);
  std::vector<std::vector<DPoint>> polys;
  const std::vector<DPoint> all = readPoints(r, 32 + size_t(nPolys) * 4, total, small);
  uint64_t at = 0;
  for (uint32_t i = 0; i < nPolys; ++i) {
    const uint32_t n = r.u32(32 + i * 4);
    if (n > all.size() - at) r.bad("has polygon counts beyond its points");
    polys.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + n));
    at += n;
  }
  return polys;
}

EmfPolyDraw emfPolyDraw(const Rec& r, bool small) {
  const uint32_t n = r.u32(24);
  EmfPolyDraw p;
  p.points = readPoints(r, 28, n, small);
  p.types = r.sub(28 + uint64_t(n) * (small ? 4 : 8), n);
  return p;
}

EmfScale emfScale(const Rec& r) {
  return {r.i32(8), r.i32(12), r.i32(16), r.i32(20)};
}

EmfXformRecord emfXform(const Rec& r) {
  EmfXformRecord x{r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28)};
  // A transform that is not finite is dropped before its mode is looked at.
  const bool finite = std::isfinite(x.m11) && std::isfinite(x.m12) && std::isfinite(x.m21) &&
                      std::isfinite(x.m22) && std::isfinite(x.dx) && std::isfinite(x.dy);
  if (finite && r.type == EMR_MODIFYWORLDTRANSFORM) x.mode = r.u32(32);
  return x;
}

EmfSetPixel emfSetPixel(const Rec& r) {
  return {pointAt(r, 8), r.u32(16)};
}

RoundRectRecord emfRoundRect(const Rec& r) {
  return {boxAt(r, 8), {r.i32(24), r.i32(28)}};
}

ArcRecord emfArc(const Rec& r) {
  return {boxAt(r, 8), pointAt(r, 24), pointAt(r, 32)};
}

EmfAngleArc emfAngleArc(const Rec& r) {
  return {pointAt(r, 8), r.u32(16), r.f32(20), r.f32(24)};
}

EmfCreatePen emfCreatePen(const Rec& r) {
  return {r.u32(8), r.u32(12), r.i32(16), r.u32(24)};
}

EmfExtCreatePen emfExtCreatePen(const Rec& r) {
  return {r.u32(8), r.u32(28), r.u32(32), r.u32(36), r.u32(40)};
}

EmfCreateBrush emfCreateBrush(const Rec& r) {
  return {r.u32(8), r.u32(12), r.u32(16)};
}

EmfPatternBrush emfPatternBrush(const Rec& r) {
  EmfPatternBrush b;
  b.index = r.u32(8);
  try {
    b.info = r.sub(r.u32(16), r.u32(20));
    b.bits = r.sub(r.u32(24), r.u32(28));
    b.readable = true;
  } catch (const Error&) {
    b.info = b.bits = {};
  }
  return b;
}

FontRecord emfCreateFont(const Rec& r) {
  FontRecord f;
  f.index = r.u32(8);
  f.height = r.i32(12);
  f.width = r.i32(16);
  f.escapement = r.i32(20);
  f.orientation = r.i32(24);
  f.weight = r.i32(28);
  f.italic = r.u8(32);
  f.underline = r.u8(33);
  f.strikeOut = r.u8(34);
  f.charset = r.u8(35);
  QString face;
  for (size_t i = 0; i < 32; ++i) {
    const char16_t c = r.u16(40 + i * 2);
    if (c == 0) break;
    face += QChar(c);
  }
  f.face = encodeText(face, 1252);
  return f;
}

EmfClipRegion emfClipRegion(const Rec& r) {
  EmfClipRegion c;
  const uint32_t cb = r.u32(8);
  c.mode = r.u32(12);
  c.empty = cb == 0;
  if (!c.empty) c.rects = regionRects(r, 16, cb);
  return c;
}

EmfFillRegion emfFillRegion(const Rec& r) {
  const uint32_t brush = emfFillRegionBrush(r);
  return {brush, regionRects(r, 32, r.u32(24))};
}

uint32_t emfFillRegionBrush(const Rec& r) {
  r.need(24, 4);
  return r.u32(28);
}

EmfFillRegion emfPaintRegion(const Rec& r) {
  return {0, regionRects(r, 28, r.u32(24))};
}

QString EmfExtTextOut::unicode() const {
  return utf16(chars, count);
}

EmfExtTextOut emfExtTextOut(const Rec& r, bool forDrawing) {
  // rclBounds, iGraphicsMode, exScale, eyScale, then the EMRTEXT.
  EmfExtTextOut t;
  t.wide = r.type == EMR_EXTTEXTOUTW;
  t.bounds = boxAt(r, 8);
  t.reference = pointAt(r, 36);
  t.count = r.u32(44);
  const uint32_t offString = r.u32(48);
  uint32_t offDx = 0;
  if (forDrawing) {
    t.options = r.u32(52);
    t.rect = boxAt(r, 56);
    offDx = r.u32(72);
  }
  t.chars = r.sub(offString, uint64_t(t.count) * (t.wide ? 2 : 1));
  if (offDx != 0 && t.count > 0) {
    const uint64_t per = (t.options & ETO_PDY) ? 8 : 4;
    if (offDx <= r.d.size() && uint64_t(t.count) * per <= r.d.size() - offDx) {
      t.dx.resize(t.count);
      for (uint32_t i = 0; i < t.count; ++i) t.dx[i] = r.i32(offDx + i * per);
    }
  }
  return t;
}

QString EmfSmallTextOut::unicode() const {
  return utf16(chars, count);
}

EmfSmallTextOut emfSmallTextOut(const Rec& r) {
  EmfSmallTextOut t;
  t.reference = pointAt(r, 8);
  t.count = r.u32(16);
  t.options = r.u32(20);
  size_t off = 36;
  if (!(t.options & ETO_NO_RECT)) {
    t.rect = boxAt(r, 36);
    off += 16;
  }
  // Glyph numbers are not drawn, so their bytes are not looked at.
  if (t.options & ETO_GLYPH_INDEX) return t;
  t.chars = r.sub(off, (t.options & ETO_SMALL_CHARS) ? uint64_t(t.count) : uint64_t(t.count) * 2);
  return t;
}

EmfBlt emfBlt(const Rec& r) {
  EmfBlt b;
  b.dest = pointAt(r, 24);
  b.destSize = {r.i32(32), r.i32(36)};
  if (r.type == EMR_BITBLT || r.type == EMR_STRETCHBLT) b.rop = r.u32(40);
  b.srcX = r.i32(44);
  b.srcY = r.i32(48);
  b.srcWidth = b.destSize.cx;
  b.srcHeight = b.destSize.cy;
  if (r.type != EMR_BITBLT) {
    b.srcWidth = r.i32(100);
    b.srcHeight = r.i32(104);
  }
  b.dib = dibAt(r, 84, 92);
  return b;
}

EmfDibBits emfDibBits(const Rec& r) {
  EmfDibBits b;
  b.dest = pointAt(r, 24);
  b.srcX = r.i32(32);
  b.srcY = r.i32(36);
  b.srcWidth = r.i32(40);
  b.srcHeight = r.i32(44);
  b.destWidth = b.srcWidth;
  b.destHeight = b.srcHeight;
  if (r.type == EMR_STRETCHDIBITS) {
    b.rop = r.u32(68);
    b.destWidth = r.i32(72);
    b.destHeight = r.i32(76);
  }
  b.dib = dibAt(r, 48, 56);
  return b;
}

// ---- WMF records ----

uint16_t wmfWord(const Rec& r) {
  return r.u16(6);
}

uint32_t wmfColor(const Rec& r) {
  return r.u32(6);
}

DPoint wmfPoint(const Rec& r) {
  return {double(param(r, 1)), double(param(r, 0))};
}

Rect wmfBox(const Rec& r) {
  return {param(r, 3), param(r, 2), param(r, 1), param(r, 0)};
}

EmfScale wmfScale(const Rec& r) {
  return {param(r, 3), param(r, 2), param(r, 1), param(r, 0)};
}

std::vector<DPoint> wmfPolyPoints(const Rec& r) {
  const uint16_t n = r.u16(6);
  r.need(8, uint64_t(n) * 4);
  std::vector<DPoint> pts(n);
  for (uint16_t i = 0; i < n; ++i)
    pts[i] = {double(param(r, 1 + i * 2)), double(param(r, 2 + i * 2))};
  return pts;
}

std::vector<std::vector<DPoint>> wmfPolyPolyPoints(const Rec& r) {
  const uint16_t nPolys = r.u16(6);
  r.need(8, uint64_t(nPolys) * 2);
  std::vector<std::vector<DPoint>> polys;
  size_t at = 1 + nPolys;
  for (uint16_t k = 0; k < nPolys; ++k) {
    const uint16_t n = r.u16(6 + (1 + k) * 2);
    r.need(6 + at * 2, uint64_t(n) * 4);
    std::vector<DPoint> pts(n);
    for (uint16_t i = 0; i < n; ++i)
      pts[i] = {double(param(r, at + i * 2)), double(param(r, at + i * 2 + 1))};
    at += size_t(n) * 2;
    polys.push_back(std::move(pts));
  }
  return polys;
}

RoundRectRecord wmfRoundRect(const Rec& r) {
  return {{param(r, 5), param(r, 4), param(r, 3), param(r, 2)}, {param(r, 1), param(r, 0)}};
}

ArcRecord wmfArc(const Rec& r) {
  return {{param(r, 7), param(r, 6), param(r, 5), param(r, 4)},
          {param(r, 3), param(r, 2)},
          {param(r, 1), param(r, 0)}};
}

WmfSetPixel wmfSetPixel(const Rec& r) {
  const uint32_t color = r.u32(6);
  return {{double(param(r, 3)), double(param(r, 2))}, color};
}

WmfPatBlt wmfPatBlt(const Rec& r) {
  const uint32_t rop = r.u32(6);
  return {
      rop, {double(param(r, 5)), double(param(r, 4))}, {double(param(r, 3)), double(param(r, 2))}};
}

WmfCreatePen wmfCreatePen(const Rec& r) {
  return {r.u16(6), param(r, 1), r.u32(12)};
}

WmfCreateBrush wmfCreateBrush(const Rec& r) {
  return {r.u16(6), r.u32(8)};
}

std::span<const uint8_t> wmfPatternDib(const Rec& r) {
  return r.sub(10, r.d.size() - std::min<size_t>(10, r.d.size()));
}

FontRecord wmfCreateFont(const Rec& r) {
  FontRecord f;
  f.height = r.i16(6);
  f.width = r.i16(8);
  f.escapement = r.i16(10);
  f.orientation = r.i16(12);
  f.weight = r.i16(14);
  f.italic = r.u8(16);
  f.underline = r.u8(17);
  f.strikeOut = r.u8(18);
  f.charset = r.u8(19);
  for (size_t i = 24; i < r.d.size() && i < 24 + 32 && r.d[i] != 0; ++i)
    f.face.push_back(char(r.d[i]));
  return f;
}

std::vector<Rect> wmfRegion(const Rec& r) {
  // Region: 10 bytes of header fields, scan count, max scan, bounding box, scans.
  std::vector<Rect> rects;
  const uint16_t scans = r.u16(6 + 10);
  size_t off = 6 + 22;
  for (uint16_t s = 0; s < scans; ++s) {
    const uint16_t n = r.u16(off);
    const int16_t top = r.i16(off + 2), bottom = r.i16(off + 4);
    r.need(off + 6, uint64_t(n) * 2 + 2);
    for (uint16_t k = 0; k + 1 < n; k += 2)
      rects.push_back({r.i16(off + 6 + k * 2), top, r.i16(off + 8 + k * 2), bottom});
    off += 6 + size_t(n) * 2 + 2;
  }
  if (scans == 0) rects.push_back({r.i16(6 + 14), r.i16(6 + 16), r.i16(6 + 18), r.i16(6 + 20)});
  return rects;
}

WmfFillRegion wmfFillRegion(const Rec& r) {
  WmfFillRegion f{r.u16(6), 0};
  if (r.type == wmf::META_FILLREGION) f.brush = r.u16(8);
  return f;
}

WmfTextOut wmfTextOut(const Rec& r) {
  WmfTextOut t;
  const uint16_t n = r.u16(6);
  t.chars = r.sub(8, n);
  const size_t after = 8 + ((size_t(n) + 1) & ~size_t(1));
  t.reference.y = r.i16(after);
  t.reference.x = r.i16(after + 2);
  return t;
}

WmfTextOut wmfExtTextOut(const Rec& r) {
  WmfTextOut t;
  t.reference = {double(param(r, 1)), double(param(r, 0))};
  const uint16_t n = r.u16(10);
  t.options = r.u16(12);
  size_t off = 14;
  if (t.options & (ETO_OPAQUE | ETO_CLIPPED)) {
    t.rect = Rect{r.i16(off), r.i16(off + 2), r.i16(off + 4), r.i16(off + 6)};
    off += 8;
  }
  t.chars = r.sub(off, n);
  off += (size_t(n) + 1) & ~size_t(1);
  if (n > 0 && r.d.size() >= off && (r.d.size() - off) >= size_t(n) * 2) {
    t.dx.resize(n);
    for (uint16_t i = 0; i < n; ++i) t.dx[i] = r.i16(off + i * 2);
  }
  return t;
}

WmfBlt wmfBlt(const Rec& r) {
  using namespace wmf;
  WmfBlt b;
  size_t dibAt = 0;
  switch (r.type) {
    case META_STRETCHDIB:
      // rop, usage, source height, width, y, x, destination height, width, y, x, DIB.
      b.rop = r.u32(6);
      b.srcHeight = param(r, 3), b.srcWidth = param(r, 4);
      b.srcY = param(r, 5), b.srcX = param(r, 6);
      b.destSize = {double(param(r, 8)), double(param(r, 7))};
      b.dest = {double(param(r, 10)), double(param(r, 9))};
      dibAt = 28;
      break;
    case META_SETDIBTODEV:
      // usage, scan count, start scan, source y, x, height, width, destination y, x, DIB.
      b.srcY = param(r, 3), b.srcX = param(r, 4);
      b.srcHeight = param(r, 5), b.srcWidth = param(r, 6);
      b.dest = {double(param(r, 8)), double(param(r, 7))};
      b.destSize = {double(b.srcWidth), double(b.srcHeight)};
      dibAt = 24;
      break;
    default: {
      // rop, [source height, width], source y, x, destination height, width, y, x, DIB.
      const bool stretch = r.type == META_DIBSTRETCHBLT;
      b.rop = r.u32(6);
      const size_t np = stretch ? 10 : 8;  // parameter words before the DIB
      dibAt = 6 + np * 2;
      size_t i = 2;
      // Without a bitmap the record is a pattern fill with one reserved word.
      if (r.d.size() <= dibAt + 2) {
        b.hasBitmap = false;
        i = stretch ? 7 : 5;
        b.destSize = {double(param(r, i + 1)), double(param(r, i))};
        b.dest = {double(param(r, i + 3)), double(param(r, i + 2))};
        return b;
      }
      if (stretch) {
        b.srcHeight = param(r, i), b.srcWidth = param(r, i + 1);
        i += 2;
      }
      b.srcY = param(r, i), b.srcX = param(r, i + 1);
      i += 2;
      b.destSize = {double(param(r, i + 1)), double(param(r, i))};
      b.dest = {double(param(r, i + 3)), double(param(r, i + 2))};
      if (!stretch) b.srcHeight = int32_t(b.destSize.y), b.srcWidth = int32_t(b.destSize.x);
      b.dib = r.sub(dibAt, r.d.size() - dibAt);
      return b;
    }
  }
  b.dib = r.sub(dibAt, r.d.size() - std::min<size_t>(dibAt, r.d.size()));
  return b;
}

}  // namespace metafile
}  // namespace orv
