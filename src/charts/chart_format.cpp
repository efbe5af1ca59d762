// Round axis steps and the chart's number texts.
#include <QLocale>
#include <QString>
#include <algorithm>
#include <cmath>

#include "charts/chart.h"

namespace orv {

namespace {

// Whole axes of astronomically large or tiny values still get a few ticks;
// the limits keep the loops and the texts short whatever the data.
constexpr double kLargest = 1e300;
constexpr int kMaxDecimals = 10;

// The text in the 8-bit code page of the chart's labels; separators the code
// page lacks (a narrow no-break space) become a plain blank.
std::string to8Bit(const QString& s) {
  std::string out;
  out.reserve(size_t(s.size()));
  for (QChar ch : s) {
    const char16_t u = ch.unicode();
    if (u < 0x100)
      out += char(u);
    else
      out += ch.isSpace() ? ' ' : '?';
  }
  return out;
}

}  // namespace

AxisTicks niceTicks(double lo, double hi, int maxTicks) {
  if (!std::isfinite(lo)) lo = 0;
  if (!std::isfinite(hi)) hi = 0;
  lo = std::clamp(lo, -kLargest, kLargest);
  hi = std::clamp(hi, -kLargest, kLargest);
  if (hi < lo) std::swap(lo, hi);
  if (hi == lo && lo == 0) {
    hi = 1;
  } else if (hi == lo) {
    const double d = std::abs(lo) * 0.1;
    lo -= d;
    hi += d;
  }
  maxTicks = std::clamp(maxTicks, 1, 50);
  const double raw = (hi - lo) / maxTicks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = magnitude;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * magnitude;
    if ((hi - lo) / step <= maxTicks + 1e-9) break;
  }
  AxisTicks t;
  t.step = step;
  t.first = std::floor(lo / step + 1e-9) * step;
  t.last = std::ceil(hi / step - 1e-9) * step;
  // Values far beyond the step's precision: the ticks still have to cover them.
  if (t.first > lo) t.first -= step;
  if (t.last < hi) t.last += step;
  t.decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, kMaxDecimals);
  return t;
}

std::string formatChartNumber(double v, int decimals) {
  const QLocale locale;
  if (!std::isfinite(v)) return "0";
  if (std::abs(v) >= 1e15) return to8Bit(locale.toString(v, 'g', 6));
  if (decimals >= 0) {
    const double scale = std::pow(10.0, std::min(decimals, kMaxDecimals));
    // -0 would be written with its sign.
    if (std::round(v * scale) == 0) v = 0;
    return to8Bit(locale.toString(v, 'f', std::min(decimals, kMaxDecimals)));
  }
  if (std::round(v * 100) == 0) v = 0;
  QString s = locale.toString(v, 'f', 2);
  const QString point = locale.decimalPoint();
  if (s.contains(point)) {
    while (s.endsWith(QLatin1Char('0'))) s.chop(1);
    if (s.endsWith(point)) s.chop(point.size());
  }
  return to8Bit(s);
}

}  // namespace orv
