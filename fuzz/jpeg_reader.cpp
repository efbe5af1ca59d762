// JPEG reader: libjpeg-turbo behind our error manager must turn every damaged
// stream into orv::Error (never exit or crash), and stop at the scan limit.
#include <cstring>
#include <memory>
#include <span>

#include "platform/error.h"
#include "platform/jpeg.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto copy = std::make_unique<uint8_t[]>(size ? size : 1);
  if (size) std::memcpy(copy.get(), data, size);
  std::span<const uint8_t> bytes(copy.get(), size);
  try {
    const Size s = jpegSize(bytes);
    // A smaller pixel limit than the reader's own keeps each run quick; the
    // paths are the same.
    const QImage img = decodeJpeg(bytes, 4'000'000);
    if (img.width() != s.cx || img.height() != s.cy) __builtin_trap();
  } catch (const Error&) {
  }
  return 0;
}
