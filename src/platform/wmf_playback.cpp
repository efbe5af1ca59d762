// Windows metafile records, 16-bit, placeable or plain.
#include <QImage>
#include <array>

#include "platform/bmp.h"
#include "platform/metafile_player.h"

namespace orv::metafile {

using namespace wmf;

void Player::playWmf(std::span<const uint8_t> bytes, bool placeable) {
  wmf_ = true;
  size_t pos = 0;
  if (placeable) {
    const Rect box = decodeWmfPlaceable(bytes).box;
    dc_.winOrg = {double(box.left), double(box.top)};
    dc_.winExt = {double(box.right) - box.left, double(box.bottom) - box.top};
    pos = wmf::kPlaceableSize;
  }
  const WmfHeader header = decodeWmfHeader(bytes, pos);
  objects_.assign(std::min<size_t>(header.objects, kMaxWmfObjects), GdiObject{});
  pos += wmf::kHeaderSize;
  if (!placeable) {
    // Without a bounding box the picture is what its first window says.
    const WmfWindow w = scanWmfWindow(bytes, pos);
    if (w.origin) dc_.winOrg = *w.origin;
    dc_.winExt = w.extent ? *w.extent : DPoint{double(dest_.width()), double(dest_.height())};
  }
  dirtyXform();

  size_t index = 0;
  while (pos < bytes.size() && !done_) {
    // Too little left for a record is trailing padding some writers leave.
    const std::optional<Rec> r = nextWmfRecord(bytes, pos, index);
    if (!r) break;
    if (++index > kMaxRecords) fail("too many records");
    wmfRecord(*r);
    pos += r->d.size();
  }
}

void Player::wmfRecord(const Rec& r) {
  // The low byte of a function number tells the records apart.
  struct Entry {
    uint16_t function = 0;
    Handler handler = nullptr;
  };
  static constexpr std::array<Entry, 256> kHandlers = [] {
    std::array<Entry, 256> t{};
    auto on = [&](std::initializer_list<uint16_t> functions, Handler h) {
      for (uint16_t f : functions) {
        if (t[f & 0xFF].handler) throw "two records share a low byte";
        t[f & 0xFF] = {f, h};
      }
    };
    on({META_EOF}, &Player::wmfEof);
    on({META_SAVEDC}, &Player::wmfSaveDc);
    on({META_RESTOREDC}, &Player::wmfRestoreDc);
    on({META_SETWINDOWORG, META_SETWINDOWEXT, META_OFFSETWINDOWORG}, &Player::wmfWindow);
    on({META_SCALEWINDOWEXT}, &Player::wmfScaleWindow);
    // The player owns the viewport: it is the destination rectangle.
    on({META_SETMAPMODE, META_SETVIEWPORTORG, META_SETVIEWPORTEXT, META_OFFSETVIEWPORTORG,
        META_SCALEVIEWPORTEXT},
       &Player::wmfIgnore);
    on({META_SETBKMODE, META_SETBKCOLOR, META_SETTEXTCOLOR, META_SETROP2, META_SETTEXTALIGN,
        META_SETTEXTCHAREXTRA},
       &Player::wmfSetState);
    on({META_MOVETO}, &Player::wmfMoveTo);
    on({META_LINETO}, &Player::wmfLineTo);
    on({META_POLYLINE, META_POLYGON}, &Player::wmfPoly);
    on({META_POLYPOLYGON}, &Player::wmfPolyPolygon);
    on({META_RECTANGLE, META_ELLIPSE, META_ROUNDRECT}, &Player::wmfShape);
    on({META_ARC, META_PIE, META_CHORD}, &Player::wmfArc);
    on({META_SETPIXEL}, &Player::wmfSetPixel);
    on({META_PATBLT}, &Player::wmfPatBlt);
    on({META_INTERSECTCLIPRECT, META_EXCLUDECLIPRECT}, &Player::wmfClipRect);
    on({META_OFFSETCLIPRGN}, &Player::wmfOffsetClip);
    on({META_SELECTCLIPREGION, META_SELECTOBJECT}, &Player::wmfSelectObject);
    on({META_DELETEOBJECT}, &Player::wmfDeleteObject);
    on({META_CREATEPENINDIRECT}, &Player::wmfCreatePen);
    on({META_CREATEBRUSHINDIRECT}, &Player::wmfCreateBrush);
    on({META_DIBCREATEPATTERNBRUSH, META_CREATEPATTERNBRUSH}, &Player::wmfCreatePatternBrush);
    on({META_CREATEFONTINDIRECT}, &Player::wmfCreateFont);
    on({META_CREATEREGION}, &Player::wmfCreateRegion);
    on({META_CREATEPALETTE}, &Player::wmfCreatePalette);
    on({META_FILLREGION, META_PAINTREGION}, &Player::wmfFillRegion);
    on({META_TEXTOUT}, &Player::wmfTextOut);
    on({META_EXTTEXTOUT}, &Player::wmfExtTextOut);
    on({META_STRETCHDIB, META_DIBSTRETCHBLT, META_DIBBITBLT, META_SETDIBTODEV}, &Player::wmfBlt);
    return t;
  }();
  const Entry& e = kHandlers[r.type & 0xFF];
  if (e.handler && e.function == r.type) (this->*e.handler)(r);
}

void Player::wmfEof(const Rec&) {
  done_ = true;
}

// -- state and mapping --

void Player::wmfSaveDc(const Rec& r) {
  saveDc(r);
}

void Player::wmfRestoreDc(const Rec& r) {
  restoreDc(int16_t(wmfWord(r)));
}

void Player::wmfWindow(const Rec& r) {
  const DPoint p = wmfPoint(r);
  switch (r.type) {
    case META_SETWINDOWORG:
      dc_.winOrg = p;
      break;
    case META_SETWINDOWEXT:
      if (p.x == 0 || p.y == 0) return;
      dc_.winExt = p;
      break;
    default:  // META_OFFSETWINDOWORG
      dc_.winOrg = {dc_.winOrg.x + p.x, dc_.winOrg.y + p.y};
      break;
  }
  dirtyXform();
}

void Player::wmfScaleWindow(const Rec& r) {
  const EmfScale s = wmfScale(r);
  if (s.yDenom == 0 || s.yNum == 0 || s.xDenom == 0 || s.xNum == 0) return;
  dc_.winExt = {dc_.winExt.x * double(s.xNum) / double(s.xDenom),
                dc_.winExt.y * double(s.yNum) / double(s.yDenom)};
  dirtyXform();
}

void Player::wmfIgnore(const Rec&) {}

void Player::wmfSetState(const Rec& r) {
  switch (r.type) {
    case META_SETBKMODE:
      dc_.bkMode = wmfWord(r) == TRANSPARENT ? BkMode::Transparent : BkMode::Opaque;
      break;
    case META_SETBKCOLOR:
      dc_.bkColor = colorOf(wmfColor(r));
      break;
    case META_SETTEXTCOLOR:
      dc_.textColor = colorOf(wmfColor(r));
      break;
    case META_SETROP2:
      dc_.rop2 = wmfWord(r);
      break;
    case META_SETTEXTALIGN:
      dc_.textAlign = wmfWord(r);
      break;
    default:  // META_SETTEXTCHAREXTRA
      dc_.charExtra = int16_t(wmfWord(r));
      break;
  }
}

// -- shapes --

void Player::wmfMoveTo(const Rec& r) {
  dc_.current = wmfPoint(r);
}

void Player::wmfLineTo(const Rec& r) {
  lineTo(wmfPoint(r));
}

void Player::wmfPoly(const Rec& r) {
  const std::vector<DPoint> pts = wmfPolyPoints(r);
  if (r.type == META_POLYLINE) {
    polyline(pts, false);
  } else {
    polygon(pts);
  }
}

void Player::wmfPolyPolygon(const Rec& r) {
  polyPolygon(wmfPolyPolyPoints(r));
}

void Player::wmfShape(const Rec& r) {
  if (r.type == META_ROUNDRECT) {
    const RoundRectRecord s = wmfRoundRect(r);
    roundRect(s.box.left, s.box.top, s.box.right, s.box.bottom, s.corner.cx, s.corner.cy);
    return;
  }
  const Rect b = wmfBox(r);
  if (r.type == META_RECTANGLE) {
    rectangle(b.left, b.top, b.right, b.bottom);
  } else {
    ellipse(b.left, b.top, b.right, b.bottom);
  }
}

void Player::wmfArc(const Rec& r) {
  const ArcKind k = r.type == META_ARC   ? ArcKind::Arc
                    : r.type == META_PIE ? ArcKind::Pie
                                         : ArcKind::Chord;
  const ArcRecord a = metafile::wmfArc(r);
  arc(k, a.box.left, a.box.top, a.box.right, a.box.bottom, {double(a.start.x), double(a.start.y)},
      {double(a.end.x), double(a.end.y)});
}

void Player::wmfSetPixel(const Rec& r) {
  const WmfSetPixel p = metafile::wmfSetPixel(r);
  setPixel(p.at.x, p.at.y, colorOf(p.color));
}

void Player::wmfPatBlt(const Rec& r) {
  const WmfPatBlt p = metafile::wmfPatBlt(r);
  patBlt(p.at.x, p.at.y, p.size.x, p.size.y, p.rop);
}

// -- clipping and objects --

void Player::wmfClipRect(const Rec& r) {
  const Rect b = wmfBox(r);
  if (r.type == META_INTERSECTCLIPRECT) {
    intersectClip(b.left, b.top, b.right, b.bottom);
  } else {
    excludeClip(b.left, b.top, b.right, b.bottom);
  }
}

void Player::wmfOffsetClip(const Rec& r) {
  if (!dc_.clip) return;
  const DPoint p = wmfPoint(r);
  offsetClip(p.x, p.y);
}

void Player::wmfSelectObject(const Rec& r) {
  selectObject(r, wmfWord(r));
}

void Player::wmfDeleteObject(const Rec& r) {
  deleteObject(r, wmfWord(r));
}

void Player::wmfCreatePen(const Rec& r) {
  GdiObject& o = objects_[wmfFreeSlot(r)];
  const WmfCreatePen p = metafile::wmfCreatePen(r);
  o = GdiObject{};
  o.kind = GdiObject::Kind::Pen;
  o.pen = logicalPen(p.style, p.width, colorOf(p.color));
}

void Player::wmfCreateBrush(const Rec& r) {
  const WmfCreateBrush b = metafile::wmfCreateBrush(r);
  GdiObject& o = objects_[wmfFreeSlot(r)];
  o = GdiObject{};
  o.kind = GdiObject::Kind::Brush;
  o.brush.style = b.style == BS_NULL ? BrushStyle::Clear : BrushStyle::Solid;
  o.brush.color = colorOf(b.color);
}

void Player::wmfCreatePatternBrush(const Rec& r) {
  QImage img;
  if (r.type == META_DIBCREATEPATTERNBRUSH) {
    try {
      const std::span<const uint8_t> packed = wmfPatternDib(r);
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
}

void Player::wmfCreateFont(const Rec& r) {
  const LogFont f = logFontOf(metafile::wmfCreateFont(r));
  GdiObject& o = objects_[wmfFreeSlot(r)];
  o = GdiObject{};
  o.kind = GdiObject::Kind::Font;
  o.font = f;
}

void Player::wmfCreateRegion(const Rec& r) {
  std::vector<Rect> rects = wmfRegion(r);
  GdiObject& o = objects_[wmfFreeSlot(r)];
  o = GdiObject{};
  o.kind = GdiObject::Kind::Region;
  o.region = std::move(rects);
}

void Player::wmfCreatePalette(const Rec& r) {
  GdiObject& o = objects_[wmfFreeSlot(r)];
  o = GdiObject{};
  o.kind = GdiObject::Kind::Other;
}

void Player::wmfFillRegion(const Rec& r) {
  const GdiObject& rg = objectSlot(r, wmfWord(r));
  const WmfFillRegion f = metafile::wmfFillRegion(r);
  LogBrush b = dc_.brush;
  if (r.type == META_FILLREGION) b = brushFor(r, f.brush);
  if (rg.kind == GdiObject::Kind::Region) fillRects(rg.region, b);
}

// -- text and bitmaps --

void Player::wmfTextOut(const Rec& r) {
  const WmfTextOut t = metafile::wmfTextOut(r);
  text(t.reference, std::string(t.chars.begin(), t.chars.end()), nullptr, dc_.font.charset, {}, 0,
       std::nullopt, dc_.textAlign & TA_UPDATECP);
}

void Player::wmfExtTextOut(const Rec& r) {
  const WmfTextOut t = metafile::wmfExtTextOut(r);
  text(t.reference, std::string(t.chars.begin(), t.chars.end()), nullptr, dc_.font.charset, t.dx,
       t.options, t.rect, dc_.textAlign & TA_UPDATECP);
}

void Player::wmfBlt(const Rec& r) {
  const WmfBlt b = metafile::wmfBlt(r);
  if (!b.hasBitmap) {
    patBlt(b.dest.x, b.dest.y, b.destSize.x, b.destSize.y, b.rop);
    return;
  }
  DibHeader h;
  try {
    h = parseDibHeader(b.dib);
  } catch (const Error& e) {
    r.bad(e.what());
  }
  const size_t split = std::min(h.bitsOffset, b.dib.size());
  bitmap(r, b.dest.x, b.dest.y, b.destSize.x, b.destSize.y, b.srcX, b.srcY, b.srcWidth, b.srcHeight,
         b.dib.subspan(0, split), b.dib.subspan(split), b.rop);
}

}  // namespace orv::metafile
