#include "platform/emf_player.h"

#include <QImage>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygon>
#include <QRegion>
#include <QString>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>

#include "platform/bmp.h"
#include "platform/codepage.h"
#include "platform/emf_records.h"
#include "platform/error.h"

namespace orv {
namespace {

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

[[noreturn]] void fail(const std::string& what) {
  throw Error("metafile: " + what);
}

uint32_t le32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}
uint16_t le16(std::span<const uint8_t> b, size_t at) {
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
Xform multiply(const Xform& a, const Xform& b) {
  Xform r;
  r.m11 = a.m11 * b.m11 + a.m12 * b.m21;
  r.m12 = a.m11 * b.m12 + a.m12 * b.m22;
  r.m21 = a.m21 * b.m11 + a.m22 * b.m21;
  r.m22 = a.m21 * b.m12 + a.m22 * b.m22;
  r.dx = a.dx * b.m11 + a.dy * b.m21 + b.dx;
  r.dy = a.dx * b.m12 + a.dy * b.m22 + b.dy;
  return r;
}

int32_t toDevice(double v) {
  if (!std::isfinite(v)) return 0;
  return roundEven(std::clamp(v, -kMaxCoord, kMaxCoord));
}

Point toPoint(DPoint p) {
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

LogFont stockFont() {
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

Color colorOf(uint32_t colorRef) {
  // A COLORREF may carry palette flags in its top byte; the colour is the rest.
  return colorRef & 0x00FFFFFF;
}

// A pen as CreatePen and the WMF pen record make it: width 0 is one device
// pixel whatever the transform, any other width is in logical units and grows
// with the mapping, the world transform and the stretch of the playback. Such
// a pen wider than one unit cannot dash; the platform draws it solid.
LogPen logicalPen(uint32_t style, int64_t width, Color color) {
  LogPen p;
  p.width = double(std::min<int64_t>(std::abs(width), INT32_MAX));
  p.cosmetic = p.width == 0;
  const uint32_t kind = style & PS_STYLE_MASK;
  if (p.width > 1 && kind >= PS_DASH && kind <= PS_DASHDOTDOT)
    style = (style & ~uint32_t(PS_STYLE_MASK)) | PS_SOLID;
  p.style = style;
  p.color = color;
  return p;
}

PenStyle penStyleOf(uint32_t style) {
  switch (style & PS_STYLE_MASK) {
    case PS_DASH:
      return PenStyle::Dash;
    case PS_DOT:
    case PS_ALTERNATE:
    case PS_USERSTYLE:
      return PenStyle::Dot;
    case PS_DASHDOT:
      return PenStyle::DashDot;
    case PS_DASHDOTDOT:
      return PenStyle::DashDotDot;
    case PS_NULL:
      return PenStyle::Clear;
    case PS_INSIDEFRAME:
      return PenStyle::InsideFrame;
    default:
      return PenStyle::Solid;
  }
}

// The most common colour impression of a pattern: its average.
Color averageColor(const QImage& img) {
  if (img.isNull()) return rgb(128, 128, 128);
  QImage one = img.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  QRgb p = one.pixel(0, 0);
  return rgb(uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p)));
}

// Character sets tried, in order, when a Unicode text does not fit the code
// page of its font: the 8-bit canvas then draws it in a page that holds it.
constexpr uint8_t kFallbackCharsets[] = {0, 238, 204, 161, 162, 186, 177, 178, 163, 222};

bool encodesWithoutLoss(QStringView text, const std::string& bytes) {
  if (bytes.size() != size_t(text.size())) return false;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '?' && text[qsizetype(i)] != u'?') return false;
  return true;
}

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

QRect toQRect(const Rect& r) {
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

// -- transform --

const Xform& Player::xf() {
  if (xformValid_) return xform_;
  Xform page;
  if (wmf_) {
    // The window maps onto the destination rectangle.
    const double ex = dc_.winExt.x != 0 ? dc_.winExt.x : 1;
    const double ey = dc_.winExt.y != 0 ? dc_.winExt.y : 1;
    page.m11 = dest_.width() / ex;
    page.m22 = dest_.height() / ey;
    page.dx = dest_.left - dc_.winOrg.x * page.m11;
    page.dy = dest_.top - dc_.winOrg.y * page.m22;
    xform_ = page;
  } else {
    double sx = 1, sy = 1;
    switch (dc_.mapMode) {
      case MM_LOMETRIC:
        sx = 0.1 * pxPerMm_.x, sy = -0.1 * pxPerMm_.y;
        break;
      case MM_HIMETRIC:
        sx = 0.01 * pxPerMm_.x, sy = -0.01 * pxPerMm_.y;
        break;
      case MM_LOENGLISH:
        sx = 0.254 * pxPerMm_.x, sy = -0.254 * pxPerMm_.y;
        break;
      case MM_HIENGLISH:
        sx = 0.0254 * pxPerMm_.x, sy = -0.0254 * pxPerMm_.y;
        break;
      case MM_TWIPS:
        sx = 25.4 / 1440 * pxPerMm_.x, sy = -25.4 / 1440 * pxPerMm_.y;
        break;
      case MM_ISOTROPIC:
      case MM_ANISOTROPIC: {
        sx = dc_.winExt.x != 0 ? dc_.vpExt.x / dc_.winExt.x : 1;
        sy = dc_.winExt.y != 0 ? dc_.vpExt.y / dc_.winExt.y : 1;
        if (dc_.mapMode == MM_ISOTROPIC) {
          const double s = std::min(std::abs(sx), std::abs(sy));
          sx = std::copysign(s, sx);
          sy = std::copysign(s, sy);
        }
        break;
      }
      default:
        break;
    }
    page.m11 = sx;
    page.m22 = sy;
    page.dx = dc_.vpOrg.x - dc_.winOrg.x * sx;
    page.dy = dc_.vpOrg.y - dc_.winOrg.y * sy;
    xform_ = multiply(multiply(dc_.world, page), base_);
  }
  if (!xform_.finite()) xform_ = Xform{0, 0, 0, 0, 0, 0};
  xformValid_ = true;
  return xform_;
}

double Player::scaleX() {
  const Xform& m = xf();
  return std::hypot(m.m11, m.m12);
}

double Player::scaleY() {
  const Xform& m = xf();
  return std::hypot(m.m21, m.m22);
}

Rect Player::devRect(double l, double t, double r, double b) {
  const DPoint c[4] = {dev(l, t), dev(r, t), dev(l, b), dev(r, b)};
  double x0 = c[0].x, x1 = c[0].x, y0 = c[0].y, y1 = c[0].y;
  for (const DPoint& p : c) {
    x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
  }
  return {toDevice(x0), toDevice(y0), toDevice(x1), toDevice(y1)};
}

void Player::count(uint64_t points) {
  points_ += points;
  if (points_ > kMaxPoints) fail("too many points to draw");
}

// -- objects --

void Player::checkIndex(const Rec& r, uint32_t index) {
  if (index >= objects_.size() || (!wmf_ && index == 0)) r.bad("names an object outside the table");
}

GdiObject& Player::objectSlot(const Rec& r, uint32_t index) {
  checkIndex(r, index);
  return objects_[index];
}

void Player::selectStock(uint32_t n) {
  switch (n) {
    case WHITE_BRUSH:
    case DC_BRUSH:
      dc_.brush = {BrushStyle::Solid, clWhite};
      break;
    case LTGRAY_BRUSH:
      dc_.brush = {BrushStyle::Solid, rgb(192, 192, 192)};
      break;
    case GRAY_BRUSH:
      dc_.brush = {BrushStyle::Solid, rgb(128, 128, 128)};
      break;
    case DKGRAY_BRUSH:
      dc_.brush = {BrushStyle::Solid, rgb(64, 64, 64)};
      break;
    case BLACK_BRUSH:
      dc_.brush = {BrushStyle::Solid, clBlack};
      break;
    case NULL_BRUSH:
      dc_.brush = {BrushStyle::Clear, clBlack};
      break;
    case WHITE_PEN:
      dc_.pen = {PS_SOLID, 0, true, clWhite};
      break;
    case BLACK_PEN:
    case DC_PEN:
      dc_.pen = {PS_SOLID, 0, true, clBlack};
      break;
    case NULL_PEN:
      dc_.pen = {PS_NULL, 0, true, clBlack};
      break;
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
      dc_.font = stockFont();
      dc_.font.face = "Courier New";
      break;
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case DEFAULT_GUI_FONT:
      dc_.font = stockFont();
      break;
    default:
      break;  // palettes and unknown stock objects change nothing we draw
  }
}

void Player::selectObject(const Rec& r, uint32_t index) {
  if (!wmf_ && (index & kStockObject)) {
    selectStock(index & ~kStockObject);
    return;
  }
  GdiObject& o = objectSlot(r, index);
  switch (o.kind) {
    case GdiObject::Kind::Pen:
      dc_.pen = o.pen;
      break;
    case GdiObject::Kind::Brush:
      dc_.brush = o.brush;
      break;
    case GdiObject::Kind::Font:
      dc_.font = o.font;
      break;
    case GdiObject::Kind::Region: {
      // Selecting a region object makes it the clip region.
      QRegion rg;
      for (const Rect& x : o.region) rg += toQRect(devRect(x.left, x.top, x.right, x.bottom));
      combineClip(rg, RGN_COPY);
      break;
    }
    default:
      break;  // selecting a deleted slot fails quietly, as in GDI
  }
}

void Player::deleteObject(const Rec& r, uint32_t index) {
  if (!wmf_ && (index & kStockObject)) return;
  objectSlot(r, index) = GdiObject{};
}

uint32_t Player::wmfFreeSlot(const Rec& r) {
  for (uint32_t i = 0; i < objects_.size(); ++i)
    if (objects_[i].kind == GdiObject::Kind::Empty) return i;
  r.bad("creates more objects than the header declares");
}

LogBrush Player::brushFor(const Rec& r, uint32_t index) {
  if (!wmf_ && (index & kStockObject)) {
    const LogBrush keep = dc_.brush;
    selectStock(index & ~kStockObject);
    LogBrush b = dc_.brush;
    dc_.brush = keep;
    return b;
  }
  GdiObject& o = objectSlot(r, index);
  if (o.kind == GdiObject::Kind::Brush) return o.brush;
  return {BrushStyle::Clear, clBlack};
}

// -- state onto the target --

QRegion Player::universe() const {
  const Rect b = target_.deviceBounds();
  QRect u = toQRect(b).united(toQRect(dest_));
  return QRegion(u.adjusted(-1, -1, 1, 1));
}

void Player::combineClip(const QRegion& region, uint32_t mode) {
  std::optional<QRegion>& clip = dc_.clip;
  switch (mode) {
    case RGN_AND:
      clip = clip ? clip->intersected(region) : region;
      break;
    case RGN_OR:
      if (clip) clip = clip->united(region);
      break;
    case RGN_XOR:
      clip = (clip ? *clip : universe()).xored(region);
      break;
    case RGN_DIFF:
      clip = (clip ? *clip : universe()).subtracted(region);
      break;
    case RGN_COPY:
      clip = region;
      break;
    default:
      return;
  }
  // A region of very many bands costs every later drawing call; its outline is
  // close enough.
  if (clip && clip->rectCount() > kMaxClipRects) clip = QRegion(clip->boundingRect());
  clipDirty_ = true;
}

void Player::intersectClip(double l, double t, double r, double b) {
  combineClip(QRegion(toQRect(devRect(l, t, r, b))), RGN_AND);
}

void Player::excludeClip(double l, double t, double r, double b) {
  combineClip(QRegion(toQRect(devRect(l, t, r, b))), RGN_DIFF);
}

void Player::applyClip() {
  if (!clipDirty_) return;
  clipDirty_ = false;
  // Back to the canvas's own clip, then narrowed to the metafile's region.
  target_.restore();
  target_.save();
  if (!dc_.clip) return;
  const QRect box = dc_.clip->boundingRect();
  if (box.isEmpty()) {
    target_.intersectClipRect(Rect{0, 0, 0, 0});
    return;
  }
  target_.intersectClipRect(
      Rect{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()});
  for (const QRect& hole : QRegion(box).subtracted(*dc_.clip))
    target_.excludeClipRect(
        Rect{hole.left(), hole.top(), hole.left() + hole.width(), hole.top() + hole.height()});
}

bool Player::penVisible() const {
  return (dc_.pen.style & PS_STYLE_MASK) != PS_NULL;
}

void Player::applyPen() {
  PenSpec p;
  p.color = dc_.pen.color;
  p.style = penStyleOf(dc_.pen.style);
  // A cosmetic pen reaches the canvas as width 0, one pixel on a screen or a
  // printer and still cosmetic when the canvas records a metafile itself.
  p.width = 0;
  if (!dc_.pen.cosmetic) {
    const double s = std::sqrt(std::abs(xf().det()));
    // Snapped to a millionth first, so a width that is exactly a half at this
    // stretch rounds the same way whatever the last bits of the scale are.
    const double w = std::round(dc_.pen.width * s * 1e6) / 1e6;
    p.width = std::clamp(toDevice(w), 1, kMaxPenWidth);
  }
  p.mode = dc_.rop2 == R2_XORPEN      ? PenMode::Xor
           : dc_.rop2 == R2_NOTXORPEN ? PenMode::NotXor
                                      : PenMode::Copy;
  applyClip();
  target_.setPen(p);
  target_.setBkMode(dc_.bkMode);
  target_.setBkColor(dc_.bkColor);
}

// Pens the canvas cannot draw, whose strokes the player outlines itself. A
// geometric pen is a circle in logical units, so a transform that stretches
// one way more than the other makes it an ellipse on the device: a line
// across the stretch comes out thicker than one along it. That is what keeps
// the bars of a barcode stretched along its length as wide as its modules.
// And a wide geometric extended pen keeps its dashes, as long as its width.
bool Player::outlinedPen() {
  if (!penVisible() || dc_.pen.cosmetic) return false;
  const Xform& m = xf();
  const double det = std::abs(m.det());
  const double alongX = std::hypot(m.m11, m.m12), alongY = std::hypot(m.m21, m.m22);
  if (!(det > 0) || !(alongX > 0) || !(alongY > 0)) return false;
  // How thick a logical horizontal and a logical vertical line come out.
  const double horizontal = dc_.pen.width * det / alongX;
  const double vertical = dc_.pen.width * det / alongY;
  if (!std::isfinite(horizontal) || !std::isfinite(vertical)) return false;
  if (std::max(horizontal, vertical) <= 1.5) return false;
  return !geometricDashes().empty() || std::abs(horizontal - vertical) >= 0.5;
}

// The dashes of a geometric extended pen, in pen widths; none for solid pens.
std::span<const qreal> Player::geometricDashes() const {
  static constexpr qreal kDash[] = {3, 1}, kDot[] = {1, 1}, kDashDot[] = {3, 1, 1, 1},
                         kDashDotDot[] = {3, 1, 1, 1, 1, 1};
  if (!dc_.pen.extended || dc_.pen.cosmetic) return {};
  switch (dc_.pen.style & PS_STYLE_MASK) {
    case PS_DASH:
      return kDash;
    case PS_DOT:
      return kDot;
    case PS_DASHDOT:
      return kDashDot;
    case PS_DASHDOTDOT:
      return kDashDotDot;
    default:
      return {};
  }
}

// Strokes device polylines with the selected pen.
void Player::strokeLines(const std::vector<std::vector<Point>>& lines,
                         const std::vector<bool>& closed) {
  if (!penVisible()) return;
  // Merging the outline of a long self-crossing line costs far more than its
  // points: beyond a bound the canvas's round pen of the mean width does.
  size_t points = 0;
  for (const auto& l : lines) points += l.size();
  if (points <= kMaxOutlinedPoints && outlinedPen()) {
    strokeOutlined(lines, closed);
    return;
  }
  applyPen();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    if (!closed[i] || lines[i].size() < 2) {
      target_.polyline(lines[i]);
      continue;
    }
    std::vector<Point> line = lines[i];
    line.push_back(line.front());
    target_.polyline(line);
  }
}

// The canvas has round, solid wide pens only: the stroke of an outlined pen is
// made in the space where the pen is round (the device undone by the
// transform), brought back and filled with the pen's colour.
void Player::strokeOutlined(const std::vector<std::vector<Point>>& lines,
                            const std::vector<bool>& closed) {
  const Xform& m = xf();
  const QTransform linear(m.m11, m.m12, m.m21, m.m22, 0, 0);
  bool invertible = false;
  const QTransform undo = linear.inverted(&invertible);
  if (!invertible) return;
  // No wider than the largest pen the canvas would be given.
  const double stretch = std::max(std::hypot(m.m11, m.m12), std::hypot(m.m21, m.m22));
  const double width = std::min(dc_.pen.width, kMaxPenWidth / stretch);
  const uint32_t cap = dc_.pen.style & PS_ENDCAP_MASK, join = dc_.pen.style & PS_JOIN_MASK;
  QPainterPathStroker stroker, solid;
  for (QPainterPathStroker* st : {&stroker, &solid}) {
    st->setWidth(width);
    st->setCapStyle(cap == PS_ENDCAP_FLAT     ? Qt::FlatCap
                    : cap == PS_ENDCAP_SQUARE ? Qt::SquareCap
                                              : Qt::RoundCap);
    st->setJoinStyle(join == PS_JOIN_MITER   ? Qt::MiterJoin
                     : join == PS_JOIN_BEVEL ? Qt::BevelJoin
                                             : Qt::RoundJoin);
  }
  // A segment with more dashes than a page could show (a hostile line across
  // millions of pixels) is drawn solid.
  const std::span<const qreal> dashes = geometricDashes();
  qreal period = 0;
  for (qreal d : dashes) period += d * width;
  if (!dashes.empty()) stroker.setDashPattern(QList<qreal>(dashes.begin(), dashes.end()));
  auto centre = [&](Point p) { return undo.map(QPointF(p.x, p.y)); };

  // The canvas puts a stroke of odd width on the pixels whose centres the
  // line passes through and one of even width astride it: the same here,
  // axis by axis, with the widths a vertical and a horizontal line get.
  const double det = std::abs(m.det());
  const int32_t acrossX = toDevice(width * det / std::hypot(m.m21, m.m22));
  const int32_t acrossY = toDevice(width * det / std::hypot(m.m11, m.m12));
  const double sx = acrossX % 2 ? 0.5 : 0, sy = acrossY % 2 ? 0.5 : 0;
  applyPen();
  PenSpec none = target_.pen();
  none.style = PenStyle::Clear;
  target_.setPen(none);
  target_.setBrush(BrushSpec{dc_.pen.color, BrushStyle::Solid});
  auto fill = [&](const QPolygonF& poly) {
    std::vector<Point> pts;
    pts.reserve(size_t(poly.size()));
    for (const QPointF& q : poly) pts.push_back(toPoint({q.x() + sx, q.y() + sy}));
    count(pts.size());
    target_.polygon(pts);
  };

  size_t points = 0;
  for (const auto& l : lines) points += l.size();
  if (dashes.empty() && (cap != PS_ENDCAP_ROUND || join != PS_JOIN_ROUND) &&
      points <= kMaxJoinedPoints) {
    // Square ends and corners need the whole outline, merged where it
    // overlaps itself; that is affordable for short lines only.
    QPainterPath path;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      path.moveTo(centre(lines[i][0]));
      for (size_t k = 1; k < lines[i].size(); ++k) path.lineTo(centre(lines[i][k]));
      if (lines[i].size() == 1) path.lineTo(path.currentPosition());
      if (closed[i]) path.closeSubpath();
    }
    for (const QPolygonF& poly :
         linear.map(stroker.createStroke(path)).simplified().toFillPolygons())
      fill(poly);
  } else {
    // Segment by segment: with round ends and corners the strokes of the
    // segments together are the stroke of the line, each one simple.
    auto segment = [&](Point a, Point b) {
      QPainterPath piece(centre(a));
      piece.lineTo(centre(b));
      const bool fewDashes = period > 0 && piece.length() / period <= kMaxOutlinedPoints;
      const QPainterPath outline = (fewDashes ? stroker : solid).createStroke(piece);
      for (const QPolygonF& poly : linear.map(outline).toSubpathPolygons()) fill(poly);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::vector<Point>& l = lines[i];
      if (l.size() == 1) segment(l[0], l[0]);
      for (size_t k = 1; k < l.size(); ++k) segment(l[k - 1], l[k]);
      if (closed[i] && l.size() > 2) segment(l.back(), l.front());
    }
  }
  applyPen();
  applyBrush();
}

