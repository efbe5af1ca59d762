#pragma once
#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdint>

namespace orv {

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// A GDI rectangle: right and bottom are exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool isEmpty() const { return right <= left || bottom <= top; }
  bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool intersects(const Rect& o) const {
    return std::max(left, o.left) < std::min(right, o.right) &&
           std::max(top, o.top) < std::min(bottom, o.bottom);
  }
  Rect intersected(const Rect& o) const {
    return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
            std::min(bottom, o.bottom)};
  }
  Rect inflated(int32_t d) const { return {left - d, top - d, right + d, bottom + d}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Every conversion of a scaled coordinate to an integer rounds to nearest with
// halves to even, as the layout rules require (std::nearbyint in the default
// rounding mode does exactly that). Values beyond the int32 range, which only
// damaged files produce, saturate instead of being undefined; NaN gives 0.
inline int32_t saturateInt(double v) {
  if (!(v == v)) return 0;
  if (v <= -2147483648.0) return INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}
inline int32_t roundEven(double v) { return saturateInt(std::nearbyint(v)); }
inline int32_t truncInt(double v) { return saturateInt(std::trunc(v)); }

}  // namespace orv
