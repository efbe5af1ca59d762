// Bitmaps and pattern fills.
#include <QImage>

#include "platform/bmp.h"
#include "platform/metafile_player.h"

namespace orv::metafile {

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

void Player::emfBitmap(const Rec& r, const EmfDib& dib, double x, double y, double cx, double cy,
                       int32_t sx, int32_t sy, int32_t scx, int32_t scy, uint32_t rop) {
  if (!dib.present) {
    patBlt(x, y, cx, cy, rop);
    return;
  }
  bitmap(r, x, y, cx, cy, sx, sy, scx, scy, dib.info, dib.bits, rop);
}

}  // namespace orv::metafile
