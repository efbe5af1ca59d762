#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/report_ui.h"
#include "model/stream.h"

namespace orv::templatetest {

// Writes a stream field by field, the way the format tables list them.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& u8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  Bytes& i16(int16_t v) {
    for (int i = 0; i < 2; ++i) b.push_back(uint8_t(uint16_t(v) >> (8 * i)));
    return *this;
  }
  Bytes& i32(int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return *this;
  }
  Bytes& f64(double v) {
    uint8_t raw[8];
    std::memcpy(raw, &v, 8);
    b.insert(b.end(), raw, raw + 8);
    return *this;
  }
  Bytes& raw(std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  // Length-prefixed string with its 0 byte (stream version 23 and above).
  Bytes& str(std::string_view s) {
    i16(int16_t(s.size()));
    raw(s);
    return u8(0);
  }
  // 0-terminated string (below version 23).
  Bytes& cstr(std::string_view s) {
    raw(s);
    return u8(0);
  }
  // The information block's strings: a length and no terminator.
  Bytes& shortStr(std::string_view s) {
    i16(int16_t(s.size()));
    return raw(s);
  }
  Bytes& emptyList() { return i16(0).u8(0); }
  size_t size() const { return b.size(); }
  void patch32(size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(uint32_t(v) >> (8 * i));
  }
  MemoryStream stream() const { return MemoryStream(b); }
};

// Records what the engine shows and answers password requests with a preset.
class RecordingUi : public ReportUi {
 public:
  struct Shown {
    std::string text, detail;
  };
  std::vector<Shown> errors;
  std::optional<std::string> answer;  // none: the dialog is cancelled
  int asked = 0;

  void ShowError(const std::string& text, const std::string& detail) override {
    errors.push_back({text, detail});
  }
  bool AskPassword(std::string& password) override {
    ++asked;
    if (!answer) return false;
    password = *answer;
    return true;
  }
};

}  // namespace orv::templatetest
