// Windows metafile records, 16-bit, placeable or plain.
#include <QImage>

#include "platform/bmp.h"
#include "platform/metafile_player.h"

namespace orv::metafile {

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

}  // namespace orv::metafile
