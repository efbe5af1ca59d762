#pragma once
// The metafile player's own pieces, shared by the files it is made of: the
// device-context state, the objects, the checked record cursor and the
// player class. Nothing outside the player includes this.
#include <QImage>
#include <QRegion>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/emf_records.h"
#include "platform/error.h"

namespace orv::metafile {

using namespace emf;

// Bounds on what one metafile may make us do, far above what real pictures
// need: a hostile file hits them instead of exhausting time or memory.
constexpr size_t kMaxRecords = 4'000'000;
constexpr size_t kMaxSavedStates = 1024;
constexpr uint64_t kMaxPoints = 8'000'000;         // points drawn, curves flattened included
constexpr uint64_t kMaxImagePixels = 64'000'000;   // pixels of bitmaps decoded, all records
constexpr uint64_t kMaxBitmapPixels = 16'000'000;  // one bitmap
constexpr double kMaxCoord = 1 << 24;              // device coordinates are clamped to this
constexpr int32_t kMaxPenWidth = 2000;
constexpr size_t kMaxOutlinedPoints = 4096;  // in one stroke the player outlines itself
constexpr size_t kMaxJoinedPoints = 64;      // of those, in one it merges as a whole
constexpr int32_t kMaxFontHeight = 2000;
constexpr int kMaxClipRects = 2000;
constexpr size_t kMaxWmfObjects = 65535;

[[noreturn]] inline void fail(const std::string& what) {
  throw Error("metafile: " + what);
}

inline uint32_t le32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}
inline uint16_t le16(std::span<const uint8_t> b, size_t at) {
  return uint16_t(b[at] | (b[at + 1] << 8));
}

// One record, read with checked offsets: a field beyond the record's end is
// an error naming the record, never a read outside it.
struct Rec {
  std::span<const uint8_t> d;
  uint32_t type = 0;
  size_t index = 0;

