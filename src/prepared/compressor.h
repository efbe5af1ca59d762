#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "model/stream.h"

namespace orv {

// The pluggable page-data compressor. The base one does nothing; the store asks
// the process-wide compressor's enabled flag whether to compress on saving.
class TfrCompressor {
 public:
  virtual ~TfrCompressor() = default;
  bool Enabled = false;
  // Compresses from the source's position to its end, appending to dest.
  virtual void Compress(MemoryStream& source, MemoryStream& dest) {}
  // Decodes from the source's position (leaving it just past the last block
  // read), appends to dest, then rewinds dest.
  virtual void Decompress(MemoryStream& source, MemoryStream& dest) {}
};

// The process-wide compressor: a do-nothing base one until a TfrLZWCompressor
// component installs its own.
TfrCompressor& currentCompressor();

// LZRW1/KH in the block framing the ".frp" files use.
class TLZWCompressor : public TfrCompressor {
 public:
  std::function<void(TLZWCompressor&)> OnBeforeCompress, OnAfterCompress, OnBeforeDecompress,
      OnAfterDecompress;
  void Compress(MemoryStream& source, MemoryStream& dest) override;
  void Decompress(MemoryStream& source, MemoryStream& dest) override;
};

// The component the report holder owns: while it lives its compressor is the
// process-wide one.
class TfrLZWCompressor {
 public:
  TfrLZWCompressor();
  ~TfrLZWCompressor();
  TfrLZWCompressor(const TfrLZWCompressor&) = delete;
  TfrLZWCompressor& operator=(const TfrLZWCompressor&) = delete;
  bool enabled() const;
  void setEnabled(bool on);
  TLZWCompressor& compressor() { return *compressor_; }

 private:
  std::unique_ptr<TLZWCompressor> compressor_;
};

namespace lzrw {
inline constexpr size_t kBlockSize = 32768;
// The longest block record a writer produces: a stored full block and its flag.
inline constexpr size_t kMaxEncodedBlock = kBlockSize + 1;
// What encodeBlock's output buffer must hold: the encoder stops only after an
// item has pushed it past n, so it may write a few bytes beyond kBlockSize + 1.
inline constexpr size_t kEncodeBufferSize = kBlockSize + 16;
// Encodes one block of at most kBlockSize bytes into `out` (which must hold
// kEncodeBufferSize bytes); returns the encoded length. Reads only in[0, n).
// Uses the process-wide hash table, so it is not reentrant.
size_t encodeBlock(const uint8_t* in, size_t n, uint8_t* out);
// Decodes one block into `out` (kBlockSize bytes); returns the decoded count.
// Throws orv::Error on corrupt input; never touches memory outside the two buffers.
size_t decodeBlock(const uint8_t* in, size_t m, uint8_t* out);
// Reads one compressed stream (its size field, then blocks up to the first that
// decodes to less than a whole block) from in[0, n), handing each decoded block
// to `sink`; `scratch` must hold kBlockSize bytes. Returns the bytes read, which
// may be fewer than n. Throws orv::Error with the read-error message on corrupt
// or cut input, after handing over the blocks decoded before it.
size_t decodeStream(const uint8_t* in, size_t n, uint8_t* scratch,
                    const std::function<void(const uint8_t*, size_t)>& sink);
// What decodeBlock and decodeStream would do, without writing anything: the
// decoded count (or, for a stream, the bytes read, with the decoded count in
// `unpacked`), or the same error for exactly the same inputs.
size_t checkBlock(const uint8_t* in, size_t m);
size_t checkStream(const uint8_t* in, size_t n, size_t& unpacked);
}  // namespace lzrw

}  // namespace orv