void Player::applyBrush() {
  target_.setBrush(BrushSpec{dc_.brush.color, dc_.brush.style});
}

FontSpec Player::deviceFont() {
  FontSpec f;
  f.face = dc_.font.face.empty() ? std::string("Arial") : dc_.font.face;
  double h = dc_.font.height;
  if (!dc_.font.stock) h *= scaleY();
  int32_t height = toDevice(h);
  if (height == 0) height = dc_.font.height < 0 ? -1 : (dc_.font.height > 0 ? 1 : -13);
  f.height = std::clamp(height, -kMaxFontHeight, kMaxFontHeight);
  f.weight = dc_.font.weight;
  f.italic = dc_.font.italic;
  f.underline = dc_.font.underline;
  f.strikeOut = dc_.font.strikeOut;
  f.charset = dc_.font.charset;
  // A turned world transform turns the text with it.
  int32_t extra = 0;
  if (!dc_.world.isIdentity()) {
    const Xform& m = xf();
    extra = toDevice(std::atan2(-m.m12, m.m11) * 1800 / std::numbers::pi);
  }
  f.escapement = int32_t((int64_t(dc_.font.escapement % 3600) + extra) % 3600);
  f.orientation = int32_t((int64_t(dc_.font.orientation % 3600) + extra) % 3600);
  return f;
}

// -- paths --

void Player::pathMoveTo(DPoint d) {
  count(1);
  path_.push_back(Figure{{d}, false});
}

void Player::pathLineTo(DPoint d) {
  count(1);
  if (path_.empty() || path_.back().closed) path_.push_back(Figure{{dev(dc_.current)}, false});
  path_.back().pts.push_back(d);
}

void Player::pathAddFigure(const std::vector<DPoint>& device, bool closed) {
  if (device.empty()) return;
  count(device.size());
  path_.push_back(Figure{device, closed});
}

void Player::drawPath(bool fill, bool stroke) {
  std::vector<std::vector<Point>> polys;
  std::vector<bool> closed;
  for (const Figure& f : path_) {
    if (f.pts.empty()) continue;
    std::vector<Point> pts;
    pts.reserve(f.pts.size());
    for (const DPoint& p : f.pts) pts.push_back(toPoint(p));
    polys.push_back(std::move(pts));
    closed.push_back(f.closed);
  }
  path_.clear();
  if (polys.empty()) return;
  if (fill) fillDevicePolygons(polys, true, false);
  if (stroke) {
    if (fill) closed.assign(closed.size(), true);
    strokeLines(polys, closed);
  }
}

