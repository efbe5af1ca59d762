#pragma once
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/geometry.h"

namespace orv {

// No decoder allocates more than this many pixels, whatever a header claims.
inline constexpr uint64_t kMaxImagePixels = 100'000'000;

// Compression codes of a device-independent bitmap.
enum DibCompression : uint32_t {
  biRgb = 0,
  biRle8 = 1,
  biRle4 = 2,
  biBitfields = 3,
  biJpeg = 4,
  biPng = 5,
  biAlphaBitfields = 6,
};

// What the header of a device-independent bitmap says, checked for sense.
struct DibHeader {
  uint32_t headerSize = 0;  // 12 (core), 40 (info), 52, 56, 108 (V4), 124 (V5)
  int32_t width = 0;
  int32_t height = 0;  // always positive; see topDown
  bool topDown = false;
  uint16_t bitCount = 0;
  uint32_t compression = biRgb;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (bit-field forms)
  bool core = false;                 // colour table of 3-byte RGBTRIPLEs
  uint32_t tableEntries = 0;         // colour-table entries stored after the header
  size_t tableOffset = 0;            // where the colour table starts, from the header start
  size_t bitsOffset = 0;             // first byte after header, masks and colour table
  // Bytes one row of pixels takes (rows are padded to 4 bytes); 0 for compressed forms.
  uint64_t stride() const { return ((uint64_t(uint32_t(width)) * bitCount + 31) / 32) * 4; }
};

// Reads and checks the header at the start of `info`, which holds the header,
// any bit-field masks and the colour table, and ends at the latest where the
// pixels begin (a colour table cut short there is used as far as it goes).
// Throws orv::Error.
DibHeader parseDibHeader(std::span<const uint8_t> info);

// A BMP file (BITMAPFILEHEADER followed by a DIB). Throws orv::Error on any
// damage; never allocates beyond kMaxImagePixels.
QImage decodeBmp(std::span<const uint8_t> file);
// Checks a BMP file's headers and the length of its pixel data without decoding.
Size bmpSize(std::span<const uint8_t> file);

// A packed DIB: header, colour table and pixels back to back, as clipboard
// data and metafile records carry it.
QImage decodeDib(std::span<const uint8_t> packed);
// A DIB whose header (with colour table) and pixels are stored apart.
QImage decodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits);
// The same with the header already parsed (and possibly adjusted: icons store
// the XOR image and the AND mask under one header whose height counts both).
QImage decodeDib(const DibHeader& header, std::span<const uint8_t> info,
                 std::span<const uint8_t> bits);

// Checks the chunk structure of PNG data embedded in a bitmap or an icon
// before the PNG library sees it: every chunk must lie inside the data, so a
// chunk claiming gigabytes cannot make the library allocate or wait for them.
// Throws orv::Error.
void checkPngChunks(std::span<const uint8_t> png);

// Writes an image as a BMP file: 24 bits per pixel, or 32 bits with a V5
// header when the image has transparency.
std::vector<uint8_t> encodeBmp(const QImage& image);

}  // namespace orv
