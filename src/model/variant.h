#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace orv {

// The value type scripts, expressions and object properties exchange: empty,
// Null, Boolean, integer, floating point, date-time (days since 30 December
// 1899, the fraction being the time of day) or 8-bit text. Conversions are
// deliberately forgiving, as a script expects: a value that cannot be turned
// into the asked type gives that type's zero.
class Variant {
 public:
  enum class Kind : uint8_t { Empty, Null, Bool, Int, Double, DateTime, String };

  Variant() = default;
  Variant(bool v) : kind_(Kind::Bool), i_(v ? 1 : 0) {}
  Variant(int v) : kind_(Kind::Int), i_(v) {}
  Variant(int64_t v) : kind_(Kind::Int), i_(v) {}
  Variant(uint32_t v) : kind_(Kind::Int), i_(v) {}
  Variant(double v) : kind_(Kind::Double), d_(v) {}
  Variant(std::string v) : kind_(Kind::String), s_(std::move(v)) {}
  Variant(std::string_view v) : kind_(Kind::String), s_(v) {}
  Variant(const char* v) : kind_(Kind::String), s_(v ? v : "") {}

  static Variant null() {
    Variant v;
    v.kind_ = Kind::Null;
    return v;
  }
  static Variant dateTime(double days) {
    Variant v(days);
    v.kind_ = Kind::DateTime;
    return v;
  }

  Kind kind() const { return kind_; }
  bool isEmpty() const { return kind_ == Kind::Empty; }
  bool isNull() const { return kind_ == Kind::Null; }
  bool isString() const { return kind_ == Kind::String; }
  bool isNumeric() const {
    return kind_ == Kind::Bool || kind_ == Kind::Int || kind_ == Kind::Double ||
           kind_ == Kind::DateTime;
  }

  // Truthiness: non-zero numbers, and the texts "TRUE"/"-1"/"1" (any case).
  bool toBool() const;
  // Floating values are rounded half to even; text is parsed as a number.
  int64_t toInt() const;
  double toDouble() const;
  // Integers as decimal digits, floats in the shortest form that reads back,
  // Booleans as "True"/"False", empty and Null as "".
  std::string toString() const;

  // Raw access for callers that checked the kind.
  const std::string& str() const { return s_; }

  friend bool operator==(const Variant& a, const Variant& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
      case Kind::Empty:
      case Kind::Null:
        return true;
      case Kind::Bool:
      case Kind::Int:
        return a.i_ == b.i_;
      case Kind::Double:
      case Kind::DateTime:
        return a.d_ == b.d_;
      case Kind::String:
        return a.s_ == b.s_;
    }
    return false;
  }

 private:
  Kind kind_ = Kind::Empty;
  int64_t i_ = 0;
  double d_ = 0;
  std::string s_;
};

}  // namespace orv
