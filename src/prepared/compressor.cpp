#include "prepared/compressor.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>

#include "prepared/frp_error.h"

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

[[noreturn]] void corrupt() {
  throw PreparedError(FrpProblem(FrpReason::CompressedDataDamaged));
}

// Shared by every block compression, so the table is never allocated per block
// or per call. Being static storage it cannot fail to exist, which is why the
// "no memory for the hash table" failure has no counterpart here.
int16_t g_hash[4096];
// Hashes of every position of the block being encoded, computed up front in a
// pass the compiler can vectorise so that the serial part of the encoder (look
// up, compare, move on) does not wait for the arithmetic. Doing the whole block
// at once costs a second-level cache's worth of reads, which the prefetcher
// hides as they go in order; shorter stretches refilled as the encoder moved on
// cost more in refills than they saved.
uint16_t g_positionHash[kBlockSize];

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Only the low 16 bits of the product reach the 12-bit index, so a 16-bit
// multiply gives the same index as the 32-bit one.
void hashPositions(const uint8_t* __restrict in, size_t count, uint16_t* __restrict out) {
  for (size_t i = 0; i < count; ++i) {
    const uint16_t h = static_cast<uint16_t>((in[i] << 8) ^ (in[i + 1] << 4) ^ in[i + 2]);
    out[i] = static_cast<uint16_t>(h * 40543u) >> 4;
  }
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
//    the output. That is also why the output never depends on bytes after n;
//  - an empty table slot holds a position so far back that it fails the
//    distance test, instead of -1 and a test of its own;
//  - far enough from the ends of the block and of the output, a group of 16
//    items cannot reach either, so the ends are tested once per group (and
//    again after a run, the only item longer than 18 bytes).
namespace {

constexpr int16_t kEmptySlot = INT16_MIN;

struct Encoder {
  const uint8_t* in;
  size_t n;
  uint8_t* out;
  int16_t* table;
  size_t ctrl = 1, y = 3, x = 0;
  unsigned items = 0;
  uint32_t word = 0;

  void flushGroupIfFull() {
    if (items > 15) {
      out[ctrl] = static_cast<uint8_t>(word >> 8);
      out[ctrl + 1] = static_cast<uint8_t>(word);
      items = 0;
      ctrl = y;
      y += 2;
    }
  }

  // A run of s >= 16 bytes starting at x.
  void emitRun(size_t s) {
    const size_t r = s - 16;
    out[y] = 0;
    out[y + 1] = static_cast<uint8_t>(r >> 8);
    out[y + 2] = static_cast<uint8_t>(r);
    out[y + 3] = in[x];
    y += 4;
    x += s;
    word = word * 2 + 1;
    ++items;
  }

  void emitCopy(size_t dist, unsigned len) {
    const unsigned k = static_cast<unsigned>(dist << 4) + (len - 3);
    out[y] = static_cast<uint8_t>(k >> 8);
    out[y + 1] = static_cast<uint8_t>(k);
    y += 2;
    x += len;
    word = word * 2 + 1;
    ++items;
  }

  void emitLiteral() {
    out[y++] = in[x++];
    word = word * 2;
    ++items;
  }

  // Length of the run at x given that its first 16 bytes are equal.
  size_t runLength(uint64_t pat) const {
    const uint8_t* p = in + x;
    const size_t rem = n - x;
    const size_t lim = rem < 4095 ? rem : 4095;
    size_t s = 16;
    for (;;) {
      if (s + 8 > lim) {
        while (s < lim && p[s] == p[0]) ++s;
        return s;
      }
      const uint64_t d = load64(p + s) ^ pat;
      if (d) return s + (std::countr_zero(d) >> 3);
      s += 8;
    }
  }

  // The main loop while at least 18 bytes remain, so every comparison the
  // reference makes can be done with whole words inside the block.
  void body() {
    const size_t fastEnd = n >= 18 ? n - 18 : 0;
    // Locals rather than members: the byte stores into `out` would otherwise
    // make the compiler reload and store the state around every item.
    const uint8_t* const src = in;
    uint8_t* const dst = out;
    int16_t* const tab = table;
    const size_t limit = n;
    size_t x_ = x, y_ = y, ctrl_ = ctrl;
    // The control word with a 1 above its items: the group is full when that
    // bit reaches bit 16, which saves a counter (and a register) per item.
    uint32_t w = word | 1u << items;
    const uint16_t* const hashes = g_positionHash;
    hashPositions(src, fastEnd, g_positionHash);

    // One item at x_, with room known to be left. Returns false after a run,
    // the only item that can move further than 18 bytes.
    auto item = [&]() __attribute__((always_inline)) {
      const uint8_t* p = src + x_;
      const uint64_t v = load64(p);
      // Bytes 0-7 equal to their neighbours, and 8-15 a copy of 0-7.
      if (((v ^ (v >> 8)) << 8) == 0 && load64(p + 8) == v) [[unlikely]] {
        x = x_;
        const size_t s = runLength(v);
        const size_t r = s - 16;
        dst[y_] = 0;
        dst[y_ + 1] = static_cast<uint8_t>(r >> 8);
        dst[y_ + 2] = static_cast<uint8_t>(r);
        dst[y_ + 3] = p[0];
        y_ += 4;
        x_ += s;
        w = w * 2 + 1;
        return false;
      }
      int16_t* slot = tab + hashes[x_];
      const int pos = *slot;
      *slot = static_cast<int16_t>(x_);
      const size_t dist = x_ - pos;  // huge for an empty slot
      if (dist < 4096) {
        const uint64_t d = v ^ load64(src + pos);
        if ((d & 0xFFFFFF) == 0) {
          const unsigned len = matchLength18(d, p, src + pos);
          const unsigned k = static_cast<unsigned>(dist << 4) + (len - 3);
          dst[y_] = static_cast<uint8_t>(k >> 8);
          dst[y_ + 1] = static_cast<uint8_t>(k);
          y_ += 2;
          w = w * 2 + 1;
          // The length waits on three loads in a row (hash, table, block).
          // Asking for the commonest lengths turns that wait into a branch
          // the processor can predict and run ahead of; the empty asm keeps
          // the compiler from folding the cases back into one addition.
          if (len == 4) {
            x_ += 4;
            asm volatile("");
          } else if (len == 18) {
            x_ += 18;
            asm volatile("");
          } else {
            x_ += len;
          }
          return true;
        }
      }
      dst[y_++] = static_cast<uint8_t>(v);
      ++x_;
      w = w * 2;
      return true;
    };

    // The last item of a group starts at most 15 items on: 18 bytes each in
    // the input (runs aside) and 4 in the output.
    constexpr size_t kGroupReach = 15 * 18;
    constexpr size_t kGroupOut = 15 * 4;
    while (x_ < fastEnd && y_ <= limit) {
      if (w >= 0x10000) {
        dst[ctrl_] = static_cast<uint8_t>(w >> 8);
        dst[ctrl_ + 1] = static_cast<uint8_t>(w);
        w = 1;
        ctrl_ = y_;
        y_ += 2;
      }
      if (w == 1 && x_ + kGroupReach < fastEnd && y_ + kGroupOut <= limit) {
        // No per-item tests of the ends; after a run they are looked at
        // again, and the rest of the group is done item by item if needed.
        do {
          if (!item() && x_ + kGroupReach >= fastEnd) [[unlikely]]
            break;
        } while (w < 0x10000);
        continue;
      }
      item();
    }
    items = static_cast<unsigned>(std::bit_width(w)) - 1;
    x = x_;
    y = y_;
    ctrl = ctrl_;
    word = w & ((1u << items) - 1);
  }

  // Common prefix length of a and b, up to 18, given d = first words xor'ed.
  // Written without branches; the caller asks about the commonest lengths.
  static unsigned matchLength18(uint64_t d, const uint8_t* a, const uint8_t* b) {
    const unsigned l1 = static_cast<unsigned>(std::countr_zero(d)) >> 3;  // 8 when d == 0
    const unsigned l2 = static_cast<unsigned>(std::countr_zero(load64(a + 8) ^ load64(b + 8))) >> 3;
    uint16_t a3, b3;
    std::memcpy(&a3, a + 16, 2);
    std::memcpy(&b3, b + 16, 2);
    const unsigned l3 =
        static_cast<unsigned>(std::countr_zero(static_cast<uint16_t>(a3 ^ b3))) >> 3;
    const unsigned tail = l2 < 8 ? l2 : 8 + l3;
    return l1 < 8 ? l1 : 8 + tail;
  }

  // The last few bytes, byte by byte.
  void tail() {
    while (x < n && y <= n) {
      flushGroupIfFull();
      const uint8_t* p = in + x;
      const size_t rem = n - x;
      if (rem >= 16) {
        const uint64_t pat = 0x0101010101010101ull * p[0];
        if (((load64(p) ^ pat) | (load64(p + 8) ^ pat)) == 0) {
          emitRun(runLength(pat));
          continue;
        }
      }
      if (rem >= 3) {
        int16_t* slot = table + hashAt(p);
        const int pos = *slot;
        *slot = static_cast<int16_t>(x);
        const size_t dist = x - pos;
        if (dist < 4096) {
          const unsigned len = matchLength(p, in + pos, rem);
          if (len >= 3) {
            emitCopy(dist, len);
            continue;
          }
        }
      }
      emitLiteral();
    }
  }
};

}  // namespace

size_t encodeBlock(const uint8_t* in, size_t n, uint8_t* out) {
  if (n > kBlockSize) throw PreparedError(FrpProblem(FrpReason::CompressedWriteFailed));
  std::fill_n(g_hash, 4096, kEmptySlot);
  out[0] = 0x40;
  Encoder e{in, n, out, g_hash};
  e.body();
  e.tail();
  const uint32_t word = e.word << (16 - e.items);
  out[e.ctrl] = static_cast<uint8_t>(word >> 8);
  out[e.ctrl + 1] = static_cast<uint8_t>(word);
  if (n >= e.y) return e.y;
  out[0] = 0x80;
  if (n) std::memcpy(out + 1, in, n);
  return n + 1;
}

namespace {

// The decoder runs whole groups of 16 items without per-byte bounds checks
// while this much input and output room is left: a group reads at most
// 2 + 16 * 4 bytes and, with the literal batches copied 16 bytes at a time,
// at most 16 past its last item; it writes at most 15 * 18 bytes plus one
// piece of up to 24 bytes (copies are moved in three 8-byte pieces, literal
// batches in one of 16, and may scribble past their end, which later items
// overwrite). Runs are checked one by one. Near the ends of the buffers the
// careful loop takes over. Copies use 8-byte pieces rather than 16 because the
// source of a copy is often output written a moment ago, and a narrower load
// is more often served whole from a single earlier store.
constexpr size_t kFastIn = 2 + 64 + 16;
constexpr size_t kFastOut = 15 * 18 + 32 + 16;

// The item-by-item walk with every bound checked, from input `ip` and output
// position `op` with `bits` items of the control word `w` left. The decoder
// finishes its blocks with it (writing into `out`); the load-time check walks
// its last items with it (counting only), so both refuse exactly the same
// inputs. Returns the decoded count.
template <bool kWrite>
size_t walkCareful(const uint8_t* ip, const uint8_t* iend, uint8_t* out, size_t op, uint32_t w,
                   unsigned bits) {
  while (ip < iend) {
    if (bits == 0) {
      if (iend - ip < 3) corrupt();  // a control word needs at least one item after it
      w = static_cast<uint32_t>(ip[0] << 8 | ip[1]) << 16;
      ip += 2;
      bits = 16;
    }
    if (!(w & 0x80000000u)) {
      if (op == kBlockSize) corrupt();
      if constexpr (kWrite) out[op] = *ip;
      ++op;
      ++ip;
    } else {
      if (iend - ip < 2) corrupt();
      const unsigned b1 = ip[1];
      const unsigned off = static_cast<unsigned>(ip[0]) << 4 | b1 >> 4;
      if (off) {
        const unsigned len = (b1 & 15) + 3;
        if (off > op || len > kBlockSize - op) corrupt();
        if constexpr (kWrite)
          for (unsigned k = 0; k < len; ++k) out[op + k] = out[op - off + k];
        op += len;
        ip += 2;
      } else {
        if (iend - ip < 4) corrupt();
        const size_t count = (b1 << 8 | ip[2]) + 16;
        if (count > kBlockSize - op) corrupt();
        if constexpr (kWrite) std::memset(out + op, ip[3], count);
        op += count;
        ip += 4;
      }
    }
    w <<= 1;
    --bits;
  }
  return op;
}

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
        {
          // The literals before the next copy, possibly none: done without
          // asking first, as whether there are any is as random as the data.
          const unsigned zeros = static_cast<unsigned>(std::countl_zero(w));  // 32 when w == 0
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
          if (off >= 8) {
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
  return walkCareful<true>(ip, iend, out, static_cast<size_t>(op - out), w, bits);
}

size_t checkBlock(const uint8_t* in, size_t m) {
  if (m < 2) return 0;
  if (m > kMaxEncodedBlock) corrupt();
  if (in[0] == 0x80) return m - 1;
  if (m < 4) corrupt();

  // The decoder's walk without its writes. The output position only grows, so
  // finding it past the block size at the end of a group of items fails the
  // same inputs as the decoder's check before each write.
  const uint8_t* ip = in + 3;
  const uint8_t* const iend = in + m;
  size_t op = 0;
  uint32_t w = static_cast<uint32_t>(in[1] << 8 | in[2]) << 16;
  constexpr size_t kGroupIn = 16 * 4 + 2;  // the most a group and the next control word read
  while (static_cast<size_t>(iend - ip) >= kGroupIn) {
    unsigned left = 16;
    while (left) {
      const unsigned zeros = static_cast<unsigned>(std::countl_zero(w));
      const unsigned lit = zeros < left ? zeros : left;
      op += lit;
      ip += lit;
      left -= lit;
      w <<= lit;
      if (!left) break;
      const unsigned b1 = ip[1];
      const unsigned off = static_cast<unsigned>(ip[0]) << 4 | b1 >> 4;
      if (off) {
        if (off > op) corrupt();
        op += (b1 & 15) + 3;
        ip += 2;
      } else {
        op += (b1 << 8 | ip[2]) + 16;
        ip += 4;
      }
      w <<= 1;
      --left;
    }
    if (op > kBlockSize) corrupt();
    if (ip == iend) return op;
    if (iend - ip < 3) corrupt();  // a control word needs at least one item after it
    w = static_cast<uint32_t>(ip[0] << 8 | ip[1]) << 16;
    ip += 2;
  }
  return walkCareful<false>(ip, iend, nullptr, op, w, 16);
}

namespace {

// The framing of a compressed stream: a size field that readers skip, then
// blocks up to the first that decodes to less than a whole block.
template <class DecodeFn>
size_t walkStream(const uint8_t* in, size_t n, DecodeFn&& decode) {
  if (n < 4) corrupt();
  size_t pos = 4, count;
  do {
    if (n - pos < 2) corrupt();
    const size_t m = size_t(in[pos]) | size_t(in[pos + 1]) << 8;
    pos += 2;
    if (m > kMaxEncodedBlock || m > n - pos) corrupt();
    count = decode(in + pos, m);
    pos += m;
  } while (count == kBlockSize);
  return pos;
}

}  // namespace

size_t decodeStream(const uint8_t* in, size_t n, uint8_t* scratch,
                    const std::function<void(const uint8_t*, size_t)>& sink) {
  return walkStream(in, n, [&](const uint8_t* block, size_t m) {
    if (m >= 2 && block[0] == 0x80) {
      // Stored blocks go straight to the sink.
      sink(block + 1, m - 1);
      return m - 1;
    }
    const size_t count = decodeBlock(block, m, scratch);
    sink(scratch, count);
    return count;
  });
}

size_t checkStream(const uint8_t* in, size_t n, size_t& unpacked) {
  unpacked = 0;
  return walkStream(in, n, [&](const uint8_t* block, size_t m) {
    const size_t count = checkBlock(block, m);
    unpacked += count;
    return count;
  });
}

}  // namespace lzrw

void TLZWCompressor::Compress(MemoryStream& source, MemoryStream& dest) {
  if (OnBeforeCompress) OnBeforeCompress(*this);
  try {
    dest.seek(dest.size());
    // Encoding shares the process-wide hash table already, so one buffer for
    // every call costs no reentrancy that was there; and the destination is
    // sized once for the worst case (every block stored) instead of growing.
    static uint8_t buffer[lzrw::kEncodeBufferSize];
    const size_t blocks = source.remaining() / lzrw::kBlockSize + 1;
    const size_t need = dest.size() + 4 + source.remaining() + blocks * 3;
    const size_t capacity = dest.bytes().capacity();
    // Doubling at least, so that many calls appending to one stream stay linear.
    if (need > capacity) dest.reserve(std::max(need, 2 * capacity));
    // The size field counts the whole source, as the original writer did; the
    // reader skips it.
    dest.writeI32(static_cast<int32_t>(static_cast<uint32_t>(source.size())));
    size_t r;
    do {
      const size_t avail = source.remaining();
      r = avail < lzrw::kBlockSize ? avail : lzrw::kBlockSize;
      const size_t m = lzrw::encodeBlock(source.data() + source.position(), r, buffer);
      source.skip(r);
      dest.writeU16(static_cast<uint16_t>(m));
      dest.write(buffer, m);
    } while (r == lzrw::kBlockSize);
  } catch (...) {
    throw PreparedError(FrpProblem(FrpReason::CompressedWriteFailed));
  }
  if (OnAfterCompress) OnAfterCompress(*this);
}

void TLZWCompressor::Decompress(MemoryStream& source, MemoryStream& dest) {
  if (OnBeforeDecompress) OnBeforeDecompress(*this);
  try {
    dest.seek(dest.size());
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(lzrw::kBlockSize);
    const size_t used =
        lzrw::decodeStream(source.data() + source.position(), source.remaining(), buffer.get(),
                           [&](const uint8_t* p, size_t count) { dest.write(p, count); });
    source.skip(used);
    dest.rewind();
  } catch (...) {
    throw PreparedError(FrpProblem(FrpReason::CompressedDataDamaged));
  }
  if (OnAfterDecompress) OnAfterDecompress(*this);
}

}  // namespace orv