// Polygons with holes: the canvas fills one polygon at a time, so the parts
// are joined through their first points into one outline, whose joining
// edges are walked there and back and so enclose nothing under the even-odd
// rule. The outlines are drawn afterwards, part by part.
void Player::fillDevicePolygons(const std::vector<std::vector<Point>>& polys, bool fill,
                                bool stroke) {
  applyPen();
  if (fill && dc_.brush.style != BrushStyle::Clear) {
    std::vector<Point> joined;
    for (const auto& p : polys) {
      if (p.empty()) continue;
      joined.insert(joined.end(), p.begin(), p.end());
      joined.push_back(p.front());
      if (!polys.front().empty()) joined.push_back(polys.front().front());
    }
    count(joined.size());
    applyBrush();
    PenSpec none = target_.pen();
    none.style = PenStyle::Clear;
    target_.setPen(none);
    target_.polygon(polys.size() == 1 ? std::span<const Point>(polys[0]) : joined);
    applyPen();
  }
  if (stroke) strokeLines(polys, std::vector<bool>(polys.size(), true));
}

// -- shapes --

void Player::lineTo(DPoint p) {
  if (inPath_) {
    pathLineTo(dev(p));
  } else {
    count(2);
    const Point a = toPoint(dev(dc_.current)), b = toPoint(dev(p));
    if (outlinedPen()) {
      strokeOutlined({{a, b}}, {false});
    } else {
      applyPen();
      target_.moveTo(a.x, a.y);
      target_.lineTo(b.x, b.y);
    }
  }
  dc_.current = p;
}

void Player::polyline(const std::vector<DPoint>& pts, bool fromCurrent) {
  if (pts.empty()) return;
  if (inPath_) {
    if (!fromCurrent) pathMoveTo(dev(pts[0]));
    for (size_t i = fromCurrent ? 0 : 1; i < pts.size(); ++i) pathLineTo(dev(pts[i]));
  } else {
    std::vector<Point> d;
    d.reserve(pts.size() + 1);
    if (fromCurrent) d.push_back(toPoint(dev(dc_.current)));
    for (const DPoint& p : pts) d.push_back(toPoint(dev(p)));
    count(d.size());
    strokeLines({d}, {false});
  }
  if (fromCurrent) dc_.current = pts.back();
}

void Player::polygon(const std::vector<DPoint>& pts) {
  if (pts.empty()) return;
  std::vector<DPoint> d;
  d.reserve(pts.size());
  for (const DPoint& p : pts) d.push_back(dev(p));
  if (inPath_) {
    pathAddFigure(d, true);
    return;
  }
  std::vector<Point> ip;
  ip.reserve(d.size());
  for (const DPoint& p : d) ip.push_back(toPoint(p));
  count(ip.size());
  if (outlinedPen()) {
    fillDevicePolygons({ip}, true, true);
    return;
  }
  applyPen();
  applyBrush();
  target_.polygon(ip);
}

void Player::polyPolygon(const std::vector<std::vector<DPoint>>& polys) {
  std::vector<std::vector<Point>> dp;
  for (const auto& poly : polys) {
    std::vector<DPoint> d;
    for (const DPoint& p : poly) d.push_back(dev(p));
    if (inPath_) {
      pathAddFigure(d, true);
      continue;
    }
    std::vector<Point> ip;
    for (const DPoint& p : d) ip.push_back(toPoint(p));
    count(ip.size());
    dp.push_back(std::move(ip));
  }
  if (inPath_ || dp.empty()) return;
  if (dp.size() == 1 && !outlinedPen()) {
    applyPen();
    applyBrush();
    target_.polygon(dp[0]);
    return;
  }
  fillDevicePolygons(dp, true, true);
}

void Player::polyPolyline(const std::vector<std::vector<DPoint>>& lines) {
  for (const auto& l : lines) polyline(l, false);
}

void Player::bezier(const std::vector<DPoint>& pts, bool fromCurrent) {
  std::vector<DPoint> ctrl;
  if (fromCurrent) ctrl.push_back(dc_.current);
  ctrl.insert(ctrl.end(), pts.begin(), pts.end());
  if (ctrl.size() < 4) return;
  // Flattened in device space, where the segment count can follow the size.
  std::vector<DPoint> d;
  for (const DPoint& p : ctrl) d.push_back(dev(p));
  std::vector<DPoint> out{d[0]};
  for (size_t i = 0; i + 3 < d.size(); i += 3) {
    const DPoint p0 = d[i], p1 = d[i + 1], p2 = d[i + 2], p3 = d[i + 3];
    const double len = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                       std::hypot(p3.x - p2.x, p3.y - p2.y);
    const int n = int(std::isfinite(len) ? std::clamp(len / 4, 1.0, 64.0) : 1.0);
    count(n);
    for (int k = 1; k <= n; ++k) {
      const double t = double(k) / n, u = 1 - t;
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, e = t * t * t;
      out.push_back(
          {a * p0.x + b * p1.x + c * p2.x + e * p3.x, a * p0.y + b * p1.y + c * p2.y + e * p3.y});
    }
  }
  const size_t used = 1 + ((ctrl.size() - 1) / 3) * 3;
  if (inPath_) {
    if (!fromCurrent) pathMoveTo(out[0]);
    for (size_t i = 1; i < out.size(); ++i) pathLineTo(out[i]);
  } else {
    std::vector<Point> ip;
    for (const DPoint& p : out) ip.push_back(toPoint(p));
    strokeLines({ip}, {false});
  }
  if (fromCurrent) dc_.current = ctrl[used - 1];
}

void Player::rectangle(double l, double t, double r, double b) {
  if (inPath_ || !xf().axisAligned() || outlinedPen()) {
    polygon({{l, t}, {r, t}, {r, b}, {l, b}});
    return;
  }
  count(4);
  applyPen();
  applyBrush();
  target_.rectangle(devRect(l, t, r, b));
}

void Player::ellipse(double l, double t, double r, double b) {
  if (inPath_ || !xf().axisAligned() || outlinedPen()) {
    polygon(arcPoints(l, t, r, b, {}, {}, true));
    return;
  }
  count(4);
  applyPen();
  applyBrush();
  target_.ellipse(devRect(l, t, r, b));
}

void Player::roundRect(double l, double t, double r, double b, double w, double h) {
  if (inPath_ || !xf().axisAligned() || outlinedPen()) {
    // Corners as quarter ellipses.
    const double x0 = std::min(l, r), x1 = std::max(l, r), y0 = std::min(t, b), y1 = std::max(t, b);
    const double rw = std::min(std::abs(w), x1 - x0) / 2, rh = std::min(std::abs(h), y1 - y0) / 2;
    std::vector<DPoint> pts;
    const int n = 8;
    const double cx[4] = {x1 - rw, x0 + rw, x0 + rw, x1 - rw};
    const double cy[4] = {y0 + rh, y0 + rh, y1 - rh, y1 - rh};
    for (int q = 0; q < 4; ++q)
      for (int k = 0; k <= n; ++k) {
        const double a = (q * 90.0 + k * 90.0 / n) * std::numbers::pi / 180;
        pts.push_back({cx[q] + rw * std::cos(a), cy[q] - rh * std::sin(a)});
      }
    polygon(pts);
    return;
  }
  count(4);
  applyPen();
  applyBrush();
  target_.roundRect(devRect(l, t, r, b), toDevice(std::abs(w * scaleX())),
                    toDevice(std::abs(h * scaleY())));
}

// Points of an elliptic arc in logical coordinates, counter-clockwise on the
// screen from the radial through `start` to the one through `end`.
std::vector<DPoint> Player::arcPoints(double l, double t, double r, double b, DPoint start,
                                      DPoint end, bool fullEllipse) {
  const double cx = (l + r) / 2, cy = (t + b) / 2;
  const double rx = std::abs(r - l) / 2, ry = std::abs(b - t) / 2;
  double a0 = 0, a1 = 2 * std::numbers::pi;
  bool reverse = false;
  if (!fullEllipse) {
    const double sx = rx > 0 ? (start.x - cx) / rx : 0, sy = ry > 0 ? (start.y - cy) / ry : 0;
    const double ex = rx > 0 ? (end.x - cx) / rx : 0, ey = ry > 0 ? (end.y - cy) / ry : 0;
    a0 = std::atan2(-sy, sx);
    a1 = std::atan2(-ey, ex);
    // Counter-clockwise on the screen: clockwise drawing, or a transform that
    // mirrors the logical space, turns the other way here.
    reverse = (dc_.arcDirection == AD_CLOCKWISE) != (xf().det() < 0);
    if (reverse) std::swap(a0, a1);
    while (a1 <= a0) a1 += 2 * std::numbers::pi;
  }
  const DPoint radius = xf().applyLinear({rx, ry});
  const double devR = std::hypot(radius.x, radius.y);
  const int n = int(std::isfinite(devR) ? std::clamp(devR / 2, 8.0, 256.0) : 8.0);
  count(n);
  std::vector<DPoint> pts;
  const double span = a1 - a0;
  const int steps = std::max(2, int(std::ceil(n * span / (2 * std::numbers::pi))));
  for (int k = 0; k <= steps; ++k) {
    const double a = a0 + span * k / steps;
    pts.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
  }
  if (fullEllipse) pts.pop_back();
  if (reverse) std::reverse(pts.begin(), pts.end());
  return pts;
}

void Player::arc(ArcKind kind, double l, double t, double r, double b, DPoint start, DPoint end) {
  // The canvas draws counter-clockwise on the screen, as GDI does.
  const bool simple = !inPath_ && xf().axisAligned() && !outlinedPen() &&
                      (kind == ArcKind::Arc || kind == ArcKind::Pie);
  if (simple) {
    count(4);
    applyPen();
    applyBrush();
    const Rect box = devRect(l, t, r, b);
    Point s = toPoint(dev(start)), e = toPoint(dev(end));
    if (dc_.arcDirection == AD_CLOCKWISE) std::swap(s, e);
    if (kind == ArcKind::Pie) {
      target_.pie(box, s, e);
    } else {
      target_.arc(box, s, e);
    }
    return;
  }
  std::vector<DPoint> pts = arcPoints(l, t, r, b, start, end, false);
  switch (kind) {
    case ArcKind::Arc:
      polyline(pts, false);
      break;
    case ArcKind::ArcTo:
      polyline(pts, true);
      break;
    case ArcKind::Chord:
      polygon(pts);
      break;
    case ArcKind::Pie:
      pts.insert(pts.begin(), DPoint{(l + r) / 2, (t + b) / 2});
      polygon(pts);
      break;
  }
}

void Player::fillRects(const std::vector<Rect>& logicalRects, const LogBrush& brush) {
  if (brush.style == BrushStyle::Clear) return;
  applyClip();
  target_.setBrush(BrushSpec{brush.color, brush.style});
  count(logicalRects.size());
  for (const Rect& x : logicalRects) target_.fillRect(devRect(x.left, x.top, x.right, x.bottom));
}

// -- text --

