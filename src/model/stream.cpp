#include "model/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "model/record_writer.h"

namespace orv {

static_assert(std::endian::native == std::endian::little,
              "stream code assumes a little-endian host");

std::vector<uint8_t> MemoryStream::takeBytes() {
  pos_ = 0;
  return std::move(data_);
}

void MemoryStream::seek(size_t pos) {
  if (pos > data_.size()) fail("seek target");
  pos_ = pos;
}

void MemoryStream::clear() {
  data_.clear();
  pos_ = 0;
}

void MemoryStream::setSize(size_t n) {
  data_.resize(n);
  if (pos_ > n) pos_ = n;
}

void MemoryStream::fail(const char* what) const {
  throw StreamError(what, pos_);
}

void MemoryStream::read(void* dst, size_t n, const char* what) {
  if (n > remaining()) fail(what);
  if (n) std::memcpy(dst, data_.data() + pos_, n);
  pos_ += n;
}

size_t MemoryStream::readSome(void* dst, size_t n) {
  n = std::min(n, remaining());
  if (n) std::memcpy(dst, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

std::span<const uint8_t> MemoryStream::readSpan(size_t n, const char* what) {
  if (n > remaining()) fail(what);
  std::span<const uint8_t> s(data_.data() + pos_, n);
  pos_ += n;
  return s;
}

void MemoryStream::skip(size_t n, const char* what) {
  if (n > remaining()) fail(what);
  pos_ += n;
}

uint8_t MemoryStream::readU8(const char* what) {
  if (remaining() < 1) fail(what);
  return data_[pos_++];
}

uint16_t MemoryStream::readU16(const char* what) {
  uint16_t v;
  read(&v, 2, what);
  return v;
}

uint32_t MemoryStream::readU32(const char* what) {
  uint32_t v;
  read(&v, 4, what);
  return v;
}

float MemoryStream::readF32(const char* what) {
  float v;
  read(&v, 4, what);
  return v;
}

double MemoryStream::readF64(const char* what) {
  double v;
  read(&v, 8, what);
  return v;
}

void MemoryStream::write(const void* src, size_t n) {
  if (n == 0) return;
  // Overwrite what lies under the position, append the rest: appending never
  // zero-fills memory that is overwritten at once, which matters when whole
  // reports are unpacked into streams.
  const uint8_t* p = static_cast<const uint8_t*>(src);
  const size_t over = std::min(n, data_.size() - pos_);
  if (over) std::memcpy(data_.data() + pos_, p, over);
  if (over < n) data_.insert(data_.end(), p + over, p + n);
  pos_ += n;
}

void MemoryStream::writeU16(uint16_t v) {
  write(&v, 2);
}
void MemoryStream::writeU32(uint32_t v) {
  write(&v, 4);
}
void MemoryStream::writeF32(float v) {
  write(&v, 4);
}
void MemoryStream::writeF64(double v) {
  write(&v, 8);
}

namespace {

std::string readZeroTerminated(MemoryStream& s, const char* what) {
  const uint8_t* begin = s.data() + s.position();
  const size_t avail = s.remaining();
  const void* zero = std::memchr(begin, 0, avail);
  if (!zero) s.fail(what);
  const size_t len = static_cast<const uint8_t*>(zero) - begin;
  std::string out(reinterpret_cast<const char*>(begin), len);
  s.skip(len + 1);
  return out;
}

}  // namespace

std::string readString(MemoryStream& s, uint8_t version) {
  if (version < 23) return readZeroTerminated(s, "string");
  const uint16_t n = s.readU16("string length");
  auto bytes = s.readSpan(n, "string");
  s.skip(1, "string terminator");
  return std::string(bytes.begin(), bytes.end());
}

void writeString(MemoryStream& s, std::string_view text) {
  RecordWriter w(s);
  w.string(text);
  w.flush();
}

StringList splitLines(std::string_view text) {
  StringList lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t cr = text.find('\r', start);
    if (cr == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, cr - start));
    start = cr + 1;
  }
  return lines;
}

StringList readStringList(MemoryStream& s, uint8_t version) {
  if (version < 23) return splitLines(readZeroTerminated(s, "text lines"));
  StringList lines;
  const uint16_t count = s.readU16("line count");
  if (count == 0) {
    s.skip(1, "empty text");
    return lines;
  }
  // The count is only a hint: lines run until the 0 separator. Every line
  // consumes at least three bytes, so this loop ends with the data.
  for (;;) {
    const uint16_t n = s.readU16("line length");
    auto bytes = s.readSpan(n, "line");
    lines.emplace_back(bytes.begin(), bytes.end());
    if (s.readU8("line separator") == 0) break;
  }
  return lines;
}

void writeStringList(MemoryStream& s, const StringList& lines) {
  RecordWriter w(s);
  w.stringList(lines);
  w.flush();
}

void RecordWriter::bytes(const void* p, size_t n) {
  if (n_ + n > sizeof buf_) {
    flush();
    // Long texts go straight to the stream rather than through the buffer.
    if (n > sizeof buf_ / 2) {
      s_.write(p, n);
      return;
    }
  }
  if (n) std::memcpy(buf_ + n_, p, n);
  n_ += n;
}

void RecordWriter::longString(std::string_view text) {
  // The length field is 16 bits; longer texts are cut rather than written with
  // a length that would desynchronise every following field.
  const size_t n = std::min<size_t>(text.size(), 0xFFFF);
  u16(static_cast<uint16_t>(n));
  bytes(text.data(), n);
  u8(0);
}

void RecordWriter::stringList(const StringList& lines) {
  if (lines.empty()) {
    fields(uint16_t(0), uint8_t(0));
    return;
  }
  u16(static_cast<uint16_t>(std::min<size_t>(lines.size(), 0xFFFF)));
  // Each line as a text, its terminator then overwritten by the separator.
  for (size_t i = 0; i < lines.size(); ++i) {
    string(lines[i]);
    if (i + 1 < lines.size()) buf_[n_ - 1] = 13;
  }
}

}  // namespace orv
