// Stream level of the page-data compressor: any bytes either decompress or fail
// with the fixed read error, and compressing then decompressing gives back the
// source.
#include <cstring>

#include "prepared/compressor.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLZWCompressor c;
  {
    MemoryStream in(std::vector<uint8_t>(data, data + size)), out(std::vector<uint8_t>{1, 2});
    bool refused = false;
    try {
      c.Decompress(in, out);
      if (out.position() != 0 || in.position() > size) __builtin_trap();
    } catch (const Error& e) {
      if (std::strcmp(e.what(), "Error reading compressed stream.") != 0) __builtin_trap();
      refused = true;
    }
    // The loader's check reads as far and finds as much as the decoder.
    try {
      size_t unpacked = 0;
      const size_t used = lzrw::checkStream(data, size, unpacked);
      if (refused || used != in.position() || unpacked != out.size() - 2) __builtin_trap();
    } catch (const Error&) {
      if (!refused) __builtin_trap();
    }
    if (out.size() < 2 || out.bytes()[0] != 1 || out.bytes()[1] != 2) __builtin_trap();
  }
  {
    // Stretch small inputs past the block size now and then, so that multi-block
    // streams and the trailing empty block get exercised too.
    std::vector<uint8_t> src(data, data + size);
    if (size && data[0] == 0xFF)
      while (src.size() < 3 * lzrw::kBlockSize / 2) src.insert(src.end(), data, data + size);
    MemoryStream in(src), packed, out;
    c.Compress(in, packed);
    packed.rewind();
    c.Decompress(packed, out);
    if (out.bytes() != src || !packed.atEnd()) __builtin_trap();
  }
  return 0;
}
