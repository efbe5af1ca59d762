#pragma once
// The metafile player's own pieces, shared by the files it is made of: the
// device-context state, the objects and the player class. Nothing outside
// the player includes this.
#include <QImage>
#include <QRegion>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/emf_records.h"
#include "platform/error.h"
#include "platform/metafile_records.h"

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
constexpr size_t kMaxOutlinedPoints = 4096;       // in one stroke the player outlines itself
constexpr double kMaxOutlinedDashes = 16384;      // dashes it outlines, all strokes of a picture
constexpr uint64_t kMaxOutlinedFill = 1'000'000;  // outline points, all strokes of a picture
constexpr size_t kMaxJoinedPoints = 64;           // of those, in one it merges as a whole
constexpr int32_t kMaxFontHeight = 2000;
constexpr int kMaxClipRects = 2000;
constexpr size_t kMaxWmfObjects = 65535;

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

inline LogFont logFontOf(const FontRecord& r) {
  LogFont f;
  f.height = r.height;
  f.escapement = r.escapement;
  f.orientation = r.orientation;
  f.weight = r.weight;
  f.italic = r.italic;
  f.underline = r.underline;
  f.strikeOut = r.strikeOut;
  f.charset = r.charset;
  f.face = r.face;
  return f;
}

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
  using Handler = void (Player::*)(const Rec&);

  // EMF records, one function per kind or family.
  void emfRecord(const Rec& r);
  void emfEof(const Rec& r);
  void emfPoly(const Rec& r);
  void emfPolyPoly(const Rec& r);
  void emfPolyDraw(const Rec& r);
  void emfMapping(const Rec& r);
  void emfScaleExtent(const Rec& r);
  void emfMapMode(const Rec& r);
  void emfWorldTransform(const Rec& r);
  void emfSaveDc(const Rec& r);
  void emfRestoreDc(const Rec& r);
  void emfSetState(const Rec& r);
  void emfMoveTo(const Rec& r);
  void emfLineTo(const Rec& r);
  void emfSetPixel(const Rec& r);
  void emfShape(const Rec& r);
  void emfArc(const Rec& r);
  void emfAngleArc(const Rec& r);
  void emfCreatePen(const Rec& r);
  void emfExtCreatePen(const Rec& r);
  void emfCreateBrush(const Rec& r);
  void emfCreatePatternBrush(const Rec& r);
  void emfCreateFont(const Rec& r);
  void emfCreateOther(const Rec& r);
  void emfSelectObject(const Rec& r);
  void emfDeleteObject(const Rec& r);
  void emfPath(const Rec& r);
  void emfSelectClipPath(const Rec& r);
  void emfClipRect(const Rec& r);
  void emfOffsetClip(const Rec& r);
  void emfExtSelectClipRegion(const Rec& r);
  void emfFillRegion(const Rec& r);
  void emfText(const Rec& r);
  void emfSmallText(const Rec& r);
  void emfBlt(const Rec& r);
  void emfDibBits(const Rec& r);

  // WMF records.
  void wmfRecord(const Rec& r);
  void wmfEof(const Rec& r);
  void wmfSaveDc(const Rec& r);
  void wmfRestoreDc(const Rec& r);
  void wmfWindow(const Rec& r);
  void wmfScaleWindow(const Rec& r);
  void wmfIgnore(const Rec& r);
  void wmfSetState(const Rec& r);
  void wmfMoveTo(const Rec& r);
  void wmfLineTo(const Rec& r);
  void wmfPoly(const Rec& r);
  void wmfPolyPolygon(const Rec& r);
  void wmfShape(const Rec& r);
  void wmfArc(const Rec& r);
  void wmfSetPixel(const Rec& r);
  void wmfPatBlt(const Rec& r);
  void wmfClipRect(const Rec& r);
  void wmfOffsetClip(const Rec& r);
  void wmfSelectObject(const Rec& r);
  void wmfDeleteObject(const Rec& r);
  void wmfCreatePen(const Rec& r);
  void wmfCreateBrush(const Rec& r);
  void wmfCreatePatternBrush(const Rec& r);
  void wmfCreateFont(const Rec& r);
  void wmfCreateRegion(const Rec& r);
  void wmfCreatePalette(const Rec& r);
  void wmfFillRegion(const Rec& r);
  void wmfTextOut(const Rec& r);
  void wmfExtTextOut(const Rec& r);
  void wmfBlt(const Rec& r);

  // What both formats do alike.
  void saveDc(const Rec& r);
  void restoreDc(int32_t n);
  void setPixel(double x, double y, Color color);
  void offsetClip(double x, double y);

  // Transform.
  // The transform is asked for at every point, and computed only after a
  // record changed it.
  const Xform& xf() { return xformValid_ ? xform_ : computeXform(); }
  const Xform& computeXform();
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
  // Outlines the stroke and fills it; false, with nothing drawn, when the pen
  // is not one to outline or the picture's outlines have cost too much.
  bool strokeOutlined(const std::vector<std::vector<Point>>& lines,
                      const std::vector<bool>& closed);
  FontSpec deviceFont();
  void count(uint64_t points) {
    points_ += points;
    if (points_ > kMaxPoints) fail("too many points to draw");
  }

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
  void bitmap(const Rec& r, double x, double y, double cx, double cy, int32_t sx, int32_t sy,
              int32_t scx, int32_t scy, std::span<const uint8_t> info,
              std::span<const uint8_t> bits, uint32_t rop);
  void emfBitmap(const Rec& r, const EmfDib& dib, double x, double y, double cx, double cy,
                 int32_t sx, int32_t sy, int32_t scx, int32_t scy, uint32_t rop);
  void patBlt(double x, double y, double cx, double cy, uint32_t rop);

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
  double dashesLeft_ = kMaxOutlinedDashes;
  uint64_t outlinedFill_ = 0;
  uint64_t imagePixels_ = 0;
  bool done_ = false;
};

}  // namespace orv::metafile
