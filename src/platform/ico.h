#pragma once
#include <QImage>
#include <cstdint>
#include <span>

#include "platform/geometry.h"

namespace orv {

// An ICO (or CUR) file: the directory names several images of one icon; the
// largest one, then the one with the most colours, is chosen. Each image is a
// DIB with an XOR image and an AND mask (its header counts both in the height)
// or an embedded PNG. Throws orv::Error when no image is usable.
QImage decodeIco(std::span<const uint8_t> file);

// The size of the image decodeIco would choose, checking the headers only.
Size icoSize(std::span<const uint8_t> file);

}  // namespace orv
