#include "prepared/compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;
using lzrw::kBlockSize;

const char* const kReadError = "Error reading compressed stream.";

// ---------------------------------------------------------------------------
// Reference LZRW1/KH, written as plainly as possible from the algorithm: one
// byte at a time, 16-bit control word, slack bytes after the block that the
// hash and the comparisons are allowed to read.

bool refGetMatch(const Bytes& in, size_t x, size_t n, int16_t* table, size_t& pos, size_t& len) {
  uint32_t h = ((static_cast<uint32_t>(in[x]) << 4) ^ in[x + 1]) << 4 ^ in[x + 2];
  h = (h * 40543u) >> 4;
  const unsigned index = h & 0x0FFF;
  bool found = false;
  const int16_t p = table[index];
  if (p != -1 && x - p < 4096) {
    pos = p;
    len = 0;
    while (len < 18 && in[x + len] == in[pos + len] && x + len < n) ++len;
    found = len >= 3;
  }
  table[index] = static_cast<int16_t>(x);
  return found;
}

Bytes refEncodeBlock(const uint8_t* src, size_t n, uint8_t slack) {
  Bytes in(src, src + n);
  in.resize(n + 16, slack);
  Bytes out(kBlockSize + 16);
  int16_t table[4096];
  std::fill(std::begin(table), std::end(table), -1);
  out[0] = 0x40;
  size_t c = 1, y = 3, x = 0;
  unsigned b = 0;
  uint16_t w = 0;
  while (x < n && y <= n) {
    if (b > 15) {
      out[c] = w >> 8;
      out[c + 1] = w & 0xFF;
      b = 0;
      c = y;
      y += 2;
    }
    size_t s = 1;
    while (in[x + s] == in[x] && s < 4095 && x + s < n) ++s;
    size_t pos, len;
    if (s >= 16) {
      out[y] = 0;
      out[y + 1] = (s - 16) >> 8;
      out[y + 2] = (s - 16) & 0xFF;
      out[y + 3] = in[x];
      y += 4;
      x += s;
      w = w * 2 + 1;
    } else if (refGetMatch(in, x, n, table, pos, len)) {
      const unsigned k = ((x - pos) << 4) + (len - 3);
      out[y] = k >> 8;
      out[y + 1] = k & 0xFF;
      y += 2;
      x += len;
      w = w * 2 + 1;
    } else {
      out[y++] = in[x++];
      w = w * 2;
    }
    ++b;
  }
  w = static_cast<uint16_t>(w << (16 - b));
  out[c] = w >> 8;
  out[c + 1] = w & 0xFF;
  if (n >= y) return Bytes(out.begin(), out.begin() + y);
  Bytes stored{0x80};
  stored.insert(stored.end(), src, src + n);
  return stored;
}

Bytes refCompress(const Bytes& src) {
  Bytes out(4);
  const uint32_t size = static_cast<uint32_t>(src.size());
  std::memcpy(out.data(), &size, 4);
  size_t at = 0, r;
  do {
    r = std::min(kBlockSize, src.size() - at);
    Bytes block = refEncodeBlock(src.data() + at, r, 0);
    at += r;
    out.push_back(block.size() & 0xFF);
    out.push_back(block.size() >> 8);
    out.insert(out.end(), block.begin(), block.end());
  } while (r == kBlockSize);
  return out;
}

// A strict reading of a block: anything a writer cannot produce (reading past
// the block, writing past 32,768 bytes, copying from before the block, a
// control word with no item after it) is refused.
struct Corrupt {};

