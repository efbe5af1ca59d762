// ICO reader: any bytes decode to the image the directory's chosen entry
// describes, or raise orv::Error.
#include <cstring>
#include <memory>
#include <span>

#include "platform/error.h"
#include "platform/ico.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto copy = std::make_unique<uint8_t[]>(size ? size : 1);
  if (size) std::memcpy(copy.get(), data, size);
  std::span<const uint8_t> bytes(copy.get(), size);
  try {
    const Size s = icoSize(bytes);
    const QImage img = decodeIco(bytes);
    if (img.width() != s.cx || img.height() != s.cy) __builtin_trap();
  } catch (const Error&) {
  }
  return 0;
}