  [[noreturn]] void bad(const char* what) const {
    fail("record " + std::to_string(index) + " (type " + std::to_string(type) + "): " + what);
  }
  void need(uint64_t off, uint64_t n) const {
    if (off > d.size() || n > d.size() - off) bad("is too short for its fields");
  }
  uint8_t u8(size_t off) const {
    need(off, 1);
    return d[off];
  }
  uint16_t u16(size_t off) const {
    need(off, 2);
    return le16(d, off);
  }
  int16_t i16(size_t off) const { return int16_t(u16(off)); }
  uint32_t u32(size_t off) const {
    need(off, 4);
    return le32(d, off);
  }
  int32_t i32(size_t off) const { return int32_t(u32(off)); }
  float f32(size_t off) const {
    uint32_t v = u32(off);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  std::span<const uint8_t> sub(uint64_t off, uint64_t n) const {
    need(off, n);
    return d.subspan(size_t(off), size_t(n));
  }
};

struct DPoint {
  double x = 0;
  double y = 0;
};

// An affine transform in the row-vector form GDI uses:
// x' = x*m11 + y*m21 + dx, y' = x*m12 + y*m22 + dy.
struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  DPoint apply(DPoint p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
  DPoint applyLinear(DPoint p) const { return {p.x * m11 + p.y * m21, p.x * m12 + p.y * m22}; }
  double det() const { return m11 * m22 - m12 * m21; }
  bool axisAligned() const { return std::abs(m12) < 1e-9 && std::abs(m21) < 1e-9; }
  bool isIdentity() const {
    return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0;
  }
  bool finite() const {
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
           std::isfinite(dx) && std::isfinite(dy);
  }
};

// `a` applied first, then `b`.
inline Xform multiply(const Xform& a, const Xform& b) {
  Xform r;
  r.m11 = a.m11 * b.m11 + a.m12 * b.m21;
  r.m12 = a.m11 * b.m12 + a.m12 * b.m22;
  r.m21 = a.m21 * b.m11 + a.m22 * b.m21;
  r.m22 = a.m21 * b.m12 + a.m22 * b.m22;
  r.dx = a.dx * b.m11 + a.dy * b.m21 + b.dx;
  r.dy = a.dx * b.m12 + a.dy * b.m22 + b.dy;
  return r;
}

inline int32_t toDevice(double v) {
  if (!std::isfinite(v)) return 0;
  return roundEven(std::clamp(v, -kMaxCoord, kMaxCoord));
}

inline Point toPoint(DPoint p) {
  return {toDevice(p.x), toDevice(p.y)};
}

// ---- GDI objects as the player keeps them ----

struct LogPen {
  uint32_t style = PS_SOLID;
  double width = 0;  // logical units; 0 = one device pixel
  bool cosmetic = true;
  Color color = clBlack;
  bool extended = false;  // made by EMR_EXTCREATEPEN
};

struct LogBrush {
  BrushStyle style = BrushStyle::Solid;
  Color color = clWhite;
};

struct LogFont {
  int32_t height = 0;
  int32_t escapement = 0;
  int32_t orientation = 0;
  int32_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  uint8_t charset = 1;
  std::string face = "Arial";
  bool stock = false;  // stock fonts have a device size, not a logical one
};

struct GdiObject {
  enum class Kind : uint8_t { Empty, Pen, Brush, Font, Region, Other } kind = Kind::Empty;
  LogPen pen;
  LogBrush brush;
  LogFont font;
  std::vector<Rect> region;  // WMF region objects, logical
};

inline LogFont stockFont() {
  LogFont f;
  f.height = -13;
  f.stock = true;
  return f;
}

struct Dc {
  uint32_t mapMode = MM_TEXT;
  DPoint winOrg, winExt{1, 1}, vpOrg, vpExt{1, 1};
  Xform world;
  LogPen pen;
  LogBrush brush;
  LogFont font = stockFont();
  BkMode bkMode = BkMode::Opaque;
  Color bkColor = clWhite;
  Color textColor = clBlack;
  uint32_t rop2 = R2_COPYPEN;
  uint32_t textAlign = 0;
  uint32_t arcDirection = AD_COUNTERCLOCKWISE;
  int32_t charExtra = 0;
  DPoint current;
  std::optional<QRegion> clip;  // in the target's device coordinates; none = no clip
};

struct Figure {
  std::vector<DPoint> pts;  // device coordinates
  bool closed = false;
};

inline Color colorOf(uint32_t colorRef) {
  // A COLORREF may carry palette flags in its top byte; the colour is the rest.
  return colorRef & 0x00FFFFFF;
}

LogPen logicalPen(uint32_t style, int64_t width, Color color);
PenStyle penStyleOf(uint32_t style);
Color averageColor(const QImage& img);

inline QRect toQRect(const Rect& r) {
  if (r.isEmpty()) return {};
  return QRect(r.left, r.top, r.width(), r.height());
}

// ---- the player ----

class Player {
 public:
  Player(Canvas& target, const Rect& dest) : target_(target), dest_(dest) {}

  void playEmf(std::span<const uint8_t> bytes);
  void playWmf(std::span<const uint8_t> bytes, bool placeable);

 private:
  // Records.
  void emfRecord(const Rec& r);
  void wmfRecord(const Rec& r);

  // Transform.
  const Xform& xf();
  void dirtyXform() { xformValid_ = false; }
  DPoint dev(DPoint logical) { return xf().apply(logical); }
  DPoint dev(double x, double y) { return xf().apply({x, y}); }
  Rect devRect(double l, double t, double r, double b);
  double scaleX();
  double scaleY();

  // Objects.
  void checkIndex(const Rec& r, uint32_t index);
  GdiObject& objectSlot(const Rec& r, uint32_t index);
  void selectObject(const Rec& r, uint32_t index);
  void selectStock(uint32_t n);
  void deleteObject(const Rec& r, uint32_t index);
  uint32_t wmfFreeSlot(const Rec& r);
  LogBrush brushFor(const Rec& r, uint32_t index);