Bytes refDecodeBlock(const Bytes& in) {
  const size_t m = in.size();
  Bytes out;
  if (m < 2) return out;
  if (m > kBlockSize + 1) throw Corrupt{};
  if (in[0] == 0x80) return Bytes(in.begin() + 1, in.end());
  auto at = [&](size_t i) {
    if (i >= m) throw Corrupt{};
    return in[i];
  };
  auto put = [&](uint8_t v) {
    if (out.size() >= kBlockSize) throw Corrupt{};
    out.push_back(v);
  };
  uint16_t w = at(1) << 8 | at(2);
  size_t i = 3;
  int bits = 16;
  if (i >= m) throw Corrupt{};
  while (i < m) {
    if (bits == 0) {
      w = at(i) << 8 | at(i + 1);
      i += 2;
      bits = 16;
      if (i >= m) throw Corrupt{};
    }
    if (!(w & 0x8000)) {
      put(at(i++));
    } else {
      const unsigned b0 = at(i), b1 = at(i + 1);
      const unsigned off = b0 * 16 + b1 / 16;
      if (off) {
        if (off > out.size()) throw Corrupt{};
        for (unsigned k = 0; k < (b1 & 0x0F) + 3u; ++k) put(out[out.size() - off]);
        i += 2;
      } else {
        const unsigned count = b1 * 256 + at(i + 2) + 16;
        const uint8_t v = at(i + 3);
        for (unsigned k = 0; k < count; ++k) put(v);
        i += 4;
      }
    }
    w <<= 1;
    --bits;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Test data: the kinds of bytes page streams hold.

Bytes randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

Bytes textBytes(size_t n, uint32_t seed) {
  static const char* const words[] = {
      "relatório", "cliente", "valor", "total",  "de",      "da",         "pedido",     "R$",
      "São",       "Paulo",   "nota",  "fiscal", "emissão", "vencimento", "quantidade", "unidade"};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    std::string w = rng() % 4 ? words[rng() % 16] : std::to_string(rng() % 100000);
    b.insert(b.end(), w.begin(), w.end());
    b.push_back(rng() % 9 ? ' ' : '\r');
  }
  b.resize(n);
  return b;
}

Bytes runBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) b.insert(b.end(), 1 + rng() % (rng() % 2 ? 20 : 5000), rng() % 4);
  b.resize(n);
  return b;
}

Bytes mixedBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const size_t len = 1 + rng() % 700;
    Bytes part;
    switch (rng() % 4) {
      case 0:
        part = randomBytes(len, rng());
        break;
      case 1:
        part = textBytes(len, rng());
        break;
      case 2:
        part = runBytes(len, rng());
        break;
      default:  // little-endian int32 fields with small values, as geometry is stored
        for (size_t k = 0; k < len / 4; ++k) {
          const uint32_t v = rng() % 1200;
          for (int s = 0; s < 32; s += 8) part.push_back(static_cast<uint8_t>(v >> s));
        }
    }
    b.insert(b.end(), part.begin(), part.end());
  }
  b.resize(n);
  return b;
}

const size_t kSizes[] = {0,     1,     2,     3,     4,     5,     15,    16,    17,
                         18,    19,    20,    31,    100,   4095,  4096,  4097,  8191,
                         32767, 32768, 32769, 40000, 65535, 65536, 65537, 98304, 100001};

struct Kind {
  const char* name;
  Bytes (*make)(size_t, uint32_t);
};
const Kind kKinds[] = {
    {"random", randomBytes}, {"text", textBytes}, {"runs", runBytes}, {"mixed", mixedBytes}};

Bytes compress(const Bytes& src) {
  MemoryStream in(src), out;
  TLZWCompressor().Compress(in, out);
  return out.bytes();
}

Bytes decompress(const Bytes& packed) {
  MemoryStream in(packed), out;
  TLZWCompressor().Decompress(in, out);
  return out.bytes();
}

Bytes encode(const Bytes& block) {
  Bytes out(lzrw::kEncodeBufferSize);
  out.resize(lzrw::encodeBlock(block.data(), block.size(), out.data()));
  return out;
}

Bytes decode(const Bytes& block) {
  Bytes out(kBlockSize);
  out.resize(lzrw::decodeBlock(block.data(), block.size(), out.data()));
  return out;
}

void expectReadError(const Bytes& packed) {
  try {
    decompress(packed);
    ADD_FAILURE() << "corrupt stream accepted";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), kReadError);
  }
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

Bytes record(const Bytes& block) {
  return concat(
      {{static_cast<uint8_t>(block.size()), static_cast<uint8_t>(block.size() >> 8)}, block});
}

const Bytes kHeader{0, 0, 0, 0};

// ---------------------------------------------------------------------------

TEST(LzrwFormat, SmallSourcesGiveTheDocumentedBytes) {
  EXPECT_EQ(compress({}), (Bytes{0, 0, 0, 0, 1, 0, 0x80}));
  EXPECT_EQ(compress({'a', 'b', 'c'}), (Bytes{3, 0, 0, 0, 4, 0, 0x80, 'a', 'b', 'c'}));
  EXPECT_EQ(decompress({0, 0, 0, 0, 1, 0, 0x80}), Bytes{});
  // Blocks of one or two bytes cannot shrink, so they are stored.
  EXPECT_EQ(encode({7}), (Bytes{0x80, 7}));
  EXPECT_EQ(encode({7, 7}), (Bytes{0x80, 7, 7}));
  EXPECT_EQ(encode({1, 2}), (Bytes{0x80, 1, 2}));
}

