#include "prepared/compressor.h"

#include <bit>
#include <cstring>
#include <memory>

namespace orv {

namespace {

TfrCompressor& baseCompressor() {
  static TfrCompressor base;
  return base;
}

TfrCompressor* g_current = nullptr;

}  // namespace

TfrCompressor& currentCompressor() {
  return g_current ? *g_current : baseCompressor();
}

TfrLZWCompressor::TfrLZWCompressor() : compressor_(std::make_unique<TLZWCompressor>()) {
  g_current = compressor_.get();
}

TfrLZWCompressor::~TfrLZWCompressor() {
  // Only give the slot back if a later component has not taken it over.
  if (g_current == compressor_.get()) g_current = nullptr;
}

bool TfrLZWCompressor::enabled() const {
  return compressor_->Enabled;
}

void TfrLZWCompressor::setEnabled(bool on) {
  compressor_->Enabled = on;
}

namespace lzrw {

namespace {

constexpr const char* kReadError = "Error reading compressed stream.";
constexpr const char* kWriteError = "Error writing compressed stream.";

[[noreturn]] void corrupt() {
  throw Error(kReadError);
}

// Shared by every block compression, so the table is never allocated per block
// or per call. Being static storage it cannot fail to exist, which is why the
// "no memory for the hash table" failure has no counterpart here.
int16_t g_hash[4096];

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline unsigned hashAt(const uint8_t* p) {
  uint32_t h = ((static_cast<uint32_t>(p[0]) << 4) ^ p[1]) << 4 ^ p[2];
  return ((h * 40543u) >> 4) & 0x0FFF;
}

// Length of the common prefix of a and b, at most `limit` (<= 18) bytes.
inline unsigned matchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  if (limit >= 18) {
    uint64_t d = load64(a) ^ load64(b);
    if (d) return std::countr_zero(d) >> 3;
    d = load64(a + 8) ^ load64(b + 8);
    if (d) return 8 + (std::countr_zero(d) >> 3);
    if (a[16] != b[16]) return 16;
    return a[17] != b[17] ? 17 : 18;
  }
  unsigned l = 0;
  while (l < limit && a[l] == b[l]) ++l;
  return l;
}

}  // namespace

// Every decision below reproduces the reference LZRW1/KH encoder exactly, so
// that files written here are byte-identical to the original writer's. Where it
// differs from a literal transcription it only avoids work whose outcome is
// already known:
//  - a run needs at least 16 equal bytes, so the run test looks at 16 bytes at
//    once and counts the exact length only when they all match;
//  - within 3 bytes of the end no match of length 3 can exist, and none of the
//    positions after it can match either, so the hash (which would read past
//    the block) and its table update are skipped there without any effect on
//    the output. That is also why the output never depends on bytes after n.
size_t encodeBlock(const uint8_t* in, size_t n, uint8_t* out) {
  if (n > kBlockSize) throw Error(kWriteError);
  std::memset(g_hash, 0xFF, sizeof g_hash);  // every entry -1
  int16_t* const table = g_hash;

  out[0] = 0x40;
  size_t ctrl = 1, y = 3, x = 0;
  unsigned items = 0;
  uint32_t word = 0;
  while (x < n && y <= n) {
    if (items > 15) {
      out[ctrl] = static_cast<uint8_t>(word >> 8);
      out[ctrl + 1] = static_cast<uint8_t>(word);
      items = 0;
      ctrl = y;
      y += 2;
    }
    const uint8_t* p = in + x;
    const size_t rem = n - x;
    if (rem >= 16) {
      const uint64_t pat = 0x0101010101010101ull * p[0];
      if (((load64(p) ^ pat) | (load64(p + 8) ^ pat)) == 0) {
        const size_t lim = rem < 4095 ? rem : 4095;
        size_t s = 16;
        for (;;) {
          if (s + 8 > lim) {
            while (s < lim && p[s] == p[0]) ++s;
            break;
          }
          const uint64_t d = load64(p + s) ^ pat;
          if (d) {
            s += std::countr_zero(d) >> 3;
            break;
          }
          s += 8;
        }
        const size_t r = s - 16;
        out[y] = 0;
        out[y + 1] = static_cast<uint8_t>(r >> 8);
        out[y + 2] = static_cast<uint8_t>(r);
        out[y + 3] = p[0];
        y += 4;
        x += s;
        word = word * 2 + 1;
        ++items;
        continue;
      }
    }
    if (rem >= 3) {
      int16_t* slot = table + hashAt(p);
      const int pos = *slot;
      *slot = static_cast<int16_t>(x);
      if (pos != -1 && x - static_cast<size_t>(pos) < 4096) {
        const unsigned len = matchLength(p, in + pos, rem);
        if (len >= 3) {
          const unsigned k = static_cast<unsigned>((x - pos) << 4) + (len - 3);
          out[y] = static_cast<uint8_t>(k >> 8);
          out[y + 1] = static_cast<uint8_t>(k);
          y += 2;
          x += len;
          word = word * 2 + 1;
          ++items;
          continue;
        }
      }
    }
    out[y++] = p[0];
    ++x;
    word = word * 2;
    ++items;
  }
  word <<= 16 - items;
  out[ctrl] = static_cast<uint8_t>(word >> 8);
  out[ctrl + 1] = static_cast<uint8_t>(word);
  if (n >= y) return y;
  out[0] = 0x80;
  if (n) std::memcpy(out + 1, in, n);
  return n + 1;
}

namespace {

// The decoder runs whole groups of 16 items without per-byte bounds checks
// while this much input and output room is left: a group reads at most
// 2 + 16 * 4 bytes and, with the literal batches copied 16 bytes at a time,
// at most 16 past its last item; it writes at most 15 * 18 bytes plus one
// copy of up to 32 bytes (copies are moved in fixed 8- or 16-byte pieces and
// may scribble past their end, which later items overwrite). Runs are checked
// one by one. Near the ends of the buffers the careful loop takes over.
constexpr size_t kFastIn = 2 + 64 + 16;
constexpr size_t kFastOut = 15 * 18 + 32 + 16;

}  // namespace

size_t decodeBlock(const uint8_t* in, size_t m, uint8_t* out) {
  if (m < 2) return 0;
  if (m > kMaxEncodedBlock) corrupt();
  if (in[0] == 0x80) {
    std::memcpy(out, in + 1, m - 1);
    return m - 1;
  }
  if (m < 4) corrupt();  // a control word and at least one item

  const uint8_t* ip = in + 3;
  const uint8_t* const iend = in + m;
  uint8_t* op = out;
  uint8_t* const oend = out + kBlockSize;
  // The control word sits left-aligned in 32 bits so that the count of
  // leading zeros gives the number of literals ahead.
  uint32_t w = static_cast<uint32_t>(in[1] << 8 | in[2]) << 16;
  unsigned bits = 16;

  if (static_cast<size_t>(iend - ip) >= kFastIn - 2 && static_cast<size_t>(oend - op) >= kFastOut) {
    for (;;) {
      unsigned left = 16;
      while (left) {
        if (!(w & 0x80000000u)) {
          const unsigned zeros = w ? static_cast<unsigned>(std::countl_zero(w)) : 32;
          const unsigned lit = zeros < left ? zeros : left;
          std::memcpy(op, ip, 16);
          op += lit;
          ip += lit;
          left -= lit;
          w <<= lit;
          if (!left) break;
        }
        const unsigned b1 = ip[1];
        const unsigned off = static_cast<unsigned>(ip[0]) << 4 | b1 >> 4;
        if (off) {
          const unsigned len = (b1 & 15) + 3;
          if (off > static_cast<size_t>(op - out)) corrupt();
          const uint8_t* src = op - off;
          if (off >= 16) {
            std::memcpy(op, src, 16);
            std::memcpy(op + 16, src + 16, 16);
          } else if (off >= 8) {
            std::memcpy(op, src, 8);
            std::memcpy(op + 8, src + 8, 8);
            std::memcpy(op + 16, src + 16, 8);
          } else {
            for (unsigned k = 0; k < len; ++k) op[k] = src[k];
          }
          op += len;
          ip += 2;
        } else {
          const size_t count = (b1 << 8 | ip[2]) + 16;
          if (count > static_cast<size_t>(oend - op)) corrupt();
          std::memset(op, ip[3], count);
          op += count;
          ip += 4;
          if (static_cast<size_t>(oend - op) < kFastOut) {
            w <<= 1;
            bits = left - 1;
            goto careful;
          }
        }
        w <<= 1;
        --left;
      }
      bits = 0;
      if (static_cast<size_t>(iend - ip) < kFastIn || static_cast<size_t>(oend - op) < kFastOut)
        break;
      w = static_cast<uint32_t>(ip[0] << 8 | ip[1]) << 16;
      ip += 2;
    }
  }

careful:
  while (ip < iend) {
    if (bits == 0) {
      if (iend - ip < 3) corrupt();  // a control word needs at least one item after it
      w = static_cast<uint32_t>(ip[0] << 8 | ip[1]) << 16;
      ip += 2;
      bits = 16;
    }
    if (!(w & 0x80000000u)) {
      if (op == oend) corrupt();
      *op++ = *ip++;
    } else {
      if (iend - ip < 2) corrupt();
      const unsigned b1 = ip[1];
      const unsigned off = static_cast<unsigned>(ip[0]) << 4 | b1 >> 4;
      if (off) {
        const unsigned len = (b1 & 15) + 3;
        if (off > static_cast<size_t>(op - out) || len > static_cast<size_t>(oend - op)) corrupt();
        const uint8_t* src = op - off;
        for (unsigned k = 0; k < len; ++k) op[k] = src[k];
        op += len;
        ip += 2;
      } else {
        if (iend - ip < 4) corrupt();
        const size_t count = (b1 << 8 | ip[2]) + 16;
        if (count > static_cast<size_t>(oend - op)) corrupt();
        std::memset(op, ip[3], count);
        op += count;
        ip += 4;
      }
    }
    w <<= 1;
    --bits;
  }
  return static_cast<size_t>(op - out);
}

}  // namespace lzrw

