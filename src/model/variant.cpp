#include "model/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/text_util.h"
#include "platform/geometry.h"

namespace orv {

namespace {

// Parses a number the way a script writes one: either decimal point.
bool parseNumber(std::string_view text, double& out) {
  std::string t;
  for (char c : text)
    if (c != ' ') t += (c == ',' ? '.' : c);
  if (t.empty()) return false;
  const char* b = t.data();
  char* end = nullptr;
  out = std::strtod(b, &end);
  return end == b + t.size();
}

}  // namespace

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
      return parseNumber(s_, d) && d != 0;
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
      if (!parseNumber(s_, d) || !std::isfinite(d) || std::fabs(d) > 9.2e18) return 0;
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
      return parseNumber(s_, d) ? d : 0.0;
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

}  // namespace orv