  // State onto the target.
  void applyClip();
  void applyPen();
  void applyBrush();
  bool penVisible() const;
  bool outlinedPen();
  std::span<const qreal> geometricDashes() const;
  void strokeLines(const std::vector<std::vector<Point>>& lines, const std::vector<bool>& closed);
  void strokeOutlined(const std::vector<std::vector<Point>>& lines,
                      const std::vector<bool>& closed);
  FontSpec deviceFont();
  void count(uint64_t points);

  // Clipping.
  QRegion universe() const;
  void combineClip(const QRegion& region, uint32_t mode);
  void intersectClip(double l, double t, double r, double b);
  void excludeClip(double l, double t, double r, double b);

  // Shapes, in logical coordinates; inside a path they add to it.
  void lineTo(DPoint p);
  void polyline(const std::vector<DPoint>& pts, bool fromCurrent);
  void polygon(const std::vector<DPoint>& pts);
  void polyPolygon(const std::vector<std::vector<DPoint>>& polys);
  void polyPolyline(const std::vector<std::vector<DPoint>>& lines);
  void bezier(const std::vector<DPoint>& pts, bool fromCurrent);
  void rectangle(double l, double t, double r, double b);
  void roundRect(double l, double t, double r, double b, double w, double h);
  void ellipse(double l, double t, double r, double b);
  enum class ArcKind { Arc, Pie, Chord, ArcTo };
  void arc(ArcKind kind, double l, double t, double r, double b, DPoint start, DPoint end);
  void fillDevicePolygons(const std::vector<std::vector<Point>>& polys, bool fill, bool stroke);
  void fillRects(const std::vector<Rect>& logicalRects, const LogBrush& brush);
  std::vector<DPoint> arcPoints(double l, double t, double r, double b, DPoint start, DPoint end,
                                bool fullEllipse);

  // Paths.
  void pathMoveTo(DPoint d);
  void pathLineTo(DPoint d);
  void pathAddFigure(const std::vector<DPoint>& device, bool closed);
  void drawPath(bool fill, bool stroke);

  // Text and bitmaps.
  void text(DPoint ref, std::string bytes, const QString* unicode, uint8_t charset,
            std::span<const int32_t> dxLogical, uint32_t options, const std::optional<Rect>& rect,
            bool useCurrent);
  void emfText(const Rec& r, bool wide);
  void smallText(const Rec& r);
  void bitmap(const Rec& r, double x, double y, double cx, double cy, int32_t sx, int32_t sy,
              int32_t scx, int32_t scy, std::span<const uint8_t> info,
              std::span<const uint8_t> bits, uint32_t rop);
  void emfBitmap(const Rec& r, size_t offBmiField, size_t offBitsField, double x, double y,
                 double cx, double cy, int32_t sx, int32_t sy, int32_t scx, int32_t scy,
                 uint32_t rop);
  void patBlt(double x, double y, double cx, double cy, uint32_t rop);

  void emfPoly(const Rec& r, bool small, bool hasBounds);
  std::vector<DPoint> readPoints(const Rec& r, size_t off, uint32_t n, bool small);

  Canvas& target_;
  Rect dest_;
  bool wmf_ = false;
  Xform base_;  // reference device (EMF) to target device
  Xform xform_;
  bool xformValid_ = false;
  DPoint pxPerMm_{96 / 25.4, 96 / 25.4};
  Dc dc_;
  std::vector<Dc> saved_;
  std::vector<GdiObject> objects_;
  bool clipDirty_ = false;
  bool inPath_ = false;
  std::vector<Figure> path_;
  uint64_t points_ = 0;
  uint64_t imagePixels_ = 0;
  bool done_ = false;
};

}  // namespace orv::metafile