TEST(LzrwFormat, ExactMultipleOfTheBlockSizeEndsWithAnEmptyBlock) {
  for (size_t blocks : {1, 2}) {
    const Bytes src = textBytes(blocks * kBlockSize, 5);
    const Bytes packed = compress(src);
    MemoryStream s(packed);
    EXPECT_EQ(s.readU32(), blocks * kBlockSize);
    for (size_t k = 0; k < blocks; ++k) s.skip(s.readU16());
    EXPECT_EQ(s.readU16(), 1);
    EXPECT_EQ(s.readU8(), 0x80);
    EXPECT_TRUE(s.atEnd());
    EXPECT_EQ(decompress(packed), src);
  }
}

TEST(LzrwFormat, RunsOfEqualBytes) {
  // 4,095 equal bytes: one run item of count 4095 (stored as 4095 - 16 = 0x0FEF).
  EXPECT_EQ(encode(Bytes(4095, 'A')), (Bytes{0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 'A'}));
  // 4,096: the same run, then a literal; control bits 1,0.
  EXPECT_EQ(encode(Bytes(4096, 'A')), (Bytes{0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 'A', 'A'}));
  // 16 is the shortest run: count field 0.
  EXPECT_EQ(encode(Bytes(16, 'A')), (Bytes{0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 'A'}));
  // 15 equal bytes are no run: a literal, then a copy at offset 1 of the 14
  // remaining bytes (K = 1 << 4 | 14 - 3 = 0x001B); control bits 0,1.
  EXPECT_EQ(encode(Bytes(15, 'A')), (Bytes{0x40, 0x40, 0x00, 'A', 0x00, 0x1B}));
}

TEST(LzrwFormat, CopiesAreLimitedTo18BytesAnd4095Back) {
  // "abcd" * 10: four literals; at 4 "abc" was last seen at 0, a copy of 18;
  // at 22 "cda" was last seen at 2, offset 20, the last 18 bytes. Control bits
  // 0000 11: K = 4 << 4 | 15 = 0x004F and 20 << 4 | 15 = 0x014F.
  Bytes src;
  for (int k = 0; k < 10; ++k) src.insert(src.end(), {'a', 'b', 'c', 'd'});
  const Bytes enc = encode(src);
  EXPECT_EQ(enc, (Bytes{0x40, 0x0C, 0x00, 'a', 'b', 'c', 'd', 0x00, 0x4F, 0x01, 0x4F}));
  EXPECT_EQ(decode(enc), src);

  // 18 distinct bytes, a run of zeros (runs leave the hash table alone), and
  // the 18 bytes again `dist` after the first copy.
  for (size_t dist : {4095, 4096}) {
    Bytes b;
    for (uint8_t c = 'A'; c < 'A' + 18; ++c) b.push_back(c);
    b.resize(dist, 0);
    b.insert(b.end(), b.begin(), b.begin() + 18);
    const Bytes e = encode(b);
    EXPECT_EQ(e, refEncodeBlock(b.data(), b.size(), 0));
    // 18 literals and one run; then either one copy of 18
    // from 4,095 back (K = 0xFFF << 4 | 15) or, 4,096 back being out of
    // reach for every byte, 18 more literals (and a third control word).
    if (dist == 4095) {
      EXPECT_EQ(e.size(), 3u + 18 + 4 + 2 + 2);
      EXPECT_EQ(Bytes(e.end() - 2, e.end()), (Bytes{0xFF, 0xFF}));
    } else {
      EXPECT_EQ(e.size(), 3u + 18 + 4 + 2 + 18 + 2);
      EXPECT_EQ(Bytes(e.end() - 5, e.end()), (Bytes{'N', 'O', 'P', 'Q', 'R'}));
    }
    EXPECT_EQ(decode(e), b);
  }
}

