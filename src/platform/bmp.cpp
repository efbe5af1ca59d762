#include "platform/bmp.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <string>

#include "platform/error.h"
#include "platform/jpeg.h"

namespace orv {

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw Error("bitmap: " + what);
}

uint16_t u16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t u32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}

constexpr size_t kFileHeaderSize = 14;

// Compressed pixels must justify the size they claim once it is past this.
constexpr uint64_t kFreePixels = 4'000'000;
constexpr uint64_t kRlePixelsPerByte = 256;
constexpr uint64_t kPngPixelsPerByte = 8192;

// One colour channel described by a bit mask: where it sits and how to widen
// it to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;  // largest value after shifting; 0 when the channel is absent

  explicit Channel(uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    max = m >> shift;
    // A mask with holes is not a channel any program writes; refuse it rather
    // than guess.
    if ((max & (max + 1)) != 0) fail("colour mask is not contiguous");
  }
  uint8_t value(uint32_t px, uint8_t absent) const {
    if (max == 0) return absent;
    uint32_t v = (px & mask) >> shift;
    if (max == 255) return static_cast<uint8_t>(v);
    return static_cast<uint8_t>((uint64_t(v) * 255 + max / 2) / max);
  }
};

// Colour table as 0xAARRGGBB with the alpha forced opaque: GDI ignores the
// reserved byte of RGBQUAD.
std::vector<QRgb> readPalette(const DibHeader& h, std::span<const uint8_t> info) {
  std::vector<QRgb> pal(h.tableEntries);
  size_t entry = h.core ? 3 : 4;
  for (uint32_t i = 0; i < h.tableEntries; ++i) {
    size_t at = h.tableOffset + i * entry;
    pal[i] = qRgb(info[at + 2], info[at + 1], info[at]);
  }
  return pal;
}

QImage allocate(const DibHeader& h, QImage::Format format) {
  QImage img(h.width, h.height, format);
  if (img.isNull())
    fail("out of memory for a " + std::to_string(h.width) + " x " + std::to_string(h.height) +
         " image");
  return img;
}

// Rows in the file run bottom-up unless the height was negative.
QRgb* rowOf(QImage& img, const DibHeader& h, int fileRow) {
  int y = h.topDown ? fileRow : h.height - 1 - fileRow;
  return reinterpret_cast<QRgb*>(img.scanLine(y));
}

QImage finish(QImage img) {
  // Keep the cheaper opaque format when nothing is transparent.
  for (int y = 0; y < img.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if (qAlpha(row[x]) != 255) return img;
  }
  img.reinterpretAsFormat(QImage::Format_RGB32);
  return img;
}

