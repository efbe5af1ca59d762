#include "model/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "model/text_util.h"
#include "platform/geometry.h"

namespace orv {

namespace {

// Reads a whole text as a C-style number, whatever locale the process runs
// in (strtod would follow LC_NUMERIC, which Qt sets from the user's
// environment, and a Brazilian one wants a comma).
bool cNumber(std::string_view t, double& out) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  if (t.empty() || t[0] == '+') return false;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
  return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

// Parses a number the way a script writes one: either decimal point, blanks
// anywhere ignored.
bool forgivingNumber(std::string_view text, double& out) {
  std::string t;
  for (char c : text)
    if (c != ' ') t += (c == ',' ? '.' : c);
  return cNumber(t, out);
}

// Text to show in a conversion error: short enough for a message box.
std::string quoted(std::string_view text) {
  std::string t(text.substr(0, 60));
  if (text.size() > 60) t += "...";
  return "'" + t + "'";
}

}  // namespace

bool Variant::parseNumber(std::string_view text, double& out) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  if (b == e || e - b > 400) return false;
  char t[401];
  const size_t n = e - b;
  text.copy(t, n, b);
  size_t i = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  bool digits = false, point = false;
  for (; i < n; ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if ((c == ',' || c == '.') && !point) {
      point = true;
      t[i] = '.';
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < n) {
    if (t[i] != 'e' && t[i] != 'E') return false;
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    if (i == n) return false;
    for (; i < n; ++i)
      if (t[i] < '0' || t[i] > '9') return false;
  }
  // Only plain decimal numbers get this far; one beyond the range of a
  // double (1e400) is not taken as one.
  return cNumber(std::string_view(t, n), out);
}

double Variant::numberValue() const {
  switch (kind_) {
    case Kind::Empty:
      return 0;
    case Kind::Null:
      throw ConversionError("Null cannot be used as a number");
    case Kind::String: {
      double d = 0;
      if (!parseNumber(s_, d)) throw ConversionError(quoted(s_) + " is not a valid number");
      return d;
    }
    default:
      return toDouble();
  }
}

int64_t Variant::intValue() const {
  if (kind_ == Kind::Int || kind_ == Kind::Bool) return toInt();
  const double d = std::nearbyint(numberValue());
  // 2^63 itself is not representable; the bound is exclusive.
  if (!(std::fabs(d) < 9223372036854775808.0))
    throw ConversionError(toString() + " is out of the integer range");
  return static_cast<int64_t>(d);
}

bool Variant::toBool() const {
  switch (kind_) {
    case Kind::Bool:
    case Kind::Int:
      return i_ != 0;
    case Kind::Double:
    case Kind::DateTime:
      return d_ != 0;
    case Kind::String: {
      const std::string u = upperCase(s_);
      if (u == "TRUE") return true;
      double d = 0;
      return forgivingNumber(s_, d) && d != 0;
    }
    default:
      return false;
  }
}

int64_t Variant::toInt() const {
  switch (kind_) {
    case Kind::Bool:
      return i_ != 0 ? -1 : 0;
    case Kind::Int:
      return i_;
    case Kind::Double:
    case Kind::DateTime: {
      if (!std::isfinite(d_) || std::fabs(d_) > 9.2e18) return 0;
      return static_cast<int64_t>(std::nearbyint(d_));
    }
    case Kind::String: {
      double d = 0;
      if (!forgivingNumber(s_, d) || !std::isfinite(d) || std::fabs(d) > 9.2e18) return 0;
      return static_cast<int64_t>(std::nearbyint(d));
    }
    default:
      return 0;
  }
}

double Variant::toDouble() const {
  switch (kind_) {
    case Kind::Bool:
      return i_ != 0 ? -1.0 : 0.0;
    case Kind::Int:
      return static_cast<double>(i_);
    case Kind::Double:
    case Kind::DateTime:
      return d_;
    case Kind::String: {
      double d = 0;
      return forgivingNumber(s_, d) ? d : 0.0;
    }
    default:
      return 0;
  }
}

std::string Variant::toString() const {
  switch (kind_) {
    case Kind::Bool:
      return i_ != 0 ? "True" : "False";
    case Kind::Int:
      return std::to_string(i_);
    case Kind::Double:
    case Kind::DateTime: {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, d_);
      return std::string(buf, r.ptr);
    }
    case Kind::String:
      return s_;
    default:
      return {};
  }
}