TEST(LzrwEncoder, MatchesTheReferenceEncoderBlockForBlock) {
  uint32_t seed = 1;
  for (const Kind& kind : kKinds) {
    for (size_t n : kSizes) {
      const Bytes src = kind.make(n, seed++);
      const Bytes packed = compress(src);
      ASSERT_EQ(packed, refCompress(src)) << kind.name << " " << n;
      if (n <= kBlockSize) {
        // What the block encoder does must not depend on bytes after the block.
        EXPECT_EQ(refEncodeBlock(src.data(), n, 0), refEncodeBlock(src.data(), n, 0xFF));
        EXPECT_EQ(encode(src), refEncodeBlock(src.data(), n, 0xA5)) << kind.name << " " << n;
      }
    }
  }
}

TEST(LzrwEncoder, MatchesTheReferenceOnShortPeriodicPatterns) {
  // Runs just under and over 16 and copies that overlap themselves.
  for (size_t period = 1; period <= 20; ++period) {
    for (size_t n : {14, 15, 16, 17, 18, 19, 33, 35, 300, 5000}) {
      Bytes src(n);
      for (size_t k = 0; k < n; ++k)
        src[k] = static_cast<uint8_t>(k % period == 0 ? 'x' : 'a' + k % period);
      ASSERT_EQ(encode(src), refEncodeBlock(src.data(), n, 0)) << period << " " << n;
      ASSERT_EQ(decode(encode(src)), src);
    }
  }
}

TEST(LzrwEncoder, MatchesTheReferenceNearTheEndsOfBlockAndOutput) {
  // Runs of the lengths where the run item changes shape, ending at every
  // distance from the block end up to a few copy lengths: the encoder stops
  // looking ahead in whole words there.
  for (size_t len : {16, 17, 4095, 4096, 4111}) {
    for (size_t gap = 0; gap <= 40; ++gap) {
      Bytes src = textBytes(1000, static_cast<uint32_t>(len + gap));
      src.insert(src.end(), len, 'Z');
      const Bytes after = textBytes(gap, static_cast<uint32_t>(gap));
      src.insert(src.end(), after.begin(), after.end());
      ASSERT_EQ(encode(src), refEncodeBlock(src.data(), src.size(), 0)) << len << " " << gap;
    }
  }
  // Text followed by random bytes, so that the output passes the input size at
  // a different point in each block, sometimes only in the last items.
  const Bytes noise = randomBytes(kBlockSize, 77);
  const Bytes text = textBytes(kBlockSize, 78);
  size_t stored = 0, packed = 0;
  for (size_t t = 0; t < 12000; t += 11) {
    Bytes src(text.begin(), text.begin() + t);
    src.insert(src.end(), noise.begin() + t, noise.end());
    const Bytes e = encode(src);
    ASSERT_EQ(e, refEncodeBlock(src.data(), src.size(), 0)) << t;
    (e[0] == 0x80 ? stored : packed)++;
  }
  EXPECT_GT(stored, 0u);
  EXPECT_GT(packed, 0u);
}

TEST(LzrwStream, RoundTripsAndAgreesWithTheStrictReader) {
  uint32_t seed = 100;
  for (const Kind& kind : kKinds) {
    for (size_t n : kSizes) {
      const Bytes src = kind.make(n, seed++);
      const Bytes packed = compress(src);
      ASSERT_EQ(decompress(packed), src) << kind.name << " " << n;
      // Each block through the strict reader as well.
      MemoryStream s(packed);
      s.skip(4);
      Bytes all;
      while (!s.atEnd()) {
        auto span = s.readSpan(s.readU16());
        const Bytes block(span.begin(), span.end());
        const Bytes d = refDecodeBlock(block);
        EXPECT_EQ(decode(block), d);
        all.insert(all.end(), d.begin(), d.end());
      }
      EXPECT_EQ(all, src);
    }
  }
}

TEST(LzrwStream, CompressReadsFromThePositionAndAppends) {
  const Bytes src = textBytes(50000, 3);
  MemoryStream in(src), out(Bytes{'h', 'd', 'r'});
  in.seek(1000);
  TLZWCompressor().Compress(in, out);
  EXPECT_TRUE(in.atEnd());
  Bytes expected = refCompress(Bytes(src.begin() + 1000, src.end()));
  // The size field counts the whole source stream.
  const uint32_t whole = static_cast<uint32_t>(src.size());
  std::memcpy(expected.data(), &whole, 4);
  EXPECT_EQ(out.bytes(), concat({{'h', 'd', 'r'}, expected}));
}

