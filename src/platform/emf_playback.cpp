// Enhanced metafile records.
#include <QImage>
#include <QPolygon>
#include <numbers>

#include "platform/bmp.h"
#include "platform/codepage.h"
#include "platform/metafile_player.h"

namespace orv::metafile {

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

}  // namespace orv::metafile
