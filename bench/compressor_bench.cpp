// Throughput of the page-data compressor against LZ4 on the same synthetic
// report pages, in the same run. Counters:
//   ratio   compressed size / original size (smaller is better)
//   vs_lz4  our throughput / LZ4's for the same direction, measured just before
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "page_stream_gen.h"
#include "prepared/compressor.h"

namespace {

using namespace orv;
using Bytes = std::vector<uint8_t>;

// Thread CPU time: the machine is shared, and wall time would charge us for
// other processes.
double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Corpus {
  std::vector<Bytes> pages;
  std::vector<Bytes> packed;     // our stream format
  std::vector<Bytes> lz4;        // LZ4 blocks
  std::vector<Bytes> blocks;     // our encoded 32 KB blocks (pages cut at the block size)
  std::vector<size_t> blockLen;  // their decoded lengths
  size_t rawBytes = 0, packedBytes = 0, lz4Bytes = 0, blockRaw = 0;

  Corpus() {
    pages = bench::makePageSet(48);
    TLZWCompressor c;
    Bytes enc(lzrw::kEncodeBufferSize);
    for (const Bytes& p : pages) {
      rawBytes += p.size();
      MemoryStream in(p), out;
      c.Compress(in, out);
      packedBytes += out.size();
      packed.push_back(out.bytes());
      Bytes l(LZ4_compressBound(static_cast<int>(p.size())));
      l.resize(LZ4_compress_default(reinterpret_cast<const char*>(p.data()),
                                    reinterpret_cast<char*>(l.data()), static_cast<int>(p.size()),
                                    static_cast<int>(l.size())));
      lz4Bytes += l.size();
      lz4.push_back(std::move(l));
      for (size_t at = 0; at < p.size(); at += lzrw::kBlockSize) {
        const size_t n = std::min(lzrw::kBlockSize, p.size() - at);
        const size_t m = lzrw::encodeBlock(p.data() + at, n, enc.data());
        blocks.emplace_back(enc.begin(), enc.begin() + m);
        blockLen.push_back(n);
        blockRaw += n;
      }
    }
  }
};

const Corpus& corpus() {
  static const Corpus c;
  return c;
}

// Best of a few timed passes of `pass` over the corpus, in bytes per second.
template <class F>
double bestRate(size_t bytes, F pass) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    int reps = 0;
    const double t0 = cpuSeconds();
    double spent;
    do {
      pass();
      ++reps;
      spent = cpuSeconds() - t0;
    } while (spent < 0.05);
    best = std::max(best, bytes * double(reps) / spent);
  }
  return best;
}

double lz4CompressRate() {
  static const double rate = [] {
    const Corpus& c = corpus();
    std::vector<char> out(LZ4_compressBound(64 << 10) * 2);
    return bestRate(c.rawBytes, [&] {
      for (const Bytes& p : c.pages)
        benchmark::DoNotOptimize(LZ4_compress_default(reinterpret_cast<const char*>(p.data()),
                                                      out.data(), static_cast<int>(p.size()),
                                                      static_cast<int>(out.size())));
    });
  }();
  return rate;
}

double lz4DecompressRate() {
  static const double rate = [] {
    const Corpus& c = corpus();
    std::vector<char> out(1 << 20);
    return bestRate(c.rawBytes, [&] {
      for (const Bytes& l : c.lz4)
        benchmark::DoNotOptimize(LZ4_decompress_safe(reinterpret_cast<const char*>(l.data()),
                                                     out.data(), static_cast<int>(l.size()),
                                                     static_cast<int>(out.size())));
    });
  }();
  return rate;
}

// Runs the benchmark loop and reports its own CPU-time rate against `peer`.
template <class F>
void timed(benchmark::State& state, size_t bytes, double peer, F pass) {
  const double t0 = cpuSeconds();
  for (auto _ : state) pass();
  const double spent = cpuSeconds() - t0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  if (peer > 0 && spent > 0)
    state.counters["vs_lz4"] = bytes * double(state.iterations()) / spent / peer;
}