TEST(LzrwStream, DecompressAppendsRewindsAndStopsAfterTheLastBlock) {
  const Bytes src = mixedBytes(70000, 4);
  const Bytes packed = compress(src);
  MemoryStream in(concat({{'x', 'y'}, packed, {'t', 'a', 'i', 'l'}}));
  in.seek(2);
  MemoryStream out(Bytes{1, 2, 3});
  TLZWCompressor().Decompress(in, out);
  EXPECT_EQ(out.position(), 0u);
  EXPECT_EQ(out.bytes(), concat({{1, 2, 3}, src}));
  EXPECT_EQ(in.position(), 2 + packed.size());
}

TEST(LzrwStream, ReaderAcceptsAnyMarkerForCompressedBlocksAndTinyBlocks) {
  // Any first byte but 0x80 means compressed; blocks under two bytes are empty.
  Bytes enc = encode(Bytes(100, 'z'));
  enc[0] = 0x00;
  EXPECT_EQ(decompress(concat({kHeader, record(enc)})), Bytes(100, 'z'));
  EXPECT_EQ(decompress(concat({kHeader, record({})})), Bytes{});
  EXPECT_EQ(decompress(concat({kHeader, record({0x40})})), Bytes{});
}

TEST(LzrwStream, CorruptStreamsAreRefused) {
  const Bytes full = encode(textBytes(kBlockSize, 8));
  // Ends inside the size field, a block header or a block.
  expectReadError({});
  expectReadError({0, 0});
  expectReadError(concat({kHeader, {5}}));
  expectReadError(concat({kHeader, {5, 0, 0x40, 0x00}}));
  // A full block promises another record.
  expectReadError(concat({kHeader, record(full)}));
  expectReadError(concat({kHeader, record(full), {1}}));
  // A block longer than any writer makes.
  expectReadError(concat({kHeader, record(concat({{0x80}, Bytes(kBlockSize + 1, 'a')}))}));
  // Copy reaching before the block start, also from a later block.
  expectReadError(concat({kHeader, record({0x40, 0x80, 0x00, 0x00, 0x10})}));
  expectReadError(concat({kHeader, record({0x40, 0x40, 0x00, 'a', 0x00, 0x20})}));
  expectReadError(concat({kHeader, record(full), record({0x40, 0x80, 0x00, 0x00, 0x10})}));
  // Item cut off: a copy missing its second byte, a run missing its value.
  expectReadError(concat({kHeader, record({0x40, 0x80, 0x00, 0x12})}));
  expectReadError(concat({kHeader, record({0x40, 0x80, 0x00, 0x00, 0x00, 0x00})}));
  // Control word cut off after a group of 16 literals, or one with no items.
  expectReadError(concat({kHeader, record(concat({{0x40, 0, 0}, Bytes(16, 'a'), {0x00}}))}));
  expectReadError(concat({kHeader, record(concat({{0x40, 0, 0}, Bytes(16, 'a'), {0x00, 0x00}}))}));
  expectReadError(concat({kHeader, record({0x40, 0x00, 0x00})}));
  expectReadError(concat({kHeader, record({0x40, 0x00})}));
  // Decoding beyond 32,768 bytes: nine runs of 4,095, and a block filled
  // exactly by runs followed by a literal.
  Bytes runs{0x40, 0xFF, 0x80};
  for (int k = 0; k < 9; ++k) runs.insert(runs.end(), {0x00, 0x0F, 0xEF, 'r'});
  expectReadError(concat({kHeader, record(runs)}));
  Bytes exact{0x40, 0xFF, 0x00};  // 8 runs of 4,096 fill the block exactly
  for (int k = 0; k < 8; ++k) exact.insert(exact.end(), {0x00, 0x0F, 0xF0, 'r'});
  EXPECT_EQ(decode(exact), Bytes(kBlockSize, 'r'));
  exact.push_back('!');
  expectReadError(concat({kHeader, record(exact)}));
}

TEST(LzrwStream, DestinationKeepsWhatWasWrittenBeforeAnError) {
  const Bytes first = textBytes(kBlockSize, 11);
  const Bytes packed = compress(first);
  // Replace the trailing empty block with a broken one.
  Bytes broken(packed.begin(), packed.end() - 3);
  broken = concat({broken, record({0x40, 0x80, 0x00, 0x00, 0x10})});
  MemoryStream in(broken), out(Bytes{9});
  EXPECT_THROW(TLZWCompressor().Decompress(in, out), Error);
  EXPECT_EQ(out.bytes(), concat({{9}, first}));
}