QImage decodeUncompressed(const DibHeader& h, std::span<const uint8_t> info,
                          std::span<const uint8_t> bits) {
  const uint64_t stride = h.stride();
  // The last row may lack its padding: some writers stop at the last pixel.
  const uint64_t need = stride * uint64_t(h.height - 1) + (uint64_t(h.width) * h.bitCount + 7) / 8;
  if (need > bits.size())
    fail("pixel data is truncated (" + std::to_string(bits.size()) + " of " + std::to_string(need) +
         " bytes)");

  const bool opaque = h.bitCount <= 8 || h.bitCount == 24;
  QImage img = allocate(h, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
  const int w = h.width;
  if (h.bitCount <= 8) {
    std::vector<QRgb> pal = readPalette(h, info);
    const QRgb black = qRgb(0, 0, 0);
    const int bpp = h.bitCount;
    const uint32_t mask = (1u << bpp) - 1;
    for (int r = 0; r < h.height; ++r) {
      const uint8_t* src = bits.data() + stride * r;
      QRgb* dst = rowOf(img, h, r);
      for (int x = 0; x < w; ++x) {
        uint32_t bit = uint32_t(x) * bpp;
        uint32_t idx = (src[bit / 8] >> (8 - bpp - bit % 8)) & mask;
        // An index past the table shows as black, as GDI does.
        dst[x] = idx < pal.size() ? pal[idx] : black;
      }
    }
    return img;
  }
  if (h.bitCount == 24) {
    for (int r = 0; r < h.height; ++r) {
      const uint8_t* src = bits.data() + stride * r;
      QRgb* dst = rowOf(img, h, r);
      for (int x = 0; x < w; ++x, src += 3) dst[x] = qRgb(src[2], src[1], src[0]);
    }
    return img;
  }

  // 16 and 32 bits: bit fields, or the fixed layouts of the plain form.
  uint32_t m[4];
  if (h.compression == biRgb) {
    if (h.bitCount == 16) {
      m[0] = 0x7C00, m[1] = 0x03E0, m[2] = 0x001F, m[3] = 0;
    } else {
      m[0] = 0x00FF0000, m[1] = 0x0000FF00, m[2] = 0x000000FF, m[3] = 0xFF000000;
    }
  } else {
    std::memcpy(m, h.masks, sizeof m);
  }
  if (h.bitCount == 16) {
    for (uint32_t& v : m) v &= 0xFFFF;
  }
  const Channel red(m[0]), green(m[1]), blue(m[2]), alpha(m[3]);
  bool anyAlpha = false;
  for (int r = 0; r < h.height; ++r) {
    const uint8_t* src = bits.data() + stride * r;
    QRgb* dst = rowOf(img, h, r);
    for (int x = 0; x < w; ++x) {
      uint32_t px;
      if (h.bitCount == 16) {
        px = uint32_t(src[0]) | (uint32_t(src[1]) << 8);
        src += 2;
      } else {
        px = uint32_t(src[0]) | (uint32_t(src[1]) << 8) | (uint32_t(src[2]) << 16) |
             (uint32_t(src[3]) << 24);
        src += 4;
      }
      uint8_t a = alpha.value(px, 255);
      anyAlpha |= a != 0;
      dst[x] = qRgba(red.value(px, 0), green.value(px, 0), blue.value(px, 0), a);
    }
  }
  // Most 32-bit files leave the fourth byte zero; an image that is fully
  // transparent everywhere is surely one of those, so it is shown opaque.
  if (alpha.max != 0 && !anyAlpha) {
    for (int y = 0; y < img.height(); ++y) {
      QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < w; ++x) row[x] |= 0xFF000000u;
    }
  }
  return finish(std::move(img));
}

// Run-length forms: a byte-pair stream of runs and escapes (end of line, end of
// bitmap, delta move, absolute run). Writers fill the row padding too (runs may
// reach past the width up to the padded stride), so pixels right of the image
// are dropped; anything that would go above the top row is an error.
QImage decodeRle(const DibHeader& h, std::span<const uint8_t> info, std::span<const uint8_t> bits) {
  const bool four = h.compression == biRle4;
  const int w = h.width, hgt = h.height;
  // Nothing the file says can make a run cover more than this many pixels per
  // byte (255 per pair, plus what end-of-line and delta moves skip), so
  // a larger image from fewer bytes is a bomb, not a picture.
  if (uint64_t(w) * uint64_t(hgt) > kFreePixels &&
      uint64_t(w) * uint64_t(hgt) / kRlePixelsPerByte > bits.size())
    fail("run-length data of " + std::to_string(bits.size()) + " bytes cannot make a " +
         std::to_string(w) + " x " + std::to_string(hgt) + " image");
  QImage img = allocate(h, QImage::Format_RGB32);
  const std::vector<QRgb> pal = readPalette(h, info);
  const QRgb black = qRgb(0, 0, 0);
  // Pixels the data skips keep index 0.
  img.fill(pal.empty() ? black : pal[0]);
  size_t p = 0;
  // x may pass the width (each step adds at most 255, so it cannot overflow).
  int64_t x = 0;
  int y = 0;
  auto need = [&](size_t n) {
    if (bits.size() - p < n) fail("run-length data is truncated");
  };
  auto put = [&](int i, uint8_t v) {
    if (x + i < w) rowOf(img, h, y)[x + i] = v < pal.size() ? pal[v] : black;
  };
  auto onRow = [&] {
    if (y >= hgt) fail("run-length data continues past the last row");
  };
  bool done = false;
  while (!done) {
    if (p >= bits.size()) break;  // a missing end-of-bitmap mark ends the image too
    need(2);
    const uint8_t count = bits[p], code = bits[p + 1];
    p += 2;
    if (count > 0) {
      onRow();
      for (int i = 0; i < count; ++i) put(i, four ? ((i & 1) ? (code & 0x0F) : (code >> 4)) : code);
      x += count;
      continue;
    }
    switch (code) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        done = true;
        break;
      case 2: {  // delta: move right and up
        need(2);
        const int dx = bits[p], dy = bits[p + 1];
        p += 2;
        if (dy > hgt - y) fail("run-length delta moves past the last row");
        x += dx;
        y += dy;
        break;
      }
      default: {  // absolute run of `code` pixels, padded to a whole word
        const int n = code;
        const size_t bytes = four ? (size_t(n) + 1) / 2 : size_t(n);
        need(bytes);
        onRow();
        for (int i = 0; i < n; ++i) {
          const uint8_t b = bits[p + (four ? i / 2 : i)];
          put(i, four ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b);
        }
        p += std::min(bytes + (bytes & 1), bits.size() - p);
        x += n;
        break;
      }
    }
  }

  return img;
}

}  // namespace