void Player::text(DPoint ref, std::string bytes, const QString* unicode, uint8_t charset,
                  std::span<const int32_t> dxLogical, uint32_t options,
                  const std::optional<Rect>& rect, bool useCurrent) {
  FontSpec font = deviceFont();
  font.charset = charset;
  if (unicode) {
    // Unicode text goes out in the font's page or, when that page lacks some
    // of its characters, in the first page that holds them all.
    bytes = encodeText(*unicode, codePageForFont(font.face, charset));
    if (!encodesWithoutLoss(*unicode, bytes)) {
      for (uint8_t cs : kFallbackCharsets) {
        std::string alt = encodeText(*unicode, codePageForFont(font.face, cs));
        if (encodesWithoutLoss(*unicode, alt)) {
          bytes = std::move(alt);
          font.charset = cs;
          break;
        }
      }
    }
  }
  count(bytes.size() + 1);
  applyClip();
  target_.setFont(font);
  target_.setTextColor(dc_.textColor);
  target_.setBkMode(dc_.bkMode);
  target_.setBkColor(dc_.bkColor);
  target_.setTextCharacterExtra(0);
  target_.setTextJustification(0, 0);

  const std::vector<int32_t> natural = target_.charAdvances(bytes);
  std::vector<int32_t> adv = natural;
  if (!dxLogical.empty() && dxLogical.size() == bytes.size()) {
    const double s = scaleX();
    double sum = 0;
    int32_t prev = 0;
    for (size_t i = 0; i < adv.size(); ++i) {
      sum += dxLogical[i];
      const int32_t at = toDevice(sum * s);
      adv[i] = at - prev;
      prev = at;
    }
  } else if (wmf_ && dc_.charExtra != 0) {
    const int32_t extra = toDevice(dc_.charExtra * scaleX());
    for (int32_t& a : adv) a += extra;
  }
  int64_t width = 0;
  for (int32_t a : adv) width += a;

  const TextMetrics tm = target_.textMetrics();
  const DPoint origin = dev(useCurrent ? dc_.current : ref);
  double ox = 0, oy = 0;
  const uint32_t horz = dc_.textAlign & TA_HORZMASK;
  if (horz == TA_RIGHT) ox = -double(width);
  if (horz == TA_CENTER) ox = -double(width) / 2;
  const uint32_t vert = dc_.textAlign & TA_VERTMASK;
  if (vert == TA_BASELINE) oy = -tm.ascent;
  if (vert == TA_BOTTOM) oy = -tm.height;
  const double ang = font.escapement / 10.0 * std::numbers::pi / 180;
  const double ca = std::cos(ang), sa = std::sin(ang);
  auto along = [&](double u, double v) {
    return DPoint{origin.x + u * ca + v * sa, origin.y - u * sa + v * ca};
  };
  const Point topLeft = toPoint(along(ox, oy));

  uint32_t flags = 0;
  if (options & ETO_RTLREADING) flags |= etoRtlReading;
  Rect clip;
  if (rect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
    clip = devRect(rect->left, rect->top, rect->right, rect->bottom);
    if (options & ETO_OPAQUE) flags |= etoOpaque;
    if (options & ETO_CLIPPED) flags |= etoClipped;
  }
  const Rect* clipPtr = (flags & (etoOpaque | etoClipped)) ? &clip : nullptr;

  // The canvas spaces characters by its own advances plus the character
  // extra and the justification; when the recorded advances are exactly
  // that, the text goes out in one piece, otherwise character by character.
  bool whole = true;
  int32_t extra = 0, breaks = 0;
  int64_t justify = 0;
  if (!adv.empty()) {
    const uint8_t breakChar = 0x20;
    std::optional<int32_t> common;
    for (size_t i = 0; i < adv.size(); ++i)
      if (uint8_t(bytes[i]) != breakChar) {
        common = adv[i] - natural[i];
        break;
      }
    extra = common.value_or(adv[0] - natural[0]);
    std::vector<int32_t> shares;
    for (size_t i = 0; i < adv.size() && whole; ++i) {
      const int32_t d = adv[i] - natural[i] - extra;
      if (uint8_t(bytes[i]) == breakChar) {
        shares.push_back(d);
        justify += d;
      } else if (d != 0) {
        whole = false;
      }
    }
    if (whole && justify != 0) {
      // The justification may cover all the blanks or only the first ones.
      auto matches = [&](int32_t count) {
        const int64_t share = justify / count;
        int64_t rest = justify % count;
        const int64_t step = rest < 0 ? -1 : 1;
        for (int32_t i = 0; i < int32_t(shares.size()); ++i) {
          int64_t want = 0;
          if (i < count) {
            want = share;
            if (rest != 0) want += step, rest -= step;
          }
          if (shares[size_t(i)] != want) return false;
        }
        return true;
      };
      int32_t used = 0;
      for (int32_t i = 0; i < int32_t(shares.size()); ++i)
        if (shares[size_t(i)] != 0) used = i + 1;
      breaks = 0;
      for (int32_t count : {int32_t(shares.size()), used})
        if (count > 0 && !breaks && matches(count)) breaks = count;
      whole = breaks != 0 && std::abs(justify) <= kMaxCoord;
    }
  }
  if (whole) {
    target_.setTextCharacterExtra(extra);
    if (justify != 0) target_.setTextJustification(int32_t(justify), breaks);
    target_.textOut(topLeft.x, topLeft.y, bytes, clipPtr, flags);
  } else {
    if (flags & etoOpaque) {
      target_.setBrush(BrushSpec{dc_.bkColor, BrushStyle::Solid});
      target_.fillRect(clip);
      flags &= ~uint32_t(etoOpaque);
      clipPtr = (flags & etoClipped) ? &clip : nullptr;
    }
    int64_t at = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const Point p = toPoint(along(ox + double(at), oy));
      target_.textOut(p.x, p.y, std::string_view(bytes).substr(i, 1), clipPtr, flags);
      at += adv[i];
    }
  }
  target_.setTextCharacterExtra(0);
  target_.setTextJustification(0, 0);
  if (useCurrent) {
    const double s = scaleX();
    if (s > 0) dc_.current.x += double(width) / s;
  }
}

void Player::emfText(const Rec& r, bool wide) {
  // rclBounds, iGraphicsMode, exScale, eyScale, then the EMRTEXT.
  const DPoint ref{double(r.i32(36)), double(r.i32(40))};
  const uint32_t n = r.u32(44);
  const uint32_t offString = r.u32(48);
  const uint32_t options = r.u32(52);
  const Rect rc{r.i32(56), r.i32(60), r.i32(64), r.i32(68)};
  const uint32_t offDx = r.u32(72);
  const uint64_t unit = wide ? 2 : 1;
  auto chars = r.sub(offString, uint64_t(n) * unit);
  std::vector<int32_t> dx;
  if (offDx != 0 && n > 0) {
    const uint64_t per = (options & ETO_PDY) ? 8 : 4;
    if (offDx <= r.d.size() && uint64_t(n) * per <= r.d.size() - offDx) {
      dx.resize(n);
      for (uint32_t i = 0; i < n; ++i) dx[i] = r.i32(offDx + i * per);
    }
  }
  std::optional<Rect> rect;
  if (!(options & ETO_NO_RECT)) rect = rc;
  const bool cp = dc_.textAlign & TA_UPDATECP;
  if (options & ETO_GLYPH_INDEX) return;  // glyph numbers of a font we do not have
  if (wide) {
    QString u(qsizetype(n), Qt::Uninitialized);
    for (uint32_t i = 0; i < n; ++i) u[qsizetype(i)] = QChar(char16_t(le16(chars, i * 2)));
    text(ref, {}, &u, dc_.font.charset, dx, options, rect, cp);
  } else {
    text(ref, std::string(chars.begin(), chars.end()), nullptr, dc_.font.charset, dx, options, rect,
         cp);
  }
}

void Player::smallText(const Rec& r) {
  const DPoint ref{double(r.i32(8)), double(r.i32(12))};
  const uint32_t n = r.u32(16);
  const uint32_t options = r.u32(20);
  size_t off = 36;
  std::optional<Rect> rect;
  if (!(options & ETO_NO_RECT)) {
    rect = Rect{r.i32(36), r.i32(40), r.i32(44), r.i32(48)};
    off += 16;
  }
  if (options & ETO_GLYPH_INDEX) return;
  const bool cp = dc_.textAlign & TA_UPDATECP;
  if (options & ETO_SMALL_CHARS) {
    auto chars = r.sub(off, n);
    text(ref, std::string(chars.begin(), chars.end()), nullptr, dc_.font.charset, {}, options, rect,
         cp);
  } else {
    auto chars = r.sub(off, uint64_t(n) * 2);
    QString u(qsizetype(n), Qt::Uninitialized);
    for (uint32_t i = 0; i < n; ++i) u[qsizetype(i)] = QChar(char16_t(le16(chars, i * 2)));
    text(ref, {}, &u, dc_.font.charset, {}, options, rect, cp);
  }
}

// -- bitmaps --

void Player::patBlt(double x, double y, double cx, double cy, uint32_t rop) {
  LogBrush b = dc_.brush;
  if (rop == BLACKNESS) {
    b = {BrushStyle::Solid, clBlack};
  } else if (rop == WHITENESS) {
    b = {BrushStyle::Solid, clWhite};
  } else if (rop != PATCOPY) {
    return;  // raster operations that mix with the screen: nothing we can draw
  }
  fillRects({Rect{toDevice(x), toDevice(y), toDevice(x + cx), toDevice(y + cy)}}, b);
}

void Player::bitmap(const Rec& r, double x, double y, double cx, double cy, int32_t sx, int32_t sy,
                    int32_t scx, int32_t scy, std::span<const uint8_t> info,
                    std::span<const uint8_t> bits, uint32_t rop) {
  if (rop == SRCINVERT || rop == DSTINVERT || rop == PATINVERT) return;
  DibHeader h;
  try {
    h = parseDibHeader(info);
  } catch (const Error& e) {
    r.bad(e.what());
  }
  const uint64_t pixels = uint64_t(uint32_t(h.width)) * uint64_t(uint32_t(h.height));
  if (pixels > kMaxBitmapPixels) r.bad("holds a bitmap too large for a picture");
  imagePixels_ += pixels;
  if (imagePixels_ > kMaxImagePixels) fail("too many bitmap pixels");
  QImage img;
  try {
    img = decodeDib(h, info, bits);
  } catch (const Error& e) {
    r.bad(e.what());
  }
  if (img.isNull()) return;
  // The source rectangle; a bottom-up bitmap counts its rows from the bottom.
  if (scx != 0 && scy != 0) {
    // In 64 bits: the fields may hold anything.
    const int64_t sl = std::min<int64_t>(sx, int64_t(sx) + scx), sw = std::abs(int64_t(scx));
    int64_t st = std::min<int64_t>(sy, int64_t(sy) + scy);
    const int64_t sh = std::abs(int64_t(scy));
    if (!h.topDown) st = img.height() - st - sh;
    const int64_t l = std::max<int64_t>(sl, 0), t = std::max<int64_t>(st, 0);
    const int64_t r = std::min<int64_t>(sl + sw, img.width()),
                  b = std::min<int64_t>(st + sh, img.height());
    if (r <= l || b <= t) return;
    const QRect want(int(l), int(t), int(r - l), int(b - t));
    if (want != img.rect()) img = img.copy(want);
  }
  if (rop == NOTSRCCOPY) img.invertPixels();
  if (rop == SRCAND || rop == SRCPAINT) {
    // AND keeps the screen under white, OR under black: those become transparent.
    img = img.convertToFormat(QImage::Format_ARGB32);
    const QRgb clear = rop == SRCAND ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    for (int row = 0; row < img.height(); ++row) {
      QRgb* p = reinterpret_cast<QRgb*>(img.scanLine(row));
      for (int col = 0; col < img.width(); ++col)
        if ((p[col] | 0xFF000000u) == clear) p[col] = 0;
    }
  }
  const DPoint a = dev(x, y), b = dev(x + cx, y + cy);
  const bool mirrorX = (b.x < a.x) != (scx < 0);
  const bool mirrorY = (b.y < a.y) != (scy < 0);
  if (mirrorX || mirrorY) img = img.mirrored(mirrorX, mirrorY);
  const Rect d = devRect(x, y, x + cx, y + cy);
  if (d.isEmpty()) return;
  count(4);
  applyClip();
  target_.stretchImage(d, img);
}