namespace {

// How an arithmetic operand takes part: as an integer, a float or a date-time.
enum class NumKind { Int, Double, DateTime };

NumKind numKind(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Bool:
    case Variant::Kind::Int:
      return NumKind::Int;
    case Variant::Kind::DateTime:
      return NumKind::DateTime;
    default:
      return NumKind::Double;
  }
}

bool joinsAsText(const Variant& a, const Variant& b) {
  return (a.isString() || a.isEmpty()) && (b.isString() || b.isEmpty()) &&
         (a.isString() || b.isString());
}

enum class Op { Add, Sub, Mul };

Variant numeric(const Variant& a, const Variant& b, Op op) {
  const NumKind ka = numKind(a), kb = numKind(b);
  if (ka == NumKind::Int && kb == NumKind::Int) {
    const int64_t x = a.toInt(), y = b.toInt();
    int64_t r = 0;
    bool overflow = false;
    switch (op) {
      case Op::Add:
        overflow = __builtin_add_overflow(x, y, &r);
        break;
      case Op::Sub:
        overflow = __builtin_sub_overflow(x, y, &r);
        break;
      case Op::Mul:
        overflow = __builtin_mul_overflow(x, y, &r);
        break;
    }
    if (!overflow) return Variant(r);
  }
  const double x = a.numberValue(), y = b.numberValue();
  switch (op) {
    case Op::Add:
      if (ka == NumKind::DateTime || kb == NumKind::DateTime) return Variant::dateTime(x + y);
      return Variant(x + y);
    case Op::Sub:
      // The distance between two dates is a plain number of days.
      if ((ka == NumKind::DateTime) != (kb == NumKind::DateTime)) return Variant::dateTime(x - y);
      return Variant(x - y);
    case Op::Mul:
      return Variant(x * y);
  }
  return Variant();
}

}  // namespace

Variant variantAdd(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return Variant::null();
  if (joinsAsText(a, b)) return Variant(a.toString() + b.toString());
  return numeric(a, b, Op::Add);
}

Variant variantSub(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return Variant::null();
  return numeric(a, b, Op::Sub);
}

Variant variantMul(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return Variant::null();
  return numeric(a, b, Op::Mul);
}

Variant variantMod(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return Variant::null();
  const int64_t x = a.intValue(), y = b.intValue();
  if (y == 0) throw ConversionError("division by zero in MOD");
  if (y == -1) return Variant(int64_t(0));  // also keeps INT64_MIN % -1 defined
  return Variant(x % y);
}

Variant variantAnd(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return Variant::null();
  if (a.kind() == Variant::Kind::Bool && b.kind() == Variant::Kind::Bool)
    return Variant(a.toBool() && b.toBool());
  return Variant(a.intValue() & b.intValue());
}

Variant variantOr(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return Variant::null();
  if (a.kind() == Variant::Kind::Bool && b.kind() == Variant::Kind::Bool)
    return Variant(a.toBool() || b.toBool());
  return Variant(a.intValue() | b.intValue());
}

Variant variantNeg(const Variant& a) {
  switch (a.kind()) {
    case Variant::Kind::Null:
      return a;
    case Variant::Kind::Empty:
    case Variant::Kind::Bool:
    case Variant::Kind::Int: {
      const int64_t i = a.toInt();
      if (i == std::numeric_limits<int64_t>::min()) return Variant(-static_cast<double>(i));
      return Variant(-i);
    }
    case Variant::Kind::DateTime:
      return Variant::dateTime(-a.toDouble());
    default:
      return Variant(-a.numberValue());
  }
}

int variantCompare(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
  if (joinsAsText(a, b) || (a.isEmpty() && b.isEmpty())) {
    const int c = a.toString().compare(b.toString());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (a.kind() == Variant::Kind::Bool && b.kind() == Variant::Kind::Bool)
    return a.toBool() == b.toBool() ? 0 : (a.toBool() ? 1 : -1);  // False before True
  if (numKind(a) == NumKind::Int && numKind(b) == NumKind::Int) {
    const int64_t x = a.toInt(), y = b.toInt();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const double x = a.numberValue(), y = b.numberValue();
  if (x < y) return -1;
  if (x > y) return 1;
  if (x == y) return 0;
  // NaN orders after every number, so that sorting stays consistent.
  return std::isnan(x) ? (std::isnan(y) ? 0 : 1) : -1;
}

bool variantEquals(const Variant& a, const Variant& b) {
  return variantCompare(a, b) == 0;
}

}  // namespace orv