void checkPngChunks(std::span<const uint8_t> png) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0)
    throw Error("PNG: no PNG signature");
  size_t at = 8;
  while (at < png.size()) {
    if (png.size() - at < 12) throw Error("PNG: chunk header is truncated");
    const uint32_t len = (uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16) |
                         (uint32_t(png[at + 2]) << 8) | uint32_t(png[at + 3]);
    if (len > png.size() - at - 12)
      throw Error("PNG: chunk of " + std::to_string(len) + " bytes runs past the data");
    const bool end = std::memcmp(png.data() + at + 4, "IEND", 4) == 0;
    at += 12 + size_t(len);
    if (end) break;
  }
}

namespace {

QImage decodeEmbedded(const DibHeader& h, std::span<const uint8_t> bits) {
  QImage img;
  if (h.compression == biJpeg) {
    img = decodeJpeg(bits);
  } else {
    if (uint64_t(h.width) * uint64_t(h.height) > kFreePixels &&
        uint64_t(h.width) * uint64_t(h.height) / kPngPixelsPerByte > bits.size())
      fail("the embedded PNG image is too short for its size");
    checkPngChunks(bits);
    img = QImage::fromData(bits.data(), static_cast<int>(std::min<size_t>(bits.size(), INT32_MAX)),
                           "PNG");
    if (img.isNull()) fail("the embedded PNG image cannot be read");
  }
  if (img.width() != h.width || img.height() != h.height)
    fail("the embedded image's size differs from the header's");
  return img;
}

size_t checkFileHeader(std::span<const uint8_t> file) {
  if (file.size() < kFileHeaderSize) fail("file is too short for a BMP header");
  if (file[0] != 'B' || file[1] != 'M') fail("not a BMP file (no \"BM\" signature)");
  return u32(file, 10);
}

}  // namespace