void Player::emfBitmap(const Rec& r, size_t offBmiField, size_t offBitsField, double x, double y,
                       double cx, double cy, int32_t sx, int32_t sy, int32_t scx, int32_t scy,
                       uint32_t rop) {
  const uint32_t offBmi = r.u32(offBmiField), cbBmi = r.u32(offBmiField + 4);
  const uint32_t offBits = r.u32(offBitsField), cbBits = r.u32(offBitsField + 4);
  if (cbBmi == 0) {
    patBlt(x, y, cx, cy, rop);
    return;
  }
  bitmap(r, x, y, cx, cy, sx, sy, scx, scy, r.sub(offBmi, cbBmi), r.sub(offBits, cbBits), rop);
}

// -- EMF --

std::vector<DPoint> Player::readPoints(const Rec& r, size_t off, uint32_t n, bool small) {
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

void Player::emfPoly(const Rec& r, bool small, bool) {
  const uint32_t n = r.u32(24);
  std::vector<DPoint> pts = readPoints(r, 28, n, small);
  switch (r.type) {
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
      polyline(pts, false);
      break;
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
      polyline(pts, true);
      break;
    case EMR_POLYGON:
    case EMR_POLYGON16:
      polygon(pts);
      break;
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
      bezier(pts, false);
      break;
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
      bezier(pts, true);
      break;
    default:
      break;
  }
}

void Player::playEmf(std::span<const uint8_t> bytes) {
  wmf_ = false;
  if (bytes.size() < 88) fail("enhanced metafile header is truncated");
  const uint32_t headerSize = le32(bytes, 4);
  if (headerSize < 88 || headerSize > bytes.size() || headerSize % 4)
    fail("enhanced metafile header has a bad size");
  Rec h{bytes.subspan(0, headerSize), EMR_HEADER, 0};
  const Rect bounds{h.i32(8), h.i32(12), h.i32(16), h.i32(20)};
  const Rect frame{h.i32(24), h.i32(28), h.i32(32), h.i32(36)};
  const uint16_t handles = h.u16(56);
  const int32_t devX = h.i32(72), devY = h.i32(76), mmX = h.i32(80), mmY = h.i32(84);
  double umX = mmX * 1000.0, umY = mmY * 1000.0;
  if (headerSize >= 108 && h.i32(100) > 0 && h.i32(104) > 0) {
    umX = h.i32(100);
    umY = h.i32(104);
  }
  if (devX > 0 && devY > 0 && umX > 0 && umY > 0) {
    pxPerMm_ = {devX * 1000.0 / umX, devY * 1000.0 / umY};
  }
  // Reference pixels to 0.01 mm, then the frame onto the destination.
  const double fw = double(frame.right) - frame.left, fh = double(frame.bottom) - frame.top;
  if (fw > 0 && fh > 0) {
    const double kx = 100.0 / pxPerMm_.x, ky = 100.0 / pxPerMm_.y;
    base_.m11 = kx * dest_.width() / fw;
    base_.m22 = ky * dest_.height() / fh;
    base_.dx = dest_.left - double(frame.left) * dest_.width() / fw;
    base_.dy = dest_.top - double(frame.top) * dest_.height() / fh;
  } else {
    const double bw = double(bounds.right) - bounds.left + 1;
    const double bh = double(bounds.bottom) - bounds.top + 1;
    if (bw > 0 && bh > 0) {
      base_.m11 = dest_.width() / bw;
      base_.m22 = dest_.height() / bh;
      base_.dx = dest_.left - bounds.left * base_.m11;
      base_.dy = dest_.top - bounds.top * base_.m22;
    } else {
      base_.dx = dest_.left;
      base_.dy = dest_.top;
    }
  }
  objects_.assign(std::max<size_t>(handles, 1), GdiObject{});

  size_t pos = 0, index = 0;
  while (pos < bytes.size() && !done_) {
    if (bytes.size() - pos < 8) fail("record " + std::to_string(index) + " is truncated");
    const uint32_t type = le32(bytes, pos), size = le32(bytes, pos + 4);
    if (size < 8 || size % 4 || size > bytes.size() - pos)
      fail("record " + std::to_string(index) + " has a bad size");
    if (++index > kMaxRecords) fail("too many records");
    Rec r{bytes.subspan(pos, size), type, index - 1};
    if (index == 1) {
      if (type != EMR_HEADER) fail("enhanced metafile does not start with its header");
    } else {
      emfRecord(r);
    }
    pos += size;
  }
}

void Player::emfRecord(const Rec& r) {
  switch (r.type) {
    case EMR_EOF:
      done_ = true;
      break;
    case EMR_HEADER:
      break;
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
      emfPoly(r, false, true);
      break;
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
      emfPoly(r, true, true);
      break;
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16: {
      const bool small = r.type == EMR_POLYPOLYLINE16 || r.type == EMR_POLYPOLYGON16;
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
      if (r.type == EMR_POLYPOLYGON || r.type == EMR_POLYPOLYGON16) {
        polyPolygon(polys);
      } else {
        polyPolyline(polys);
      }
      break;
    }
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: {
      const bool small = r.type == EMR_POLYDRAW16;
      const uint32_t n = r.u32(24);
      const std::vector<DPoint> pts = readPoints(r, 28, n, small);
      auto types = r.sub(28 + uint64_t(n) * (small ? 4 : 8), n);
      std::vector<DPoint> run;
      auto flush = [&] {
        if (!run.empty()) polyline(run, true);
        run.clear();
      };
      for (uint32_t i = 0; i < n; ++i) {
        const uint8_t t = types[i] & 0x06;
        if (t == 0x06) {  // move to
          flush();
          dc_.current = pts[i];
          if (inPath_) pathMoveTo(dev(pts[i]));
        } else if (t == 0x04 && i + 2 < n) {  // three Bezier points
          flush();
          bezier({pts[i], pts[i + 1], pts[i + 2]}, true);
          i += 2;
        } else {
          run.push_back(pts[i]);
        }
        if ((types[i] & 0x01) && inPath_ && !path_.empty()) {
          flush();
          path_.back().closed = true;
        }
      }
      flush();
      break;
    }
    case EMR_SETWINDOWEXTEX:
      if (r.i32(8) != 0 && r.i32(12) != 0 &&
          (dc_.mapMode == MM_ISOTROPIC || dc_.mapMode == MM_ANISOTROPIC)) {
        dc_.winExt = {double(r.i32(8)), double(r.i32(12))};
        dirtyXform();
      }
      break;
    case EMR_SETWINDOWORGEX:
      dc_.winOrg = {double(r.i32(8)), double(r.i32(12))};
      dirtyXform();
      break;
    case EMR_SETVIEWPORTEXTEX:
      if (r.i32(8) != 0 && r.i32(12) != 0 &&
          (dc_.mapMode == MM_ISOTROPIC || dc_.mapMode == MM_ANISOTROPIC)) {
        dc_.vpExt = {double(r.i32(8)), double(r.i32(12))};
        dirtyXform();
      }
      break;
    case EMR_SETVIEWPORTORGEX:
      dc_.vpOrg = {double(r.i32(8)), double(r.i32(12))};
      dirtyXform();
      break;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
      const int32_t xn = r.i32(8), xd = r.i32(12), yn = r.i32(16), yd = r.i32(20);
      if (xn == 0 || xd == 0 || yn == 0 || yd == 0) break;
      if (dc_.mapMode != MM_ISOTROPIC && dc_.mapMode != MM_ANISOTROPIC) break;
      DPoint& e = r.type == EMR_SCALEWINDOWEXTEX ? dc_.winExt : dc_.vpExt;
      e = {e.x * xn / xd, e.y * yn / yd};
      dirtyXform();
      break;
    }
    case EMR_SETMAPMODE: {
      const uint32_t mode = r.u32(8);
      if (mode < MM_TEXT || mode > MM_ANISOTROPIC) break;
      if (mode == MM_ISOTROPIC && dc_.mapMode != MM_ISOTROPIC) {
        // Like GDI: the extents start as those of MM_LOMETRIC.
        dc_.winExt = {1, 1};
        dc_.vpExt = {0.1 * pxPerMm_.x, -0.1 * pxPerMm_.y};
      }
      if (mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC) {
        dc_.winExt = {1, 1};
        dc_.vpExt = {1, 1};
      }
      dc_.mapMode = mode;
      dirtyXform();
      break;
    }
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
      Xform x{r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28)};
      if (!x.finite()) break;
      uint32_t mode = r.type == EMR_SETWORLDTRANSFORM ? MWT_SET : r.u32(32);
      switch (mode) {
        case MWT_IDENTITY:
          dc_.world = Xform{};
          break;
        case MWT_LEFTMULTIPLY:
          dc_.world = multiply(x, dc_.world);
          break;
        case MWT_RIGHTMULTIPLY:
          dc_.world = multiply(dc_.world, x);
          break;
        case MWT_SET:
          dc_.world = x;
          break;
        default:
          break;
      }
      dirtyXform();
      break;
    }
    case EMR_SAVEDC:
      if (saved_.size() >= kMaxSavedStates) r.bad("saves more states than a picture needs");
      saved_.push_back(dc_);
      break;
    case EMR_RESTOREDC: {
      const int32_t n = r.i32(8);
      size_t keep;
      if (n < 0) {
        if (uint64_t(-int64_t(n)) > saved_.size()) break;
        keep = saved_.size() - size_t(-int64_t(n));
      } else {
        if (n == 0 || size_t(n) > saved_.size()) break;
        keep = size_t(n) - 1;
      }
      dc_ = saved_[keep];
      saved_.resize(keep);
      clipDirty_ = true;
      dirtyXform();
      break;
    }
    case EMR_SETBKMODE:
      dc_.bkMode = r.u32(8) == TRANSPARENT ? BkMode::Transparent : BkMode::Opaque;
      break;
    case EMR_SETBKCOLOR:
      dc_.bkColor = colorOf(r.u32(8));
      break;
    case EMR_SETTEXTCOLOR:
      dc_.textColor = colorOf(r.u32(8));
      break;
    case EMR_SETROP2:
      dc_.rop2 = r.u32(8);
      break;
    case EMR_SETTEXTALIGN:
      dc_.textAlign = r.u32(8);
      break;
    case EMR_SETARCDIRECTION:
      dc_.arcDirection = r.u32(8);
      break;
    case EMR_MOVETOEX:
      dc_.current = {double(r.i32(8)), double(r.i32(12))};
      if (inPath_) pathMoveTo(dev(dc_.current));
      break;
    case EMR_LINETO:
      lineTo({double(r.i32(8)), double(r.i32(12))});
      break;
    case EMR_SETPIXELV: {
      const double x = r.i32(8), y = r.i32(12);
      const Rect d = devRect(x, y, x + 1, y + 1);
      applyClip();
      target_.setBrush(BrushSpec{colorOf(r.u32(16)), BrushStyle::Solid});
      target_.fillRect(
          {d.left, d.top, std::max(d.right, d.left + 1), std::max(d.bottom, d.top + 1)});
      break;
    }
    case EMR_RECTANGLE:
      rectangle(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
      break;
    case EMR_ELLIPSE:
      ellipse(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
      break;
    case EMR_ROUNDRECT:
      roundRect(r.i32(8), r.i32(12), r.i32(16), r.i32(20), r.i32(24), r.i32(28));
      break;
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE: {
      const ArcKind k = r.type == EMR_ARC     ? ArcKind::Arc
                        : r.type == EMR_ARCTO ? ArcKind::ArcTo
                        : r.type == EMR_CHORD ? ArcKind::Chord
                                              : ArcKind::Pie;
      arc(k, r.i32(8), r.i32(12), r.i32(16), r.i32(20), {double(r.i32(24)), double(r.i32(28))},
          {double(r.i32(32)), double(r.i32(36))});
      break;
    }
    case EMR_ANGLEARC: {
      const double cx = r.i32(8), cy = r.i32(12), rad = r.u32(16);
      const double a0 = r.f32(20), sweep = r.f32(24);
      if (!std::isfinite(a0) || !std::isfinite(sweep) || rad > kMaxCoord) break;
      const int n = int(std::clamp(std::abs(double(sweep)) / 5 + 2, 2.0, 80.0));
      std::vector<DPoint> pts;
      for (int k = 0; k <= n; ++k) {
        const double a = (a0 + sweep * k / n) * std::numbers::pi / 180;
        pts.push_back({cx + rad * std::cos(a), cy - rad * std::sin(a)});
      }
      polyline(pts, true);
      break;
    }
    case EMR_CREATEPEN: {
      GdiObject& o = objectSlot(r, r.u32(8));
      o = GdiObject{};
      o.kind = GdiObject::Kind::Pen;
      o.pen = logicalPen(r.u32(12), r.i32(16), colorOf(r.u32(24)));
      break;
    }
    case EMR_EXTCREATEPEN: {
      GdiObject& o = objectSlot(r, r.u32(8));
      o = GdiObject{};
      o.kind = GdiObject::Kind::Pen;
      o.pen.style = r.u32(28);
      o.pen.width = r.u32(32);
      o.pen.cosmetic = !(o.pen.style & PS_GEOMETRIC);
      o.pen.extended = true;
      if (r.u32(36) == BS_NULL) o.pen.style = PS_NULL;
      o.pen.color = colorOf(r.u32(40));
      break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
      GdiObject& o = objectSlot(r, r.u32(8));
      o = GdiObject{};
      o.kind = GdiObject::Kind::Brush;
      const uint32_t style = r.u32(12);
      o.brush.style = style == BS_NULL ? BrushStyle::Clear : BrushStyle::Solid;
      o.brush.color = colorOf(r.u32(16));
      break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      GdiObject& o = objectSlot(r, r.u32(8));
      o = GdiObject{};
      o.kind = GdiObject::Kind::Brush;
      QImage img;
      try {
        auto info = r.sub(r.u32(16), r.u32(20));
        auto bits = r.sub(r.u32(24), r.u32(28));
        const DibHeader dh = parseDibHeader(info);
        if (uint64_t(uint32_t(dh.width)) * uint32_t(dh.height) <= 65536)
          img = decodeDib(dh, info, bits);
      } catch (const Error&) {
        // A pattern we cannot read still fills, in a neutral grey.
      }
      o.brush.color = averageColor(img);
      break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      GdiObject& o = objectSlot(r, r.u32(8));
      o = GdiObject{};
      o.kind = GdiObject::Kind::Font;
      LogFont& f = o.font;
      f.height = r.i32(12);
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
      break;
    }
    case EMR_CREATEPALETTE:
    case EMR_CREATECOLORSPACE:
    case EMR_CREATECOLORSPACEW: {
      GdiObject& o = objectSlot(r, r.u32(8));
      o = GdiObject{};
      o.kind = GdiObject::Kind::Other;
      break;
    }
    case EMR_SELECTOBJECT:
      selectObject(r, r.u32(8));
      break;
    case EMR_DELETEOBJECT:
    case EMR_DELETECOLORSPACE:
      deleteObject(r, r.u32(8));
      break;
    case EMR_SELECTPALETTE:
      break;
    case EMR_BEGINPATH:
      inPath_ = true;
      path_.clear();
      break;
    case EMR_ENDPATH:
      inPath_ = false;
      break;
    case EMR_ABORTPATH:
      inPath_ = false;
      path_.clear();
      break;
    case EMR_CLOSEFIGURE:
      if (!path_.empty()) path_.back().closed = true;
      break;
    case EMR_FILLPATH:
      inPath_ = false;
      drawPath(true, false);
      break;
    case EMR_STROKEPATH:
      inPath_ = false;
      drawPath(false, true);
      break;
    case EMR_STROKEANDFILLPATH:
      inPath_ = false;
      drawPath(true, true);
      break;
    case EMR_FLATTENPATH:
    case EMR_WIDENPATH:
      break;
    case EMR_SELECTCLIPPATH: {
      QRegion rg;
      for (const Figure& f : path_) {
        QPolygon poly;
        for (const DPoint& p : f.pts) poly << QPoint(toDevice(p.x), toDevice(p.y));
        const QRect box = poly.boundingRect();
        // A region follows a slanted outline scan line by scan line; past a
        // modest height its box is close enough and much cheaper.
        rg += box.height() > 4096 ? QRegion(box) : QRegion(poly, Qt::OddEvenFill);
      }
      path_.clear();
      inPath_ = false;
      combineClip(rg, r.u32(8));
      break;
    }
    case EMR_INTERSECTCLIPRECT:
      intersectClip(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
      break;
    case EMR_EXCLUDECLIPRECT:
      excludeClip(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
      break;
    case EMR_OFFSETCLIPRGN:
      if (dc_.clip) {
        dc_.clip->translate(toDevice(r.i32(8) * xf().m11), toDevice(r.i32(12) * xf().m22));
        clipDirty_ = true;
      }
      break;
    case EMR_EXTSELECTCLIPRGN: {
      const uint32_t cb = r.u32(8), mode = r.u32(12);
      if (cb == 0) {
        if (mode == RGN_COPY) {
          dc_.clip.reset();
          clipDirty_ = true;
        }
        break;
      }
      QRegion rg;
      for (const Rect& x : regionRects(r, 16, cb)) {
        // Clip regions are in the reference device's pixels.
        const DPoint a = base_.apply({double(x.left), double(x.top)});
        const DPoint b = base_.apply({double(x.right), double(x.bottom)});
        rg += QRect(QPoint(toDevice(std::min(a.x, b.x)), toDevice(std::min(a.y, b.y))),
                    QPoint(toDevice(std::max(a.x, b.x)) - 1, toDevice(std::max(a.y, b.y)) - 1));
        if (rg.rectCount() > kMaxClipRects) rg = QRegion(rg.boundingRect());
      }
      combineClip(rg, mode);
      break;
    }
    case EMR_FILLRGN: {
      const uint32_t cb = r.u32(24);
      const LogBrush b = brushFor(r, r.u32(28));
      fillRects(regionRects(r, 32, cb), b);
      break;
    }
    case EMR_PAINTRGN: {
      const uint32_t cb = r.u32(24);
      fillRects(regionRects(r, 28, cb), dc_.brush);
      break;
    }
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
      emfText(r, r.type == EMR_EXTTEXTOUTW);
      break;
    case EMR_SMALLTEXTOUT:
      smallText(r);
      break;
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
      const double x = r.i32(24), y = r.i32(28), cx = r.i32(32), cy = r.i32(36);
      const uint32_t rop = r.type == EMR_BITBLT || r.type == EMR_STRETCHBLT ? r.u32(40) : SRCCOPY;
      const int32_t sx = r.i32(44), sy = r.i32(48);
      int32_t scx = int32_t(cx), scy = int32_t(cy);
      if (r.type != EMR_BITBLT) {
        scx = r.i32(100);
        scy = r.i32(104);
      }
      // With no world-to-page scaling of the source, the source rectangle is
      // in the bitmap's pixels.
      emfBitmap(r, 84, 92, x, y, cx, cy, sx, sy, scx, scy, rop);
      break;
    }
    case EMR_STRETCHDIBITS: {
      const double x = r.i32(24), y = r.i32(28);
      const int32_t sx = r.i32(32), sy = r.i32(36), scx = r.i32(40), scy = r.i32(44);
      const uint32_t rop = r.u32(68);
      const double cx = r.i32(72), cy = r.i32(76);
      emfBitmap(r, 48, 56, x, y, cx, cy, sx, sy, scx, scy, rop);
      break;
    }
    case EMR_SETDIBITSTODEVICE: {
      const double x = r.i32(24), y = r.i32(28);
      const int32_t sx = r.i32(32), sy = r.i32(36), scx = r.i32(40), scy = r.i32(44);
      emfBitmap(r, 48, 56, x, y, scx, scy, sx, sy, scx, scy, SRCCOPY);
      break;
    }
    default:
      break;  // records that draw nothing we show, or that we do not know
  }
}

// -- WMF --

void Player::playWmf(std::span<const uint8_t> bytes, bool placeable) {
  wmf_ = true;
  size_t pos = 0;
  if (placeable) {
    if (bytes.size() < wmf::kPlaceableSize) fail("placeable header is truncated");
    const int16_t l = int16_t(le16(bytes, 6)), t = int16_t(le16(bytes, 8));
    const int16_t r = int16_t(le16(bytes, 10)), b = int16_t(le16(bytes, 12));
    dc_.winOrg = {double(l), double(t)};
    dc_.winExt = {double(r) - l, double(b) - t};
    pos = wmf::kPlaceableSize;
  }
  if (bytes.size() - pos < wmf::kHeaderSize) fail("Windows metafile header is truncated");
  const uint16_t headerWords = le16(bytes, pos + 2);
  const uint16_t objects = le16(bytes, pos + 10);
  if (headerWords != 9) fail("Windows metafile header has a bad size");
  objects_.assign(std::min<size_t>(objects, kMaxWmfObjects), GdiObject{});
  pos += wmf::kHeaderSize;
  if (!placeable) {
    // Without a bounding box the picture is what its first window says.
    bool haveExt = false;
    for (size_t p = pos; bytes.size() - p >= 6;) {
      const uint32_t words = le32(bytes, p);
      const uint16_t fn = le16(bytes, p + 4);
      if (words < 3 || words > (bytes.size() - p) / 2) break;
      if (fn == wmf::META_SETWINDOWORG && words >= 5)
        dc_.winOrg = {double(int16_t(le16(bytes, p + 8))), double(int16_t(le16(bytes, p + 6)))};
      if (fn == wmf::META_SETWINDOWEXT && words >= 5 && !haveExt) {
        dc_.winExt = {double(int16_t(le16(bytes, p + 8))), double(int16_t(le16(bytes, p + 6)))};
        haveExt = true;
      }
      if (fn == wmf::META_EOF || haveExt) break;
      p += size_t(words) * 2;
    }
    if (!haveExt) dc_.winExt = {double(dest_.width()), double(dest_.height())};
  }
  dirtyXform();

  size_t index = 0;
  while (pos < bytes.size() && !done_) {
    if (bytes.size() - pos < 6) break;  // trailing padding some writers leave
    const uint32_t words = le32(bytes, pos);
    if (words < 3 || words > (bytes.size() - pos) / 2)
      fail("record " + std::to_string(index) + " has a bad size");
    if (++index > kMaxRecords) fail("too many records");
    Rec r{bytes.subspan(pos, size_t(words) * 2), le16(bytes, pos + 4), index - 1};
    wmfRecord(r);
    pos += size_t(words) * 2;
  }
}

void Player::wmfRecord(const Rec& r) {
  using namespace wmf;
  // Parameters are 16-bit words after the 6-byte record prefix.
  auto p = [&](size_t i) { return double(r.i16(6 + i * 2)); };
  auto pu = [&](size_t i) { return r.u16(6 + i * 2); };
  auto pColor = [&](size_t i) { return colorOf(r.u32(6 + i * 2)); };
  switch (r.type) {
    case META_EOF:
      done_ = true;
      break;
    case META_SAVEDC:
      if (saved_.size() >= kMaxSavedStates) r.bad("saves more states than a picture needs");
      saved_.push_back(dc_);
      break;
    case META_RESTOREDC: {
      const int32_t n = r.i16(6);
      size_t keep;
      if (n < 0) {
        if (size_t(-n) > saved_.size()) break;
        keep = saved_.size() - size_t(-n);
      } else {
        if (n == 0 || size_t(n) > saved_.size()) break;
        keep = size_t(n) - 1;
      }
      dc_ = saved_[keep];
      saved_.resize(keep);
      clipDirty_ = true;
      dirtyXform();
      break;
    }
    case META_SETWINDOWORG:
      dc_.winOrg = {p(1), p(0)};
      dirtyXform();
      break;
    case META_SETWINDOWEXT:
      if (p(0) != 0 && p(1) != 0) {
        dc_.winExt = {p(1), p(0)};
        dirtyXform();
      }
      break;
    case META_OFFSETWINDOWORG:
      dc_.winOrg = {dc_.winOrg.x + p(1), dc_.winOrg.y + p(0)};
      dirtyXform();
      break;
    case META_SCALEWINDOWEXT: {
      const double yd = p(0), yn = p(1), xd = p(2), xn = p(3);
      if (yd == 0 || yn == 0 || xd == 0 || xn == 0) break;
      dc_.winExt = {dc_.winExt.x * xn / xd, dc_.winExt.y * yn / yd};
      dirtyXform();
      break;
    }
    case META_SETMAPMODE:
    case META_SETVIEWPORTORG:
    case META_SETVIEWPORTEXT:
    case META_OFFSETVIEWPORTORG:
    case META_SCALEVIEWPORTEXT:
      // The player owns the viewport: it is the destination rectangle.
      break;
    case META_SETBKMODE:
      dc_.bkMode = pu(0) == TRANSPARENT ? BkMode::Transparent : BkMode::Opaque;
      break;
    case META_SETBKCOLOR:
      dc_.bkColor = pColor(0);
      break;
    case META_SETTEXTCOLOR:
      dc_.textColor = pColor(0);
      break;
    case META_SETROP2:
      dc_.rop2 = pu(0);
      break;
    case META_SETTEXTALIGN:
      dc_.textAlign = pu(0);
      break;
    case META_SETTEXTCHAREXTRA:
      dc_.charExtra = r.i16(6);
      break;
    case META_MOVETO:
      dc_.current = {p(1), p(0)};
      break;
    case META_LINETO:
      lineTo({p(1), p(0)});
      break;
    case META_POLYLINE:
    case META_POLYGON: {
      const uint16_t n = pu(0);
      r.need(8, uint64_t(n) * 4);
      std::vector<DPoint> pts(n);
      for (uint16_t i = 0; i < n; ++i) pts[i] = {p(1 + i * 2), p(2 + i * 2)};
      if (r.type == META_POLYLINE) {
        polyline(pts, false);
      } else {
        polygon(pts);
      }
      break;
    }
    case META_POLYPOLYGON: {
      const uint16_t nPolys = pu(0);
      r.need(8, uint64_t(nPolys) * 2);
      std::vector<std::vector<DPoint>> polys;
      size_t at = 1 + nPolys;
      for (uint16_t k = 0; k < nPolys; ++k) {
        const uint16_t n = pu(1 + k);
        r.need(6 + at * 2, uint64_t(n) * 4);
        std::vector<DPoint> pts(n);
        for (uint16_t i = 0; i < n; ++i) pts[i] = {p(at + i * 2), p(at + i * 2 + 1)};
        at += size_t(n) * 2;
        polys.push_back(std::move(pts));
      }
      polyPolygon(polys);
      break;
    }
    case META_RECTANGLE:
      rectangle(p(3), p(2), p(1), p(0));
      break;
    case META_ELLIPSE:
      ellipse(p(3), p(2), p(1), p(0));
      break;
    case META_ROUNDRECT:
      roundRect(p(5), p(4), p(3), p(2), p(1), p(0));
      break;
    case META_ARC:
    case META_PIE:
    case META_CHORD: {
      const ArcKind k = r.type == META_ARC   ? ArcKind::Arc
                        : r.type == META_PIE ? ArcKind::Pie
                                             : ArcKind::Chord;
      arc(k, p(7), p(6), p(5), p(4), {p(3), p(2)}, {p(1), p(0)});
      break;
    }
    case META_SETPIXEL: {
      const Color c = pColor(0);
      const Rect d = devRect(p(3), p(2), p(3) + 1, p(2) + 1);
      applyClip();
      target_.setBrush(BrushSpec{c, BrushStyle::Solid});
      target_.fillRect(
          {d.left, d.top, std::max(d.right, d.left + 1), std::max(d.bottom, d.top + 1)});
      break;
    }
    case META_PATBLT: {
      const uint32_t rop = r.u32(6);
      patBlt(p(5), p(4), p(3), p(2), rop);
      break;
    }
    case META_INTERSECTCLIPRECT:
      intersectClip(p(3), p(2), p(1), p(0));
      break;
    case META_EXCLUDECLIPRECT:
      excludeClip(p(3), p(2), p(1), p(0));
      break;
    case META_OFFSETCLIPRGN:
      if (dc_.clip) {
        dc_.clip->translate(toDevice(p(1) * xf().m11), toDevice(p(0) * xf().m22));
        clipDirty_ = true;
      }
      break;
    case META_SELECTCLIPREGION:
    case META_SELECTOBJECT:
      selectObject(r, pu(0));
      break;
    case META_DELETEOBJECT:
      deleteObject(r, pu(0));
      break;
    case META_CREATEPENINDIRECT: {
      GdiObject& o = objects_[wmfFreeSlot(r)];
      o = GdiObject{};
      o.kind = GdiObject::Kind::Pen;
      o.pen = logicalPen(pu(0), p(1), pColor(3));
      break;
    }
    case META_CREATEBRUSHINDIRECT: {
      const uint16_t style = pu(0);
      const Color c = pColor(1);
      GdiObject& o = objects_[wmfFreeSlot(r)];
      o = GdiObject{};
      o.kind = GdiObject::Kind::Brush;
      o.brush.style = style == BS_NULL ? BrushStyle::Clear : BrushStyle::Solid;
      o.brush.color = c;
      break;
    }
    case META_DIBCREATEPATTERNBRUSH:
    case META_CREATEPATTERNBRUSH: {
      QImage img;
      if (r.type == META_DIBCREATEPATTERNBRUSH) {
        try {
          auto packed = r.sub(10, r.d.size() - std::min<size_t>(10, r.d.size()));
          const DibHeader dh = parseDibHeader(packed);
          if (uint64_t(uint32_t(dh.width)) * uint32_t(dh.height) <= 65536)
            img = decodeDib(dh, packed, packed.subspan(std::min(dh.bitsOffset, packed.size())));
        } catch (const Error&) {
          // Unreadable patterns fill in grey.
        }
      }
      GdiObject& o = objects_[wmfFreeSlot(r)];
      o = GdiObject{};
      o.kind = GdiObject::Kind::Brush;
      o.brush.color = averageColor(img);
      break;
    }
    case META_CREATEFONTINDIRECT: {
      LogFont f;
      f.height = r.i16(6);
      f.escapement = r.i16(10);
      f.orientation = r.i16(12);
      f.weight = r.i16(14);
      f.italic = r.u8(16);
      f.underline = r.u8(17);
      f.strikeOut = r.u8(18);
      f.charset = r.u8(19);
      f.face.clear();
      for (size_t i = 24; i < r.d.size() && i < 24 + 32 && r.d[i] != 0; ++i)
        f.face.push_back(char(r.d[i]));
      GdiObject& o = objects_[wmfFreeSlot(r)];
      o = GdiObject{};
      o.kind = GdiObject::Kind::Font;
      o.font = f;
      break;
    }
    case META_CREATEREGION: {
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
      GdiObject& o = objects_[wmfFreeSlot(r)];
      o = GdiObject{};
      o.kind = GdiObject::Kind::Region;
      o.region = std::move(rects);
      break;
    }
    case META_CREATEPALETTE: {
      GdiObject& o = objects_[wmfFreeSlot(r)];
      o = GdiObject{};
      o.kind = GdiObject::Kind::Other;
      break;
    }
    case META_FILLREGION:
    case META_PAINTREGION: {
      const GdiObject& rg = objectSlot(r, pu(0));
      LogBrush b = dc_.brush;
      if (r.type == META_FILLREGION) b = brushFor(r, pu(1));
      if (rg.kind == GdiObject::Kind::Region) fillRects(rg.region, b);
      break;
    }
    case META_TEXTOUT: {
      const uint16_t n = pu(0);
      auto chars = r.sub(8, n);
      const size_t after = 8 + ((size_t(n) + 1) & ~size_t(1));
      const double y = r.i16(after), x = r.i16(after + 2);
      text({x, y}, std::string(chars.begin(), chars.end()), nullptr, dc_.font.charset, {}, 0,
           std::nullopt, dc_.textAlign & TA_UPDATECP);
      break;
    }
    case META_EXTTEXTOUT: {
      const double y = p(0), x = p(1);
      const uint16_t n = pu(2), options = pu(3);
      size_t off = 14;
      std::optional<Rect> rect;
      if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
        rect = Rect{r.i16(off), r.i16(off + 2), r.i16(off + 4), r.i16(off + 6)};
        off += 8;
      }
      auto chars = r.sub(off, n);
      off += (size_t(n) + 1) & ~size_t(1);
      std::vector<int32_t> dx;
      if (n > 0 && r.d.size() >= off && (r.d.size() - off) >= size_t(n) * 2) {
        dx.resize(n);
        for (uint16_t i = 0; i < n; ++i) dx[i] = r.i16(off + i * 2);
      }
      text({x, y}, std::string(chars.begin(), chars.end()), nullptr, dc_.font.charset, dx, options,
           rect, dc_.textAlign & TA_UPDATECP);
      break;
    }
    case META_STRETCHDIB: {
      // rop, usage, source height, width, y, x, destination height, width, y, x, DIB.
      const uint32_t rop = r.u32(6);
      const int32_t sh = r.i16(12), sw = r.i16(14), sy = r.i16(16), sx = r.i16(18);
      const double dh = p(7), dw = p(8), dy = p(9), dx = p(10);
      auto packed = r.sub(28, r.d.size() - std::min<size_t>(28, r.d.size()));
      DibHeader h;
      try {
        h = parseDibHeader(packed);
      } catch (const Error& e) {
        r.bad(e.what());
      }
      bitmap(r, dx, dy, dw, dh, sx, sy, sw, sh,
             packed.subspan(0, std::min(h.bitsOffset, packed.size())),
             packed.subspan(std::min(h.bitsOffset, packed.size())), rop);
      break;
    }
    case META_DIBSTRETCHBLT:
    case META_DIBBITBLT: {
      // rop, [source height, width], source y, x, destination height, width, y, x, DIB.
      const bool stretch = r.type == META_DIBSTRETCHBLT;
      const uint32_t rop = r.u32(6);
      const size_t np = stretch ? 10 : 8;  // parameter words before the DIB
      const size_t withBitmap = 6 + np * 2;
      // Without a bitmap the record is a pattern fill with one reserved word.
      if (r.d.size() <= withBitmap + 2) {
        const size_t h = stretch ? 7 : 5;  // the destination height, after the reserved word
        patBlt(p(h + 3), p(h + 2), p(h + 1), p(h), rop);
        break;
      }
      int32_t sh = 0, sw = 0, sy, sx;
      size_t i = 2;
      if (stretch) {
        sh = r.i16(6 + i * 2), sw = r.i16(8 + i * 2);
        i += 2;
      }
      sy = r.i16(6 + i * 2), sx = r.i16(8 + i * 2);
      i += 2;
      const double dh = p(i), dw = p(i + 1), dy = p(i + 2), dx = p(i + 3);
      if (!stretch) sh = int32_t(dh), sw = int32_t(dw);
      auto packed = r.sub(withBitmap, r.d.size() - withBitmap);
      DibHeader h;
      try {
        h = parseDibHeader(packed);
      } catch (const Error& e) {
        r.bad(e.what());
      }
      bitmap(r, dx, dy, dw, dh, sx, sy, sw, sh,
             packed.subspan(0, std::min(h.bitsOffset, packed.size())),
             packed.subspan(std::min(h.bitsOffset, packed.size())), rop);
      break;
    }
    case META_SETDIBTODEV: {
      // usage, scan count, start scan, source y, x, height, width, destination y, x, DIB.
      const int32_t sy = r.i16(12), sx = r.i16(14);
      const int32_t h16 = r.i16(16), w16 = r.i16(18);
      const double dy = p(7), dx = p(8);
      auto packed = r.sub(24, r.d.size() - std::min<size_t>(24, r.d.size()));
      DibHeader h;
      try {
        h = parseDibHeader(packed);
      } catch (const Error& e) {
        r.bad(e.what());
      }
      bitmap(r, dx, dy, w16, h16, sx, sy, w16, h16,
             packed.subspan(0, std::min(h.bitsOffset, packed.size())),
             packed.subspan(std::min(h.bitsOffset, packed.size())), SRCCOPY);
      break;
    }
    default:
      break;
  }
}

