#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace orv {

using StringList = std::vector<std::string>;

// Raised when a read runs past the end of the data; it names the structure
// being read and the offset, so a damaged file can be diagnosed. Readers that
// find other damage say it in their own words, and leave `structure` empty.
class StreamError : public Error {
 public:
  using Error::Error;
  StreamError(std::string structure, size_t offset)
      : Error("unexpected end of data reading " + structure + " at offset " +
              std::to_string(offset)),
        structure(std::move(structure)),
        offset(offset) {}
  std::string structure;
  size_t offset = 0;
};

// A growable byte buffer with a position, the container every record is read
// from and written to. All integers are little-endian. Reads never go past the
// end: a short read raises StreamError instead.
class MemoryStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

  const std::vector<uint8_t>& bytes() const { return data_; }
  std::vector<uint8_t>& bytes() { return data_; }
  std::vector<uint8_t> takeBytes();
  const uint8_t* data() const { return data_.data(); }

  size_t size() const { return data_.size(); }
  size_t position() const { return pos_; }
  size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  bool atEnd() const { return pos_ >= data_.size(); }
  void seek(size_t pos);
  void rewind() { pos_ = 0; }
  void clear();
  void setSize(size_t n);
  void reserve(size_t n) { data_.reserve(n); }

  // Reading. `what` names the structure for the error message.
  void read(void* dst, size_t n, const char* what = "data");
  // Reads at most n bytes, returning how many were available (like a file read).
  size_t readSome(void* dst, size_t n);
  std::span<const uint8_t> readSpan(size_t n, const char* what = "data");
  uint8_t readU8(const char* what = "byte");
  uint16_t readU16(const char* what = "word");
  int16_t readI16(const char* what = "word") { return static_cast<int16_t>(readU16(what)); }
  uint32_t readU32(const char* what = "integer");
  int32_t readI32(const char* what = "integer") { return static_cast<int32_t>(readU32(what)); }
  float readF32(const char* what = "number");
  double readF64(const char* what = "number");
  void skip(size_t n, const char* what = "data");

  // Writing at the position; the buffer grows as needed.
  void write(const void* src, size_t n);
  void write(std::span<const uint8_t> s) { write(s.data(), s.size()); }
  void writeU8(uint8_t v) {
    // A byte at the end, as a record's type code is, without the general path.
    if (pos_ == data_.size()) {
      data_.push_back(v);
      ++pos_;
    } else {
      write(&v, 1);
    }
  }
  void writeU16(uint16_t v);
  void writeI16(int16_t v) { writeU16(static_cast<uint16_t>(v)); }
  void writeU32(uint32_t v);
  void writeI32(int32_t v) { writeU32(static_cast<uint32_t>(v)); }
  void writeF32(float v);
  void writeF64(double v);

  [[noreturn]] void fail(const char* what) const;

 private:
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
};

// Strings and string lists in the two forms the streams use: from stream
// version 23 on a length-prefixed form, below it 0-terminated bytes.
// Writers always use the version-23 forms.
std::string readString(MemoryStream& s, uint8_t version);
void writeString(MemoryStream& s, std::string_view text);
StringList readStringList(MemoryStream& s, uint8_t version);
void writeStringList(MemoryStream& s, const StringList& lines);

// Splits text at carriage returns the way a text list takes a text: an empty
// text after the last separator adds no line.
StringList splitLines(std::string_view text);

}  // namespace orv
