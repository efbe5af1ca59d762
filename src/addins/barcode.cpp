#include "addins/barcode.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "platform/canvas.h"
#include "platform/error.h"

namespace orv {

namespace {

// Round to nearest, halves to even, kept inside the 32-bit coordinate range
// so that absurd sizes give clipped drawings instead of undefined values.
int32_t roundClamped(double v) {
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  if (!(v < kMax)) return std::numeric_limits<int32_t>::max();
  if (!(v > kMin)) return std::numeric_limits<int32_t>::min();
  return roundEven(v);
}

int32_t clampToInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Text with leading and trailing blanks (and control characters) removed.
std::string trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

void TfrBarcode::changed() {
  if (OnChange) OnChange();
}

void TfrBarcode::setHeight(int32_t v) {
  if (v == height_) return;
  height_ = v;
  changed();
}

void TfrBarcode::setText(const std::string& v) {
  checkedText_.clear();
  if (v == text_) return;
  text_ = v;
  changed();
}

void TfrBarcode::setTop(int32_t v) {
  if (v == top_) return;
  top_ = v;
  changed();
}

void TfrBarcode::setLeft(int32_t v) {
  if (v == left_) return;
  left_ = v;
  changed();
}

void TfrBarcode::setModul(int32_t v) {
  if (v == modul_ || v < 1 || v > 49) return;
  modul_ = v;
  changed();
}

void TfrBarcode::setRatio(double v) {
  // A ratio that is not a number would make every width undefined.
  if (v == ratio_ || !std::isfinite(v)) return;
  ratio_ = v;
  changed();
}

void TfrBarcode::setTyp(int v) {
  if (v == typ_) return;
  typ_ = v;
  changed();
}

void TfrBarcode::setChecksum(bool v) {
  if (v == checksum_) return;
  checksum_ = v;
  changed();
}

void TfrBarcode::setCheckSumMethod(TfrCheckSumMethod v) {
  if (v == checkSumMethod_) return;
  checkSumMethod_ = v;
  changed();
}

void TfrBarcode::setAngle(double v) {
  if (v == angle_ || !std::isfinite(v)) return;
  angle_ = v;
  changed();
}

void TfrBarcode::setColor(orv::Color v) {
  if (v == color_) return;
  color_ = v;
  changed();
}

void TfrBarcode::setColorBar(orv::Color v) {
  if (v == colorBar_) return;
  colorBar_ = v;
  changed();
}

void TfrBarcode::ComputeModuleWidths() {
  switch (typ_) {
    case bcCode_2_5_matrix:
      setRatio(std::clamp(ratio_, 2.25, 3.0));
      break;
    case bcCode128A:
    case bcCode128B:
    case bcCode128C:
    case bcCode93:
    case bcCode93Extended:
    case bcCodeMSI:
    case bcCodePostNet:
    case bcCodeEAN128A:
    case bcCodeEAN128B:
    case bcCodeEAN128C:
      break;
    default:
      setRatio(std::clamp(ratio_, 2.0, 3.0));
      break;
  }
  // The widths are 8-bit; the symbologies that keep any ratio get theirs
  // limited to what fits (0..255 pixels) instead of wrapping around.
  const double wide = std::clamp(modul_ * ratio_, 0.0, 1024.0);
  const int32_t w1 = roundEven(wide);
  auto byte = [](int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
  moduleWidths_ = {byte(modul_), byte(w1), byte(w1 * 3 / 2), byte(w1 * 2)};
}

std::string TfrBarcode::BuildModuleString() {
  ComputeModuleWidths();
  const BarcodeTypeInfo* info = barcodeTypeInfo(typ_);
  if (info != nullptr && info->numericOnly) {
    text_ = trimmed(text_);
    for (char c : text_)
      if (c < '0' || c > '9') throw Error("Barcode must be numeric");
  }
  if (info == nullptr) throw Error(std::string(kClassName) + ": wrong BarcodeType");
  return encode();
}

BarElement TfrBarcode::ElementOf(char c) const {
  if (c >= '0' && c <= '3') return {moduleWidths_[c - '0'], BarKind::Space};
  if (c >= '5' && c <= '8') return {moduleWidths_[c - '5'], BarKind::Bar};
  if (c >= 'A' && c <= 'D') return {moduleWidths_[c - 'A'], BarKind::ShortBar};
  throw Error(std::string(kClassName) + ": internal Error");
}

int32_t TfrBarcode::width() {
  const std::string modules = BuildModuleString();
  int64_t sum = 0;
  for (char c : modules) sum += ElementOf(c).width;
  return clampToInt32(sum);
}

void TfrBarcode::setWidth(int32_t wished) {
  const int32_t w = width();
  if (w > 0) setModul(clampToInt32(int64_t(modul_) * wished / w));
}

std::vector<BarPolygon> TfrBarcode::BarPolygons(std::string_view modules) const {
  const double a = angle_ / 180.0 * std::numbers::pi;
  const double s = std::sin(a), c = std::cos(a);
  int64_t total = 0;
  for (char ch : modules) total += ElementOf(ch).width;
  const double w = double(total), h = height_;

  // Shift the origin so that the rotated w x h box starts at (Left, Top).
  int64_t ox = 0, oy = 0;
  if (s >= 0 && c >= 0) {
    oy = roundClamped(s * w);
  } else if (s >= 0) {
    ox = -int64_t(roundClamped(c * w));
    oy = roundClamped(s * w - c * h);
  } else if (c >= 0) {
    ox = -int64_t(roundClamped(s * h));
  } else {
    ox = -int64_t(roundClamped(c * w)) - roundClamped(s * h);
    oy = -int64_t(roundClamped(c * h));
  }
  ox += left_;
  oy += top_;

  std::vector<BarPolygon> out;
  out.reserve(modules.size());
  const int64_t shortHeight = int64_t(height_) * 2 / 5;
  int64_t x = 0;
  for (char ch : modules) {
    const BarElement e = ElementOf(ch);
    const double eh = double(e.kind == BarKind::ShortBar ? shortHeight : height_);
    const double x0 = double(x), x1 = double(x + e.width - 1);
    const double corners[4][2] = {{x0, 0}, {x0, eh}, {x1, eh}, {x1, 0}};
    BarPolygon p;
    p.color = e.kind == BarKind::Space ? color_ : colorBar_;
    for (int i = 0; i < 4; ++i) {
      const double X = corners[i][0], Y = corners[i][1];
      p.corners[i] = {clampToInt32(roundClamped(c * X + s * Y) + ox),
                      clampToInt32(roundClamped(-s * X + c * Y) + oy)};
    }
    out.push_back(p);
    x += e.width;
  }
  return out;
}

void TfrBarcode::DrawBarcode(Canvas& canvas) {
  const std::vector<BarPolygon> polygons = BarPolygons(BuildModuleString());
  const FontSpec font = canvas.font();
  const PenSpec pen = canvas.pen();
  const BrushSpec brush = canvas.brush();
  canvas.setPen(PenSpec{});
  canvas.setBrush(BrushSpec{});
  for (const BarPolygon& p : polygons) {
    canvas.setPenColor(p.color);
    canvas.setBrushColor(p.color);
    canvas.polygon(p.corners);
  }
  canvas.setFont(font);
  canvas.setPen(pen);
  canvas.setBrush(brush);
}

}  // namespace orv