// Restores the canvas whatever happens during playback.
class SavedCanvas {
 public:
  explicit SavedCanvas(Canvas& c) : c_(c) { c_.save(); }
  ~SavedCanvas() { c_.restore(); }
  SavedCanvas(const SavedCanvas&) = delete;
  SavedCanvas& operator=(const SavedCanvas&) = delete;

 private:
  Canvas& c_;
};

}  // namespace

MetafileKind metafileKind(std::span<const uint8_t> b) {
  if (b.size() >= 44 && le32(b, 0) == EMR_HEADER && le32(b, 40) == kSignature)
    return MetafileKind::Emf;
  if (b.size() >= 4 && le32(b, 0) == wmf::kPlaceableKey) return MetafileKind::PlaceableWmf;
  if (b.size() >= wmf::kHeaderSize) {
    const uint16_t type = le16(b, 0), words = le16(b, 2), version = le16(b, 4);
    if ((type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300))
      return MetafileKind::Wmf;
  }
  return MetafileKind::Unknown;
}

void playMetafile(std::span<const uint8_t> bytes, Canvas& target, const Rect& dest) {
  const MetafileKind kind = metafileKind(bytes);
  if (kind == MetafileKind::Unknown) fail("neither an enhanced nor a Windows metafile");
  SavedCanvas guard(target);
  // The second level is the one the player narrows its clip in.
  SavedCanvas clipLevel(target);
  Player player(target, dest);
  if (kind == MetafileKind::Emf) {
    player.playEmf(bytes);
  } else {
    player.playWmf(bytes, kind == MetafileKind::PlaceableWmf);
  }
}

