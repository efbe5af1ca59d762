#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/error.h"

namespace orv {

// A value that an operation needs as a number (or integer) does not read as
// one: a text like "abc", or a Boolean where a number is required.
class ConversionError : public Error {
 public:
  using Error::Error;
};

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

  // Strict conversions for arithmetic: Booleans count as -1 and 0, empty as
  // 0, text must read as a number (either ',' or '.' as the decimal point,
  // blanks around it allowed). Null and unreadable text raise ConversionError.
  double numberValue() const;
  // numberValue() rounded half to even; beyond 64 bits is a ConversionError.
  int64_t intValue() const;
  // The strict reading of a text; false when it is not a number.
  static bool parseNumber(std::string_view text, double& out);

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

// Variant arithmetic, as expressions and scripts combine values. Null in
// either operand gives Null; empty counts as 0 (or as the empty text beside a
// text). Integers stay integers until they overflow, then become floating
// point; a date-time plus or minus a number stays a date-time.
//   add: two texts are joined; otherwise the numeric sum, a text operand being
//        converted with numberValue().
//   mod: integer remainder of the rounded operands; a zero divisor raises.
//   and/or: logical on two Booleans, bitwise on integers otherwise.
Variant variantAdd(const Variant& a, const Variant& b);
Variant variantSub(const Variant& a, const Variant& b);
Variant variantMul(const Variant& a, const Variant& b);
Variant variantMod(const Variant& a, const Variant& b);
Variant variantAnd(const Variant& a, const Variant& b);
Variant variantOr(const Variant& a, const Variant& b);
Variant variantNeg(const Variant& a);

// Orders two values: -1, 0 or 1. Null equals only Null and sorts before every
// other value; two texts compare byte by byte, two Booleans put False first;
// otherwise both are compared as numbers (a true Boolean being -1, a text that
// does not read as a number raising ConversionError).
int variantCompare(const Variant& a, const Variant& b);
// Value equality in that sense (1 equals 1.0 equals "1"), unlike operator==.
bool variantEquals(const Variant& a, const Variant& b);

}  // namespace orv
