#pragma once
#include <QImage>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/geometry.h"

namespace orv {

// Decodes JPEG (JFIF, Exif or Adobe) data: greyscale, YCbCr or RGB, and CMYK or
// YCCK including the inverted form Adobe applications write. Refuses images of
// more than `maxPixels` pixels before allocating anything for them. Throws
// orv::Error with the library's message on damaged data; damage inside the
// compressed pixels is tolerated as far as the library recovers from it.
QImage decodeJpeg(std::span<const uint8_t> data, uint64_t maxPixels = 100'000'000);

// Reads only the headers: the image's size in pixels.
Size jpegSize(std::span<const uint8_t> data);

// Encodes an image as JFIF with the given quality (1 to 100); transparent
// images are laid on white first, greyscale images stay greyscale.
std::vector<uint8_t> encodeJpeg(const QImage& image, int quality = 75);

}  // namespace orv