TEST(LzrwDecoder, AgreesWithTheStrictReaderOnDamagedBlocks) {
  std::mt19937 rng(77);
  int refused = 0, total = 0;
  for (const Kind& kind : kKinds) {
    for (size_t n : {17, 200, 3000, 32768}) {
      const Bytes good = encode(kind.make(n, rng()));
      for (int trial = 0; trial < 60; ++trial) {
        Bytes bad = good;
        switch (trial % 3) {
          case 0:  // flip a few bytes
            for (int k = 0; k < 3; ++k)
              bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
            break;
          case 1:  // cut short
            bad.resize(rng() % bad.size());
            break;
          default:  // garbage after a compressed marker
            bad = randomBytes(1 + rng() % 400, rng());
            bad[0] = 0x40;
        }
        ++total;
        Bytes expected;
        bool corrupt = false;
        try {
          expected = refDecodeBlock(bad);
        } catch (const Corrupt&) {
          corrupt = true;
        }
        if (corrupt) {
          ++refused;
          try {
            decode(bad);
            ADD_FAILURE() << kind.name << " " << n << " trial " << trial << ": accepted";
          } catch (const Error& e) {
            EXPECT_STREQ(e.what(), kReadError);
          }
          // The load-time check refuses exactly what the decoder refuses.
          EXPECT_THROW(lzrw::checkBlock(bad.data(), bad.size()), Error)
              << kind.name << " " << n << " trial " << trial;
        } else {
          EXPECT_EQ(decode(bad), expected) << kind.name << " " << n << " trial " << trial;
          EXPECT_EQ(lzrw::checkBlock(bad.data(), bad.size()), expected.size())
              << kind.name << " " << n << " trial " << trial;
        }
      }
    }
  }
  // Both outcomes must have been exercised for the comparison to mean much.
  EXPECT_GT(refused, total / 10);
  EXPECT_LT(refused, total);
}

TEST(LzrwCompressor, ProcessWideCompressorFollowsTheComponent) {
  TfrCompressor& base = currentCompressor();
  EXPECT_FALSE(base.Enabled);
  EXPECT_EQ(dynamic_cast<TLZWCompressor*>(&base), nullptr);
  MemoryStream in(Bytes{1, 2, 3}), out;
  base.Compress(in, out);
  base.Decompress(in, out);
  EXPECT_EQ(out.size(), 0u);
  {
    TfrLZWCompressor component;
    EXPECT_EQ(&currentCompressor(), &component.compressor());
    EXPECT_FALSE(component.enabled());
    EXPECT_FALSE(currentCompressor().Enabled);
    component.setEnabled(true);
    EXPECT_TRUE(currentCompressor().Enabled);
    EXPECT_TRUE(component.enabled());
    MemoryStream packed;
    in.rewind();
    currentCompressor().Compress(in, packed);
    EXPECT_EQ(packed.bytes(), (Bytes{3, 0, 0, 0, 4, 0, 0x80, 1, 2, 3}));
  }
  EXPECT_EQ(&currentCompressor(), &base);
  EXPECT_FALSE(currentCompressor().Enabled);
}

TEST(LzrwCompressor, HooksRunBeforeAndAfterEachOperation) {
  TLZWCompressor c;
  std::vector<std::string> calls;
  c.OnBeforeCompress = [&](TLZWCompressor& self) {
    EXPECT_EQ(&self, &c);
    calls.push_back("before compress");
  };
  c.OnAfterCompress = [&](TLZWCompressor&) { calls.push_back("after compress"); };
  c.OnBeforeDecompress = [&](TLZWCompressor&) { calls.push_back("before decompress"); };
  c.OnAfterDecompress = [&](TLZWCompressor&) { calls.push_back("after decompress"); };
  MemoryStream in(Bytes{1}), packed, out;
  c.Compress(in, packed);
  packed.rewind();
  c.Decompress(packed, out);
  EXPECT_EQ(calls, (std::vector<std::string>{"before compress", "after compress",
                                             "before decompress", "after decompress"}));
  // A failed decompression does not report completion.
  calls.clear();
  MemoryStream bad(Bytes{0, 0}), sink;
  EXPECT_THROW(c.Decompress(bad, sink), Error);
  EXPECT_EQ(calls, std::vector<std::string>{"before decompress"});
}

}  // namespace
}  // namespace orv