void BM_Lz4Compress(benchmark::State& state) {
  const Corpus& c = corpus();
  std::vector<char> out(LZ4_compressBound(64 << 10) * 2);
  timed(state, c.rawBytes, 0, [&] {
    for (const Bytes& p : c.pages)
      benchmark::DoNotOptimize(LZ4_compress_default(reinterpret_cast<const char*>(p.data()),
                                                    out.data(), static_cast<int>(p.size()),
                                                    static_cast<int>(out.size())));
  });
  state.counters["ratio"] = double(c.lz4Bytes) / c.rawBytes;
}

void BM_Lz4Decompress(benchmark::State& state) {
  const Corpus& c = corpus();
  std::vector<char> out(1 << 20);
  timed(state, c.rawBytes, 0, [&] {
    for (const Bytes& l : c.lz4)
      benchmark::DoNotOptimize(LZ4_decompress_safe(reinterpret_cast<const char*>(l.data()),
                                                   out.data(), static_cast<int>(l.size()),
                                                   static_cast<int>(out.size())));
  });
  state.counters["ratio"] = double(c.lz4Bytes) / c.rawBytes;
}

// The stream operations the page store uses, into a reused destination.
void BM_LzrwCompressStream(benchmark::State& state) {
  const Corpus& c = corpus();
  const double peer = lz4CompressRate();
  TLZWCompressor z;
  std::vector<MemoryStream> in;
  for (const Bytes& p : c.pages) in.emplace_back(p);
  MemoryStream out;
  out.reserve(1 << 20);
  timed(state, c.rawBytes, peer, [&] {
    for (MemoryStream& s : in) {
      s.rewind();
      out.clear();
      z.Compress(s, out);
    }
    benchmark::DoNotOptimize(out.data());
  });
  state.counters["ratio"] = double(c.packedBytes) / c.rawBytes;
}

void BM_LzrwDecompressStream(benchmark::State& state) {
  const Corpus& c = corpus();
  const double peer = lz4DecompressRate();
  TLZWCompressor z;
  std::vector<MemoryStream> in;
  for (const Bytes& p : c.packed) in.emplace_back(p);
  MemoryStream out;
  out.reserve(1 << 20);
  timed(state, c.rawBytes, peer, [&] {
    for (MemoryStream& s : in) {
      s.rewind();
      out.clear();
      z.Decompress(s, out);
    }
    benchmark::DoNotOptimize(out.data());
  });
  state.counters["ratio"] = double(c.packedBytes) / c.rawBytes;
}

// The block coder alone, buffer to buffer as LZ4 is measured.
void BM_LzrwEncodeBlock(benchmark::State& state) {
  const Corpus& c = corpus();
  const double peer = lz4CompressRate();
  Bytes out(lzrw::kEncodeBufferSize);
  timed(state, c.rawBytes, peer, [&] {
    for (const Bytes& p : c.pages)
      for (size_t at = 0; at < p.size(); at += lzrw::kBlockSize)
        benchmark::DoNotOptimize(lzrw::encodeBlock(
            p.data() + at, std::min(lzrw::kBlockSize, p.size() - at), out.data()));
  });
}

void BM_LzrwDecodeBlock(benchmark::State& state) {
  const Corpus& c = corpus();
  const double peer = lz4DecompressRate();
  Bytes out(lzrw::kBlockSize);
  timed(state, c.blockRaw, peer, [&] {
    for (const Bytes& b : c.blocks)
      benchmark::DoNotOptimize(lzrw::decodeBlock(b.data(), b.size(), out.data()));
  });
}

BENCHMARK(BM_Lz4Compress);
BENCHMARK(BM_LzrwCompressStream);
BENCHMARK(BM_LzrwEncodeBlock);
BENCHMARK(BM_Lz4Decompress);
BENCHMARK(BM_LzrwDecompressStream);
BENCHMARK(BM_LzrwDecodeBlock);

}  // namespace

BENCHMARK_MAIN();
