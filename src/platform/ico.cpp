#include "platform/ico.h"

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/bmp.h"
#include "platform/error.h"

namespace orv {

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw Error("icon: " + what);
}

uint16_t u16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t u32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}
uint32_t be32(std::span<const uint8_t> b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
         uint32_t(b[at + 3]);
}

// The format's own limit is 256 pixels a side; a few tools write larger
// images, nothing writes icons of thousands.
constexpr uint32_t kMaxIconSide = 1024;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool isPng(std::span<const uint8_t> b) {
  return b.size() >= 8 && std::memcmp(b.data(), kPngSignature, 8) == 0;
}

// One image of the directory, as its own data describes it (the directory's
// size and colour fields are often wrong, so they only break ties).
struct Candidate {
  std::span<const uint8_t> data;
  bool png = false;
  DibHeader dib;  // for DIB images, with the height halved
  int32_t width = 0;
  int32_t height = 0;
  int depth = 0;
};

Candidate inspect(std::span<const uint8_t> data, uint16_t dirBitCount) {
  Candidate c;
  c.data = data;
  if (isPng(data)) {
    // The IHDR chunk must come first: width, height, bit depth, colour type.
    if (data.size() < 33 || std::memcmp(data.data() + 12, "IHDR", 4) != 0)
      fail("embedded PNG image has no header");
    const uint32_t w = be32(data, 16), h = be32(data, 20);
    if (w == 0 || h == 0 || w > kMaxIconSide || h > kMaxIconSide)
      fail("embedded PNG image of " + std::to_string(w) + " x " + std::to_string(h) +
           " pixels is not acceptable");
    static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const uint8_t type = data[25];
    checkPngChunks(data);
    c.png = true;
    c.width = static_cast<int32_t>(w);
    c.height = static_cast<int32_t>(h);
    c.depth = data[24] * (type < 7 ? kChannels[type] : 1);
    if (type == 3) c.depth = data[24];
    return c;
  }
  c.dib = parseDibHeader(data);
  if (c.dib.height < 2) fail("image height does not hold the AND mask");
  c.dib.height /= 2;
  if (uint32_t(c.dib.width) > kMaxIconSide || uint32_t(c.dib.height) > kMaxIconSide)
    fail("image of " + std::to_string(c.dib.width) + " x " + std::to_string(c.dib.height) +
         " pixels is too large for an icon");
  c.width = c.dib.width;
  c.height = c.dib.height;
  c.depth = c.dib.bitCount ? c.dib.bitCount : dirBitCount;
  return c;
}

// Picks the largest image, then the deepest; damaged entries are passed over
// as long as another one is usable.
Candidate choose(std::span<const uint8_t> file) {
  if (file.size() < 6) fail("file is too short for an icon directory");
  const uint16_t reserved = u16(file, 0), type = u16(file, 2), count = u16(file, 4);
  if (reserved != 0 || (type != 1 && type != 2)) fail("not an icon file");
  if (count == 0) fail("icon directory is empty");
  if (size_t(count) > (file.size() - 6) / 16)
    fail("icon directory of " + std::to_string(count) + " entries is truncated");

  std::optional<Candidate> best;
  std::string firstError;
  for (uint16_t i = 0; i < count; ++i) {
    const size_t e = 6 + size_t(i) * 16;
    const uint32_t size = u32(file, e + 8), offset = u32(file, e + 12);
    try {
      if (offset < 6 + size_t(count) * 16 || offset > file.size() || size > file.size() - offset ||
          size == 0)
        fail("image " + std::to_string(i + 1) + " lies outside the file");
      Candidate c = inspect(file.subspan(offset, size), u16(file, e + 6));
      if (!best || uint64_t(c.width) * c.height > uint64_t(best->width) * best->height ||
          (uint64_t(c.width) * c.height == uint64_t(best->width) * best->height &&
           c.depth > best->depth))
        best = c;
    } catch (const Error& err) {
      if (firstError.empty()) firstError = err.what();
    }
  }
  if (!best) throw Error(firstError);
  return *best;
}

QImage decodeDibIcon(const Candidate& c) {
  const DibHeader& h = c.dib;
  std::span<const uint8_t> bits = c.data.subspan(std::min(h.bitsOffset, c.data.size()));
  QImage img = decodeDib(h, c.data, bits);
  if (h.compression != biRgb) return img;

  const uint64_t xorSize = h.stride() * uint64_t(h.height);
  // An image with its own alpha needs no mask.
  if (h.bitCount == 32) {
    for (uint64_t i = 3; i < xorSize && i < bits.size(); i += 4)
      if (bits[i] != 0) return img;
  }
  const uint64_t maskStride = ((uint64_t(h.width) + 31) / 32) * 4;
  // Some writers leave the mask out; the image is then shown opaque.
  if (xorSize > bits.size() || maskStride * h.height > bits.size() - xorSize) return img;
  std::span<const uint8_t> mask = bits.subspan(xorSize);
  img = img.convertToFormat(QImage::Format_ARGB32);
  for (int r = 0; r < h.height; ++r) {
    const uint8_t* m = mask.data() + maskStride * r;
    const int y = h.topDown ? r : h.height - 1 - r;
    QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < h.width; ++x)
      if (m[x / 8] & (0x80 >> (x % 8))) row[x] = 0;
  }
  return img;
}

}  // namespace

QImage decodeIco(std::span<const uint8_t> file) {
  const Candidate c = choose(file);
  if (!c.png) return decodeDibIcon(c);
  QImage img = QImage::fromData(c.data.data(), static_cast<int>(c.data.size()), "PNG");
  if (img.isNull()) fail("embedded PNG image cannot be read");
  return img;
}

Size icoSize(std::span<const uint8_t> file) {
  const Candidate c = choose(file);
  return {c.width, c.height};
}

}  // namespace orv
