#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "model/stream.h"

namespace orv {

// Gathers the fields of a record and hands them to the stream in a few large
// writes instead of one per field. A long report writes its objects by the
// hundred thousand, and a call into the stream for every field of every one
// of them was a tenth of the run. The bytes are those of the stream's own
// writers; nothing reaches the stream before `flush`.
class RecordWriter {
 public:
  explicit RecordWriter(MemoryStream& s) : s_(s) {}
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  void u8(uint8_t v) { put(v); }
  void u16(uint16_t v) { put(v); }
  void i16(int16_t v) { put(v); }
  void u32(uint32_t v) { put(v); }
  void i32(int32_t v) { put(v); }
  // Several fixed-size fields in a row, each written as its own type, with one
  // test for room: stores into the buffer may alias the count, so field by
  // field the count is reloaded and tested each time.
  template <class... T>
  void fields(T... v) {
    constexpr size_t total = (sizeof(T) + ...);
    static_assert(total <= sizeof buf_);
    if (n_ + total > sizeof buf_) flush();
    uint8_t* p = buf_ + n_;
    ((std::memcpy(p, &v, sizeof v), p += sizeof v), ...);
    n_ += total;
  }
  // The length-prefixed forms of writeString and writeStringList.
  void string(std::string_view text) {
    // The common case, a short text with room for it, in one piece.
    const size_t n = text.size();
    if (n + 3 > sizeof buf_ - n_) return longString(text);
    uint8_t* p = buf_ + n_;
    const uint16_t len = static_cast<uint16_t>(n);
    std::memcpy(p, &len, 2);
    std::memcpy(p + 2, text.data(), n);
    p[2 + n] = 0;
    n_ += n + 3;
  }
  void stringList(const StringList& lines);

  void flush() {
    s_.write(buf_, n_);
    n_ = 0;
  }

 private:
  template <class T>
  void put(T v) {
    if (n_ + sizeof v > sizeof buf_) flush();
    std::memcpy(buf_ + n_, &v, sizeof v);
    n_ += sizeof v;
  }
  void bytes(const void* p, size_t n);
  void longString(std::string_view text);

  MemoryStream& s_;
  size_t n_ = 0;
  uint8_t buf_[480];
};

}  // namespace orv