void TLZWCompressor::Compress(MemoryStream& source, MemoryStream& dest) {
  if (OnBeforeCompress) OnBeforeCompress(*this);
  try {
    dest.seek(dest.size());
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(lzrw::kEncodeBufferSize);
    // The size field counts the whole source, as the original writer did; the
    // reader skips it.
    dest.writeI32(static_cast<int32_t>(static_cast<uint32_t>(source.size())));
    size_t r;
    do {
      const size_t avail = source.remaining();
      r = avail < lzrw::kBlockSize ? avail : lzrw::kBlockSize;
      const size_t m = lzrw::encodeBlock(source.data() + source.position(), r, buffer.get());
      source.skip(r);
      dest.writeU16(static_cast<uint16_t>(m));
      dest.write(buffer.get(), m);
    } while (r == lzrw::kBlockSize);
  } catch (...) {
    throw Error(lzrw::kWriteError);
  }
  if (OnAfterCompress) OnAfterCompress(*this);
}

void TLZWCompressor::Decompress(MemoryStream& source, MemoryStream& dest) {
  if (OnBeforeDecompress) OnBeforeDecompress(*this);
  try {
    dest.seek(dest.size());
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(lzrw::kBlockSize);
    source.skip(4);
    size_t count;
    do {
      const size_t m = source.readU16();
      if (m > lzrw::kMaxEncodedBlock) lzrw::corrupt();
      const uint8_t* block = source.readSpan(m).data();
      if (m >= 2 && block[0] == 0x80) {
        // Stored blocks go straight to the destination.
        count = m - 1;
        dest.write(block + 1, count);
      } else {
        count = lzrw::decodeBlock(block, m, buffer.get());
        dest.write(buffer.get(), count);
      }
    } while (count == lzrw::kBlockSize);
    dest.rewind();
  } catch (...) {
    throw Error(lzrw::kReadError);
  }
  if (OnAfterDecompress) OnAfterDecompress(*this);
}

}  // namespace orv