namespace {

// `bounded` is true when `info` ends where the pixels begin (a file's pixel
// offset or a metafile record's header size say so): then a colour table is
// kept as far as it goes, and one that is not needed is not checked.
DibHeader parseHeader(std::span<const uint8_t> info, bool bounded) {
  DibHeader h;
  if (info.size() < 4) fail("header is truncated");
  h.headerSize = u32(info, 0);
  const uint32_t hs = h.headerSize;
  if (hs != 12 && hs != 16 && (hs < 40 || hs > 124))
    fail("unknown header size " + std::to_string(hs));
  if (info.size() < hs) fail("header is truncated");
  int64_t height;
  uint32_t clrUsed = 0;
  if (hs == 12) {
    h.core = true;
    h.width = u16(info, 4);
    height = u16(info, 6);
    h.bitCount = u16(info, 10);
  } else {
    // OS/2 2.x headers (16 to 64 bytes) share the first fields with the info header.
    h.width = static_cast<int32_t>(u32(info, 4));
    height = static_cast<int32_t>(u32(info, 8));
    h.bitCount = u16(info, 14);
    if (hs >= 20) h.compression = u32(info, 16);
    if (hs >= 36) clrUsed = u32(info, 32);
  }
  if (hs == 64 && h.compression > biRle4)
    fail("OS/2 compression " + std::to_string(h.compression) + " is not supported");
  if (height < 0) {
    h.topDown = true;
    height = -height;
  }
  if (h.width <= 0 || height <= 0)
    fail("invalid size " + std::to_string(h.width) + " x " + std::to_string(height));
  if (uint64_t(h.width) * uint64_t(height) > kMaxImagePixels)
    fail("image of " + std::to_string(h.width) + " x " + std::to_string(height) +
         " pixels is too large");
  h.height = static_cast<int32_t>(height);

  switch (h.compression) {
    case biRgb:
      if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16 &&
          h.bitCount != 24 && h.bitCount != 32)
        fail("invalid bit count " + std::to_string(h.bitCount));
      break;
    case biRle8:
      if (h.bitCount != 8)
        fail("8-bit run-length compression with bit count " + std::to_string(h.bitCount));
      break;
    case biRle4:
      if (h.bitCount != 4)
        fail("4-bit run-length compression with bit count " + std::to_string(h.bitCount));
      break;
    case biBitfields:
    case biAlphaBitfields:
      if (h.bitCount != 16 && h.bitCount != 32)
        fail("bit-field compression with bit count " + std::to_string(h.bitCount));
      break;
    case biJpeg:
    case biPng:
      if (h.topDown) fail("embedded JPEG or PNG image with a negative height");
      break;
    default:
      fail("unknown compression " + std::to_string(h.compression));
  }
  if ((h.compression == biRle8 || h.compression == biRle4) && h.topDown)
    fail("run-length bitmap with a negative height");

  size_t at = hs;
  if (h.compression == biBitfields || h.compression == biAlphaBitfields) {
    const int n = h.compression == biAlphaBitfields ? 4 : 3;
    if (hs >= 52) {
      // The masks live inside the larger headers.
      for (int i = 0; i < 4 && 40u + i * 4u + 4u <= hs; ++i) h.masks[i] = u32(info, 40 + i * 4);
    } else {
      if (info.size() - at < size_t(n) * 4) fail("colour masks are truncated");
      for (int i = 0; i < n; ++i) h.masks[i] = u32(info, at + i * 4);
      at += n * 4;
    }
  }

  const bool paletted = h.bitCount <= 8 && h.compression != biJpeg && h.compression != biPng;
  const uint64_t maxEntries = paletted ? (1u << h.bitCount) : 0;
  uint64_t entries = h.core ? maxEntries : (clrUsed ? clrUsed : maxEntries);
  const size_t entrySize = h.core ? 3 : 4;
  if (entries > (info.size() - at) / entrySize) {
    if (!bounded) fail("colour table of " + std::to_string(entries) + " entries is truncated");
    entries = (info.size() - at) / entrySize;
  }
  h.tableOffset = at;
  h.tableEntries = static_cast<uint32_t>(std::min<uint64_t>(entries, maxEntries));
  h.bitsOffset = at + size_t(entries) * entrySize;
  if (paletted && h.tableEntries == 0) fail("palette image without a colour table");
  return h;
}

}  // namespace

DibHeader parseDibHeader(std::span<const uint8_t> info) {
  return parseHeader(info, true);
}

