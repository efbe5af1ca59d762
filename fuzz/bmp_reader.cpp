// BMP reader: any bytes, as a file or as a packed DIB, either decode to an
// image of the size the headers promise or raise orv::Error; nothing else.
#include <cstring>
#include <memory>
#include <span>

#include "platform/bmp.h"
#include "platform/error.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exactly sized heap copy, so that the sanitizer sees any read past it.
  auto copy = std::make_unique<uint8_t[]>(size ? size : 1);
  if (size) std::memcpy(copy.get(), data, size);
  std::span<const uint8_t> bytes(copy.get(), size);
  try {
    const Size s = bmpSize(bytes);
    const QImage img = decodeBmp(bytes);
    if (img.width() != s.cx || img.height() != s.cy) __builtin_trap();
  } catch (const Error&) {
  }
  try {
    const DibHeader h = parseDibHeader(bytes);
    const QImage img = decodeDib(bytes);
    if (img.width() != h.width || img.height() != h.height) __builtin_trap();
  } catch (const Error&) {
  }
  return 0;
}
