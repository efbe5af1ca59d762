// Block level of the page-data compressor: the decoder must refuse or decode any
// bytes without touching memory outside its two buffers, the load-time check
// must agree with it, and every block the encoder writes must decode back to
// its input.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "prepared/compressor.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly sized heap copies, so that the sanitizer sees any access past them.
  auto out = std::make_unique<uint8_t[]>(lzrw::kBlockSize);
  {
    auto in = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size) std::memcpy(in.get(), data, size);
    // The check the loader runs must refuse exactly what the decoder refuses.
    size_t decoded = SIZE_MAX, checked = SIZE_MAX;
    try {
      decoded = lzrw::decodeBlock(in.get(), size, out.get());
      if (decoded > lzrw::kBlockSize) __builtin_trap();
    } catch (const Error& e) {
      if (std::strcmp(e.what(), "Error reading compressed stream.") != 0) __builtin_trap();
    }
    try {
      checked = lzrw::checkBlock(in.get(), size);
    } catch (const Error& e) {
      if (std::strcmp(e.what(), "Error reading compressed stream.") != 0) __builtin_trap();
    }
    if (checked != decoded) __builtin_trap();
  }

  // Inputs starting with 0xFF are repeated up to a full block, so that the
  // encoder also sees long blocks and far-back matches.
  size_t n = size < lzrw::kBlockSize ? size : lzrw::kBlockSize;
  if (size && data[0] == 0xFF) n = lzrw::kBlockSize;
  auto src = std::make_unique<uint8_t[]>(n ? n : 1);
  for (size_t k = 0, rep = 0; k < n; k += size, ++rep) {
    const size_t len = std::min(size, n - k);
    std::memcpy(src.get() + k, data, len);
    if (rep) src[k + rep * 7 % len] ^= 1;  // break the repeats now and then
  }
  auto enc = std::make_unique<uint8_t[]>(lzrw::kEncodeBufferSize);
  const size_t m = lzrw::encodeBlock(src.get(), n, enc.get());
  if (m > n + 1 || m > lzrw::kMaxEncodedBlock) __builtin_trap();
  auto exact = std::make_unique<uint8_t[]>(m);
  std::memcpy(exact.get(), enc.get(), m);
  const size_t back = lzrw::decodeBlock(exact.get(), m, out.get());
  if (back != n || (n && std::memcmp(out.get(), src.get(), n) != 0)) __builtin_trap();
  return 0;
}