QImage decodeDib(const DibHeader& h, std::span<const uint8_t> info, std::span<const uint8_t> bits) {
  switch (h.compression) {
    case biRle8:
    case biRle4:
      return decodeRle(h, info, bits);
    case biJpeg:
    case biPng:
      return decodeEmbedded(h, bits);
    default:
      return decodeUncompressed(h, info, bits);
  }
}

QImage decodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits) {
  return decodeDib(parseDibHeader(info), info, bits);
}

QImage decodeDib(std::span<const uint8_t> packed) {
  DibHeader h = parseHeader(packed, false);
  return decodeDib(h, packed, packed.subspan(h.bitsOffset));
}

namespace {

struct FileParts {
  DibHeader header;
  std::span<const uint8_t> info;
  std::span<const uint8_t> bits;
};

FileParts splitFile(std::span<const uint8_t> file) {
  const uint32_t offBits = checkFileHeader(file);
  if (offBits < kFileHeaderSize + 12 || offBits > file.size())
    fail("pixel data offset " + std::to_string(offBits) + " lies outside the file");
  std::span<const uint8_t> info = file.subspan(kFileHeaderSize, offBits - kFileHeaderSize);
  FileParts parts{parseDibHeader(info), info, file.subspan(offBits)};
  return parts;
}

}  // namespace

QImage decodeBmp(std::span<const uint8_t> file) {
  FileParts p = splitFile(file);
  return decodeDib(p.header, p.info, p.bits);
}

Size bmpSize(std::span<const uint8_t> file) {
  FileParts p = splitFile(file);
  const DibHeader& h = p.header;
  if (h.compression == biRgb || h.compression == biBitfields || h.compression == biAlphaBitfields) {
    const uint64_t need =
        h.stride() * uint64_t(h.height - 1) + (uint64_t(h.width) * h.bitCount + 7) / 8;
    if (need > p.bits.size()) fail("pixel data is truncated");
  }
  return {h.width, h.height};
}

std::vector<uint8_t> encodeBmp(const QImage& image) {
  if (image.isNull()) fail("cannot write an empty image");
  const bool alpha = image.hasAlphaChannel();
  const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  const uint32_t w = src.width(), h = src.height();
  const uint32_t bpp = alpha ? 32 : 24;
  const uint32_t stride = ((w * bpp + 31) / 32) * 4;
  const uint32_t headerSize = alpha ? 124 : 40;
  const uint32_t offBits = kFileHeaderSize + headerSize;
  const uint64_t total = uint64_t(offBits) + uint64_t(stride) * h;
  if (total > UINT32_MAX) fail("image is too large for a BMP file");
  std::vector<uint8_t> out(total, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    out[at] = v & 0xFF;
    out[at + 1] = (v >> 8) & 0xFF;
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<uint32_t>(total));
  put32(10, offBits);
  const size_t ih = kFileHeaderSize;
  put32(ih + 0, headerSize);
  put32(ih + 4, w);
  put32(ih + 8, h);
  put16(ih + 12, 1);
  put16(ih + 14, bpp);
  put32(ih + 16, alpha ? biBitfields : biRgb);
  put32(ih + 20, stride * h);
  put32(ih + 24, 3780);  // 96 dpi in pixels per metre
  put32(ih + 28, 3780);
  if (alpha) {
    put32(ih + 40, 0x00FF0000);
    put32(ih + 44, 0x0000FF00);
    put32(ih + 48, 0x000000FF);
    put32(ih + 52, 0xFF000000);
    put32(ih + 56, 0x73524742);  // 'sRGB'
    put32(ih + 108, 4);          // LCS_GM_IMAGES
  }
  for (uint32_t y = 0; y < h; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(src.constScanLine(int(h - 1 - y)));
    uint8_t* dst = out.data() + offBits + size_t(stride) * y;
    for (uint32_t x = 0; x < w; ++x) {
      *dst++ = qBlue(row[x]);
      *dst++ = qGreen(row[x]);
      *dst++ = qRed(row[x]);
      if (alpha) *dst++ = qAlpha(row[x]);
    }
  }
  return out;
}

}  // namespace orv