void stretchDrawMetafile(std::span<const uint8_t> bytes, Canvas& target, const Rect& rect) {
  Rect inner = rect;
  if (int64_t(inner.right) - inner.left > 1) --inner.right;
  if (int64_t(inner.bottom) - inner.top > 1) --inner.bottom;
  playMetafile(bytes, target, inner);
}

Size metafileSize(std::span<const uint8_t> b) {
  switch (metafileKind(b)) {
    case MetafileKind::Emf: {
      if (b.size() < 40) fail("enhanced metafile header is truncated");
      const double l = int32_t(le32(b, 24)), t = int32_t(le32(b, 28));
      const double r = int32_t(le32(b, 32)), bt = int32_t(le32(b, 36));
      if (r > l && bt > t) return {roundEven((r - l) * 96 / 2540), roundEven((bt - t) * 96 / 2540)};
      // No frame: the bounds, in the reference device's pixels.
      const double bl = int32_t(le32(b, 8)), btp = int32_t(le32(b, 12));
      const double br = int32_t(le32(b, 16)), bb = int32_t(le32(b, 20));
      return {roundEven(std::max(0.0, br - bl + 1)), roundEven(std::max(0.0, bb - btp + 1))};
    }
    case MetafileKind::PlaceableWmf: {
      if (b.size() < wmf::kPlaceableSize) fail("placeable header is truncated");
      const double l = int16_t(le16(b, 6)), t = int16_t(le16(b, 8));
      const double r = int16_t(le16(b, 10)), bt = int16_t(le16(b, 12));
      const uint16_t inch = le16(b, 14);
      if (inch == 0) fail("placeable header has no units per inch");
      return {roundEven(std::abs(r - l) * 96 / inch), roundEven(std::abs(bt - t) * 96 / inch)};
    }
    case MetafileKind::Wmf: {
      for (size_t p = wmf::kHeaderSize; b.size() - p >= 6;) {
        const uint32_t words = le32(b, p);
        const uint16_t fn = le16(b, p + 4);
        if (words < 3 || words > (b.size() - p) / 2 || fn == wmf::META_EOF) break;
        if (fn == wmf::META_SETWINDOWEXT && words >= 5)
          return {std::abs(int16_t(le16(b, p + 8))), std::abs(int16_t(le16(b, p + 6)))};
        p += size_t(words) * 2;
      }
      return {};
    }
    case MetafileKind::Unknown:
      break;
  }
  fail("neither an enhanced nor a Windows metafile");
}

