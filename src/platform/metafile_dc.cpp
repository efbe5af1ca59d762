// The device-context state of the player: the mapping, the object table,
// the clip region and how pens, brushes and fonts reach the canvas.
#include <QImage>

#include "platform/metafile_player.h"

namespace orv::metafile {

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

// -- transform --

const Xform& Player::computeXform() {
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

// -- what both formats do alike --

void Player::saveDc(const Rec& r) {
  if (saved_.size() >= kMaxSavedStates) r.bad("saves more states than a picture needs");
  saved_.push_back(dc_);
}

// Back to a saved state: a positive number counts from the first one saved,
// a negative one back from the last; others are ignored.
void Player::restoreDc(int32_t n) {
  size_t keep;
  if (n < 0) {
    if (uint64_t(-int64_t(n)) > saved_.size()) return;
    keep = saved_.size() - size_t(-int64_t(n));
  } else {
    if (n == 0 || size_t(n) > saved_.size()) return;
    keep = size_t(n) - 1;
  }
  dc_ = saved_[keep];
  saved_.resize(keep);
  clipDirty_ = true;
  dirtyXform();
}

void Player::setPixel(double x, double y, Color color) {
  const Rect d = devRect(x, y, x + 1, y + 1);
  applyClip();
  target_.setBrush(BrushSpec{color, BrushStyle::Solid});
  target_.fillRect({d.left, d.top, std::max(d.right, d.left + 1), std::max(d.bottom, d.top + 1)});
}

void Player::offsetClip(double x, double y) {
  if (!dc_.clip) return;
  dc_.clip->translate(toDevice(x * xf().m11), toDevice(y * xf().m22));
  clipDirty_ = true;
}

}  // namespace orv::metafile
