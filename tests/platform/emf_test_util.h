#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <vector>

// Reading and writing metafile records by hand, independently of the code
// under test, following the public record layouts.
namespace orv::emftest {

inline uint32_t u32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}
inline int32_t i32(std::span<const uint8_t> b, size_t at) {
  return int32_t(u32(b, at));
}
inline uint16_t u16(std::span<const uint8_t> b, size_t at) {
  return uint16_t(b[at] | (b[at + 1] << 8));
}

struct Record {
  uint32_t type = 0;
  std::span<const uint8_t> bytes;  // the whole record, prefix included
  int32_t i(size_t field) const { return i32(bytes, 8 + field * 4); }
  uint32_t u(size_t field) const { return u32(bytes, 8 + field * 4); }
};

// Splits an EMF into its records (asserting sane sizes).
inline std::vector<Record> records(std::span<const uint8_t> emf) {
  std::vector<Record> out;
  size_t pos = 0;
  while (pos + 8 <= emf.size()) {
    const uint32_t size = u32(emf, pos + 4);
    EXPECT_GE(size, 8u);
    EXPECT_EQ(size % 4, 0u);
    EXPECT_LE(pos + size, emf.size());
    if (size < 8 || pos + size > emf.size()) break;
    out.push_back({u32(emf, pos), emf.subspan(pos, size)});
    pos += size;
  }
  EXPECT_EQ(pos, emf.size());
  return out;
}

inline std::vector<Record> ofType(const std::vector<Record>& recs, uint32_t type) {
  std::vector<Record> out;
  for (const Record& r : recs)
    if (r.type == type) out.push_back(r);
  return out;
}

// Builds an EMF record by record: header with the given frame (0.01 mm) and a
// reference device of 96 pixels per inch, then whatever the test adds.
class EmfBuilder {
 public:
  explicit EmfBuilder(int32_t frameRight = 2646, int32_t frameBottom = 2646, uint16_t handles = 8) {
    put(1);
    put(108);
    for (int32_t v : {0, 0, 99, 99}) put(uint32_t(v));  // bounds
    for (int32_t v : {0, 0, frameRight, frameBottom}) put(uint32_t(v));
    put(0x464D4520);
    put(0x10000);
    put(0);  // bytes, patched
    put(0);  // records, patched
    put(handles);
    put(0);  // description
    put(0);
    put(0);  // palette
    put(960), put(960), put(254), put(254);
    put(0), put(0), put(0);
    put(254000), put(254000);
  }
  EmfBuilder& rec(uint32_t type, std::initializer_list<int32_t> fields) {
    return rec(type, std::span<const int32_t>(fields.begin(), fields.size()));
  }
  EmfBuilder& rec(uint32_t type, std::span<const int32_t> fields) {
    put(type);
    put(uint32_t(8 + fields.size() * 4));
    for (int32_t f : fields) put(uint32_t(f));
    ++count_;
    return *this;
  }
  // A record from raw bytes after the prefix (padded to 4).
  EmfBuilder& raw(uint32_t type, std::vector<uint8_t> body) {
    while (body.size() % 4) body.push_back(0);
    put(type);
    put(uint32_t(8 + body.size()));
    data_.insert(data_.end(), body.begin(), body.end());
    ++count_;
    return *this;
  }
  std::vector<uint8_t> finish(bool eof = true) {
    if (eof) rec(14, {0, 16, 20});
    std::vector<uint8_t> out = data_;
    patch(out, 48, uint32_t(out.size()));
    patch(out, 52, count_);
    return out;
  }

 private:
  static void patch(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  }
  void put(uint32_t v) {
    for (int i = 0; i < 4; ++i) data_.push_back(uint8_t(v >> (8 * i)));
  }
  std::vector<uint8_t> data_;
  uint32_t count_ = 1;
};

// Little-endian byte helpers for record bodies.
inline void add32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void add16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

// A WMF: optional placeable header, the 18-byte header, then records whose
// 16-bit parameters are given in file order.
class WmfBuilder {
 public:
  WmfBuilder(bool placeable, int16_t l = 0, int16_t t = 0, int16_t r = 1440, int16_t b = 1440,
             uint16_t inch = 1440, uint16_t objects = 8)
      : objects_(objects) {
    if (placeable) {
      add32(data_, 0x9AC6CDD7);
      add16(data_, 0);
      for (int16_t v : {l, t, r, b}) add16(data_, uint16_t(v));
      add16(data_, inch);
      add32(data_, 0);
      uint16_t sum = 0;
      for (size_t i = 0; i < 20; i += 2) sum ^= u16(data_, i);
      add16(data_, sum);
    }
    headerAt_ = data_.size();
    add16(data_, 1);
    add16(data_, 9);
    add16(data_, 0x0300);
    add32(data_, 0);  // size in words, patched
    add16(data_, objects_);
    add32(data_, 0);  // largest record, patched
    add16(data_, 0);
  }
  WmfBuilder& rec(uint16_t fn, std::initializer_list<int16_t> params) {
    std::vector<uint8_t> body;
    for (int16_t p : params) add16(body, uint16_t(p));
    return raw(fn, body);
  }
  WmfBuilder& raw(uint16_t fn, std::vector<uint8_t> body) {
    if (body.size() % 2) body.push_back(0);
    const uint32_t words = uint32_t(3 + body.size() / 2);
    add32(data_, words);
    add16(data_, fn);
    data_.insert(data_.end(), body.begin(), body.end());
    maxRecord_ = std::max(maxRecord_, words);
    return *this;
  }
  std::vector<uint8_t> finish() {
    rec(0, {});
    std::vector<uint8_t> out = data_;
    const uint32_t words = uint32_t((out.size() - headerAt_) / 2);
    for (int i = 0; i < 4; ++i) out[headerAt_ + 6 + i] = uint8_t(words >> (8 * i));
    for (int i = 0; i < 4; ++i) out[headerAt_ + 12 + i] = uint8_t(maxRecord_ >> (8 * i));
    return out;
  }

 private:
  std::vector<uint8_t> data_;
  size_t headerAt_ = 0;
  uint16_t objects_;
  uint32_t maxRecord_ = 0;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace orv::emftest