// ---- text records ----

void forEachTextRun(std::span<const uint8_t> emf,
                    const std::function<bool(const EmfTextRun&)>& visit, uint8_t charsetHint) {
  if (metafileKind(emf) != MetafileKind::Emf) fail("not an enhanced metafile");
  if (emf.size() < 88) fail("enhanced metafile header is truncated");
  const uint8_t fallback = charsetHint == 1 ? 0 : charsetHint;
  struct Font {
    bool present = false;
    uint8_t charset = 1;
    std::string face;
  };
  const uint32_t handles = le16(emf, 56);
  std::vector<Font> fonts(std::max<uint32_t>(handles, 1));
  Font current;  // the stock font: default character set
  std::vector<Font> saved;
  size_t pos = 0, index = 0;
  while (pos < emf.size()) {
    if (emf.size() - pos < 8) fail("record " + std::to_string(index) + " is truncated");
    const uint32_t type = le32(emf, pos), size = le32(emf, pos + 4);
    if (size < 8 || size % 4 || size > emf.size() - pos)
      fail("record " + std::to_string(index) + " has a bad size");
    if (index >= kMaxRecords) fail("too many records");
    const Rec r{emf.subspan(pos, size), type, index};
    switch (type) {
      case EMR_EXTCREATEFONTINDIRECTW: {
        const uint32_t ih = r.u32(8);
        if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
        Font f;
        f.present = true;
        f.charset = r.u8(35);
        QString face;
        for (size_t i = 0; i < 32; ++i) {
          const char16_t c = r.u16(40 + i * 2);
          if (c == 0) break;
          face += QChar(c);
        }
        f.face = encodeText(face, 1252);
        fonts[ih] = f;
        break;
      }
      case EMR_SELECTOBJECT: {
        const uint32_t ih = r.u32(8);
        if (ih & kStockObject) {
          const uint32_t n = ih & ~kStockObject;
          if (n >= OEM_FIXED_FONT && n <= DEFAULT_GUI_FONT && n != DEFAULT_PALETTE)
            current = Font{};
        } else {
          if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
          if (fonts[ih].present) current = fonts[ih];
        }
        break;
      }
      case EMR_DELETEOBJECT: {
        const uint32_t ih = r.u32(8);
        if (!(ih & kStockObject)) {
          if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
          fonts[ih] = Font{};
        }
        break;
      }
      case EMR_CREATEPEN:
      case EMR_CREATEBRUSHINDIRECT:
      case EMR_EXTCREATEPEN:
      case EMR_CREATEPALETTE:
      case EMR_CREATEMONOBRUSH:
      case EMR_CREATEDIBPATTERNBRUSHPT: {
        const uint32_t ih = r.u32(8);
        if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
        fonts[ih] = Font{};
        break;
      }
      case EMR_SAVEDC:
        if (saved.size() >= kMaxSavedStates) r.bad("saves more states than a picture needs");
        saved.push_back(current);
        break;
      case EMR_RESTOREDC: {
        const int32_t n = r.i32(8);
        size_t keep = saved.size();
        if (n < 0 && uint64_t(-int64_t(n)) <= saved.size())
          keep = saved.size() - size_t(-int64_t(n));
        if (n > 0 && size_t(n) <= saved.size()) keep = size_t(n) - 1;
        if (keep < saved.size()) {
          current = saved[keep];
          saved.resize(keep);
        }
        break;
      }
      case EMR_EXTTEXTOUTA:
      case EMR_EXTTEXTOUTW: {
        EmfTextRun run;
        run.recordIndex = index;
        run.recordType = type;
        run.bounds = {r.i32(8), r.i32(12), r.i32(16), r.i32(20)};
        run.reference = {r.i32(36), r.i32(40)};
        const uint32_t n = r.u32(44), off = r.u32(48);
        const bool wide = type == EMR_EXTTEXTOUTW;
        auto chars = r.sub(off, uint64_t(n) * (wide ? 2 : 1));
        run.charset = current.charset == 1 ? fallback : current.charset;
        if (wide) {
          QString u(qsizetype(n), Qt::Uninitialized);
          for (uint32_t i = 0; i < n; ++i) u[qsizetype(i)] = QChar(char16_t(le16(chars, i * 2)));
          run.text = encodeText(u, codePageForFont(current.face, run.charset));
        } else {
          run.text.assign(chars.begin(), chars.end());
        }
        if (!visit(run)) return;
        break;
      }
      default:
        break;
    }
    pos += size;
    ++index;
    if (type == EMR_EOF) break;
  }
}

std::vector<EmfTextRun> enumerateTextRuns(std::span<const uint8_t> emf, uint8_t charsetHint) {
  std::vector<EmfTextRun> runs;
  forEachTextRun(
      emf,
      [&](const EmfTextRun& r) {
        runs.push_back(r);
        return true;
      },
      charsetHint);
  return runs;
}

}  // namespace orv
