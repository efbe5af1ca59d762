// Enhanced metafile records.
#include <QImage>
#include <QPolygon>
#include <array>
#include <numbers>

#include "platform/bmp.h"
#include "platform/metafile_player.h"

namespace orv::metafile {

void Player::playEmf(std::span<const uint8_t> bytes) {
  wmf_ = false;
  const EmfHeader h = decodeEmfHeader(bytes);
  const Rect& bounds = h.bounds;
  const Rect& frame = h.frame;
  const int32_t devX = h.devicePixels.cx, devY = h.devicePixels.cy;
  double umX = h.deviceMillimetres.cx * 1000.0, umY = h.deviceMillimetres.cy * 1000.0;
  if (h.deviceMicrometres.cx > 0 && h.deviceMicrometres.cy > 0) {
    umX = h.deviceMicrometres.cx;
    umY = h.deviceMicrometres.cy;
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
  objects_.assign(std::max<size_t>(h.handles, 1), GdiObject{});

  size_t pos = 0, index = 0;
  while (pos < bytes.size() && !done_) {
    const Rec r = nextEmfRecord(bytes, pos, index);
    if (++index > kMaxRecords) fail("too many records");
    if (index == 1) {
      if (r.type != EMR_HEADER) fail("enhanced metafile does not start with its header");
    } else {
      emfRecord(r);
    }
    pos += r.d.size();
  }
}

namespace {

// The handler of each record kind the player acts on; the others draw
// nothing we show, or are unknown, and are skipped.
constexpr size_t kEmfKinds = EMR_CREATECOLORSPACEW + 1;

}  // namespace

void Player::emfRecord(const Rec& r) {
  static constexpr std::array<Handler, kEmfKinds> kHandlers = [] {
    std::array<Handler, kEmfKinds> t{};
    auto on = [&](std::initializer_list<uint32_t> types, Handler h) {
      for (uint32_t type : types) t[type] = h;
    };
    on({EMR_EOF}, &Player::emfEof);
    on({EMR_POLYBEZIER, EMR_POLYGON, EMR_POLYLINE, EMR_POLYBEZIERTO, EMR_POLYLINETO,
        EMR_POLYBEZIER16, EMR_POLYGON16, EMR_POLYLINE16, EMR_POLYBEZIERTO16, EMR_POLYLINETO16},
       &Player::emfPoly);
    on({EMR_POLYPOLYLINE, EMR_POLYPOLYGON, EMR_POLYPOLYLINE16, EMR_POLYPOLYGON16},
       &Player::emfPolyPoly);
    on({EMR_POLYDRAW, EMR_POLYDRAW16}, &Player::emfPolyDraw);
    on({EMR_SETWINDOWEXTEX, EMR_SETWINDOWORGEX, EMR_SETVIEWPORTEXTEX, EMR_SETVIEWPORTORGEX},
       &Player::emfMapping);
    on({EMR_SCALEVIEWPORTEXTEX, EMR_SCALEWINDOWEXTEX}, &Player::emfScaleExtent);
    on({EMR_SETMAPMODE}, &Player::emfMapMode);
    on({EMR_SETWORLDTRANSFORM, EMR_MODIFYWORLDTRANSFORM}, &Player::emfWorldTransform);
    on({EMR_SAVEDC}, &Player::emfSaveDc);
    on({EMR_RESTOREDC}, &Player::emfRestoreDc);
    on({EMR_SETBKMODE, EMR_SETBKCOLOR, EMR_SETTEXTCOLOR, EMR_SETROP2, EMR_SETTEXTALIGN,
        EMR_SETARCDIRECTION},
       &Player::emfSetState);
    on({EMR_MOVETOEX}, &Player::emfMoveTo);
    on({EMR_LINETO}, &Player::emfLineTo);
    on({EMR_SETPIXELV}, &Player::emfSetPixel);
    on({EMR_RECTANGLE, EMR_ELLIPSE, EMR_ROUNDRECT}, &Player::emfShape);
    on({EMR_ARC, EMR_ARCTO, EMR_CHORD, EMR_PIE}, &Player::emfArc);
    on({EMR_ANGLEARC}, &Player::emfAngleArc);
    on({EMR_CREATEPEN}, &Player::emfCreatePen);
    on({EMR_EXTCREATEPEN}, &Player::emfExtCreatePen);
    on({EMR_CREATEBRUSHINDIRECT}, &Player::emfCreateBrush);
    on({EMR_CREATEMONOBRUSH, EMR_CREATEDIBPATTERNBRUSHPT}, &Player::emfCreatePatternBrush);
    on({EMR_EXTCREATEFONTINDIRECTW}, &Player::emfCreateFont);
    on({EMR_CREATEPALETTE, EMR_CREATECOLORSPACE, EMR_CREATECOLORSPACEW}, &Player::emfCreateOther);
    on({EMR_SELECTOBJECT}, &Player::emfSelectObject);
    on({EMR_DELETEOBJECT, EMR_DELETECOLORSPACE}, &Player::emfDeleteObject);
    on({EMR_BEGINPATH, EMR_ENDPATH, EMR_ABORTPATH, EMR_CLOSEFIGURE, EMR_FILLPATH, EMR_STROKEPATH,
        EMR_STROKEANDFILLPATH},
       &Player::emfPath);
    on({EMR_SELECTCLIPPATH}, &Player::emfSelectClipPath);
    on({EMR_INTERSECTCLIPRECT, EMR_EXCLUDECLIPRECT}, &Player::emfClipRect);
    on({EMR_OFFSETCLIPRGN}, &Player::emfOffsetClip);
    on({EMR_EXTSELECTCLIPRGN}, &Player::emfExtSelectClipRegion);
    on({EMR_FILLRGN, EMR_PAINTRGN}, &Player::emfFillRegion);
    on({EMR_EXTTEXTOUTA, EMR_EXTTEXTOUTW}, &Player::emfText);
    on({EMR_SMALLTEXTOUT}, &Player::emfSmallText);
    on({EMR_BITBLT, EMR_STRETCHBLT, EMR_ALPHABLEND, EMR_TRANSPARENTBLT}, &Player::emfBlt);
    on({EMR_STRETCHDIBITS, EMR_SETDIBITSTODEVICE}, &Player::emfDibBits);
    return t;
  }();
  if (r.type >= kEmfKinds) return;
  if (const Handler h = kHandlers[r.type]) (this->*h)(r);
}

void Player::emfEof(const Rec&) {
  done_ = true;
}

// -- lines and polygons --

void Player::emfPoly(const Rec& r) {
  const bool small = r.type >= EMR_POLYBEZIER16;
  const std::vector<DPoint> pts = emfPolyPoints(r, small);
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
    default:  // EMR_POLYBEZIERTO, EMR_POLYBEZIERTO16
      bezier(pts, true);
      break;
  }
}

void Player::emfPolyPoly(const Rec& r) {
  const bool small = r.type == EMR_POLYPOLYLINE16 || r.type == EMR_POLYPOLYGON16;
  const std::vector<std::vector<DPoint>> polys = emfPolyPolyPoints(r, small);
  if (r.type == EMR_POLYPOLYGON || r.type == EMR_POLYPOLYGON16) {
    polyPolygon(polys);
  } else {
    polyPolyline(polys);
  }
}

void Player::emfPolyDraw(const Rec& r) {
  const EmfPolyDraw d = metafile::emfPolyDraw(r, r.type == EMR_POLYDRAW16);
  const std::vector<DPoint>& pts = d.points;
  const size_t n = pts.size();
  std::vector<DPoint> run;
  auto flush = [&] {
    if (!run.empty()) polyline(run, true);
    run.clear();
  };
  for (size_t i = 0; i < n; ++i) {
    const uint8_t t = d.types[i] & 0x06;
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
    if ((d.types[i] & 0x01) && inPath_ && !path_.empty()) {
      flush();
      path_.back().closed = true;
    }
  }
  flush();
}

// -- mapping --

void Player::emfMapping(const Rec& r) {
  const Point p = emfPoint(r);
  const DPoint v{double(p.x), double(p.y)};
  const bool scalable = dc_.mapMode == MM_ISOTROPIC || dc_.mapMode == MM_ANISOTROPIC;
  switch (r.type) {
    case EMR_SETWINDOWEXTEX:
      if (p.x == 0 || p.y == 0 || !scalable) return;
      dc_.winExt = v;
      break;
    case EMR_SETVIEWPORTEXTEX:
      if (p.x == 0 || p.y == 0 || !scalable) return;
      dc_.vpExt = v;
      break;
    case EMR_SETWINDOWORGEX:
      dc_.winOrg = v;
      break;
    default:  // EMR_SETVIEWPORTORGEX
      dc_.vpOrg = v;
      break;
  }
  dirtyXform();
}

void Player::emfScaleExtent(const Rec& r) {
  const EmfScale s = emfScale(r);
  if (s.xNum == 0 || s.xDenom == 0 || s.yNum == 0 || s.yDenom == 0) return;
  if (dc_.mapMode != MM_ISOTROPIC && dc_.mapMode != MM_ANISOTROPIC) return;
  DPoint& e = r.type == EMR_SCALEWINDOWEXTEX ? dc_.winExt : dc_.vpExt;
  e = {e.x * s.xNum / s.xDenom, e.y * s.yNum / s.yDenom};
  dirtyXform();
}

void Player::emfMapMode(const Rec& r) {
  const uint32_t mode = emfValue(r);
  if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
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
}

void Player::emfWorldTransform(const Rec& r) {
  const EmfXformRecord w = emfXform(r);
  const Xform x{w.m11, w.m12, w.m21, w.m22, w.dx, w.dy};
  if (!x.finite()) return;
  switch (w.mode) {
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
}

// -- state --

void Player::emfSaveDc(const Rec& r) {
  saveDc(r);
}

void Player::emfRestoreDc(const Rec& r) {
  restoreDc(int32_t(emfValue(r)));
}

void Player::emfSetState(const Rec& r) {
  const uint32_t v = emfValue(r);
  switch (r.type) {
    case EMR_SETBKMODE:
      dc_.bkMode = v == TRANSPARENT ? BkMode::Transparent : BkMode::Opaque;
      break;
    case EMR_SETBKCOLOR:
      dc_.bkColor = colorOf(v);
      break;
    case EMR_SETTEXTCOLOR:
      dc_.textColor = colorOf(v);
      break;
    case EMR_SETROP2:
      dc_.rop2 = v;
      break;
    case EMR_SETTEXTALIGN:
      dc_.textAlign = v;
      break;
    default:  // EMR_SETARCDIRECTION
      dc_.arcDirection = v;
      break;
  }
}

// -- shapes --

void Player::emfMoveTo(const Rec& r) {
  const Point p = emfPoint(r);
  dc_.current = {double(p.x), double(p.y)};
  if (inPath_) pathMoveTo(dev(dc_.current));
}

void Player::emfLineTo(const Rec& r) {
  const Point p = emfPoint(r);
  lineTo({double(p.x), double(p.y)});
}

void Player::emfSetPixel(const Rec& r) {
  const EmfSetPixel p = metafile::emfSetPixel(r);
  setPixel(p.at.x, p.at.y, colorOf(p.color));
}

void Player::emfShape(const Rec& r) {
  if (r.type == EMR_ROUNDRECT) {
    const RoundRectRecord s = emfRoundRect(r);
    roundRect(s.box.left, s.box.top, s.box.right, s.box.bottom, s.corner.cx, s.corner.cy);
    return;
  }
  const Rect b = emfBox(r);
  if (r.type == EMR_RECTANGLE) {
    rectangle(b.left, b.top, b.right, b.bottom);
  } else {
    ellipse(b.left, b.top, b.right, b.bottom);
  }
}

void Player::emfArc(const Rec& r) {
  const ArcKind k = r.type == EMR_ARC     ? ArcKind::Arc
                    : r.type == EMR_ARCTO ? ArcKind::ArcTo
                    : r.type == EMR_CHORD ? ArcKind::Chord
                                          : ArcKind::Pie;
  const ArcRecord a = metafile::emfArc(r);
  arc(k, a.box.left, a.box.top, a.box.right, a.box.bottom, {double(a.start.x), double(a.start.y)},
      {double(a.end.x), double(a.end.y)});
}

void Player::emfAngleArc(const Rec& r) {
  const EmfAngleArc a = metafile::emfAngleArc(r);
  const double cx = a.centre.x, cy = a.centre.y, rad = a.radius;
  const double a0 = a.startAngle, sweep = a.sweepAngle;
  if (!std::isfinite(a0) || !std::isfinite(sweep) || rad > kMaxCoord) return;
  const int n = int(std::clamp(std::abs(double(sweep)) / 5 + 2, 2.0, 80.0));
  std::vector<DPoint> pts;
  for (int k = 0; k <= n; ++k) {
    const double t = (a0 + sweep * k / n) * std::numbers::pi / 180;
    pts.push_back({cx + rad * std::cos(t), cy - rad * std::sin(t)});
  }
  polyline(pts, true);
}

// -- objects --

void Player::emfCreatePen(const Rec& r) {
  GdiObject& o = objectSlot(r, emfValue(r));
  const EmfCreatePen p = metafile::emfCreatePen(r);
  o = GdiObject{};
  o.kind = GdiObject::Kind::Pen;
  o.pen = logicalPen(p.style, p.width, colorOf(p.color));
}

void Player::emfExtCreatePen(const Rec& r) {
  GdiObject& o = objectSlot(r, emfValue(r));
  const EmfExtCreatePen p = metafile::emfExtCreatePen(r);
  o = GdiObject{};
  o.kind = GdiObject::Kind::Pen;
  o.pen.style = p.style;
  o.pen.width = p.width;
  o.pen.cosmetic = !(o.pen.style & PS_GEOMETRIC);
  o.pen.extended = true;
  if (p.brushStyle == BS_NULL) o.pen.style = PS_NULL;
  o.pen.color = colorOf(p.color);
}

void Player::emfCreateBrush(const Rec& r) {
  GdiObject& o = objectSlot(r, emfValue(r));
  const EmfCreateBrush b = metafile::emfCreateBrush(r);
  o = GdiObject{};
  o.kind = GdiObject::Kind::Brush;
  o.brush.style = b.style == BS_NULL ? BrushStyle::Clear : BrushStyle::Solid;
  o.brush.color = colorOf(b.color);
}

void Player::emfCreatePatternBrush(const Rec& r) {
  GdiObject& o = objectSlot(r, emfValue(r));
  o = GdiObject{};
  o.kind = GdiObject::Kind::Brush;
  const EmfPatternBrush b = emfPatternBrush(r);
  QImage img;
  if (b.readable) {
    try {
      const DibHeader dh = parseDibHeader(b.info);
      if (uint64_t(uint32_t(dh.width)) * uint32_t(dh.height) <= 65536)
        img = decodeDib(dh, b.info, b.bits);
    } catch (const Error&) {
      // A pattern we cannot read still fills, in a neutral grey.
    }
  }
  o.brush.color = averageColor(img);
}

void Player::emfCreateFont(const Rec& r) {
  GdiObject& o = objectSlot(r, emfValue(r));
  const FontRecord f = metafile::emfCreateFont(r);
  o = GdiObject{};
  o.kind = GdiObject::Kind::Font;
  o.font = logFontOf(f);
}

void Player::emfCreateOther(const Rec& r) {
  GdiObject& o = objectSlot(r, emfValue(r));
  o = GdiObject{};
  o.kind = GdiObject::Kind::Other;
}

void Player::emfSelectObject(const Rec& r) {
  selectObject(r, emfValue(r));
}

void Player::emfDeleteObject(const Rec& r) {
  deleteObject(r, emfValue(r));
}

// -- paths and clipping --

void Player::emfPath(const Rec& r) {
  switch (r.type) {
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
    default:  // the path is drawn and done with
      inPath_ = false;
      drawPath(r.type != EMR_STROKEPATH, r.type != EMR_FILLPATH);
      break;
  }
}

void Player::emfSelectClipPath(const Rec& r) {
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
  combineClip(rg, emfValue(r));
}

void Player::emfClipRect(const Rec& r) {
  const Rect b = emfBox(r);
  if (r.type == EMR_INTERSECTCLIPRECT) {
    intersectClip(b.left, b.top, b.right, b.bottom);
  } else {
    excludeClip(b.left, b.top, b.right, b.bottom);
  }
}

void Player::emfOffsetClip(const Rec& r) {
  if (!dc_.clip) return;
  const Point p = emfPoint(r);
  offsetClip(p.x, p.y);
}

void Player::emfExtSelectClipRegion(const Rec& r) {
  const EmfClipRegion c = emfClipRegion(r);
  if (c.empty) {
    if (c.mode == RGN_COPY) {
      dc_.clip.reset();
      clipDirty_ = true;
    }
    return;
  }
  QRegion rg;
  for (const Rect& x : c.rects) {
    // Clip regions are in the reference device's pixels.
    const DPoint a = base_.apply({double(x.left), double(x.top)});
    const DPoint b = base_.apply({double(x.right), double(x.bottom)});
    rg += QRect(QPoint(toDevice(std::min(a.x, b.x)), toDevice(std::min(a.y, b.y))),
                QPoint(toDevice(std::max(a.x, b.x)) - 1, toDevice(std::max(a.y, b.y)) - 1));
    if (rg.rectCount() > kMaxClipRects) rg = QRegion(rg.boundingRect());
  }
  combineClip(rg, c.mode);
}

void Player::emfFillRegion(const Rec& r) {
  if (r.type == EMR_PAINTRGN) {
    fillRects(emfPaintRegion(r).rects, dc_.brush);
    return;
  }
  const LogBrush brush = brushFor(r, emfFillRegionBrush(r));
  fillRects(metafile::emfFillRegion(r).rects, brush);
}

// -- text and bitmaps --

void Player::emfText(const Rec& r) {
  const EmfExtTextOut t = emfExtTextOut(r);
  std::optional<Rect> rect;
  if (!(t.options & ETO_NO_RECT)) rect = t.rect;
  const bool cp = dc_.textAlign & TA_UPDATECP;
  if (t.options & ETO_GLYPH_INDEX) return;  // glyph numbers of a font we do not have
  const DPoint ref{double(t.reference.x), double(t.reference.y)};
  if (t.wide) {
    const QString u = t.unicode();
    text(ref, {}, &u, dc_.font.charset, t.dx, t.options, rect, cp);
  } else {
    text(ref, std::string(t.chars.begin(), t.chars.end()), nullptr, dc_.font.charset, t.dx,
         t.options, rect, cp);
  }
}

void Player::emfSmallText(const Rec& r) {
  const EmfSmallTextOut t = emfSmallTextOut(r);
  if (t.options & ETO_GLYPH_INDEX) return;
  const DPoint ref{double(t.reference.x), double(t.reference.y)};
  const bool cp = dc_.textAlign & TA_UPDATECP;
  if (t.options & ETO_SMALL_CHARS) {
    text(ref, std::string(t.chars.begin(), t.chars.end()), nullptr, dc_.font.charset, {}, t.options,
         t.rect, cp);
  } else {
    const QString u = t.unicode();
    text(ref, {}, &u, dc_.font.charset, {}, t.options, t.rect, cp);
  }
}

void Player::emfBlt(const Rec& r) {
  // With no world-to-page scaling of the source, the source rectangle is
  // in the bitmap's pixels.
  const EmfBlt b = metafile::emfBlt(r);
  emfBitmap(r, b.dib, b.dest.x, b.dest.y, b.destSize.cx, b.destSize.cy, b.srcX, b.srcY, b.srcWidth,
            b.srcHeight, b.rop);
}

void Player::emfDibBits(const Rec& r) {
  const EmfDibBits b = metafile::emfDibBits(r);
  emfBitmap(r, b.dib, b.dest.x, b.dest.y, b.destWidth, b.destHeight, b.srcX, b.srcY, b.srcWidth,
            b.srcHeight, b.rop);
}

}  // namespace orv::metafile
