#include "engine/formatting.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/date_time.h"
#include "engine/engine_globals.h"

namespace orv {

namespace {

// A number as decimal digits: value = 0.digits x 10^exp, no trailing zeros;
// zero has no digits.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exp = 0;
  bool zero() const { return digits.empty(); }
};

void stripZeros(Decimal& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exp = 0;
}

// Prices and quantities have few decimals: such a value is an integer over a
// small power of ten, found with a multiplication and checked with a division
// (both exact for integers below 1e15). Those digits are the ones wanted:
// decimals of at most 15 digits fall on distinct doubles, so no other
// spelling of as few digits reads back as x.
// x (not negative) as the integer `n` over 10^`k`, k at most 4 and as small
// as it can be.
bool fewDecimals(double x, uint64_t& n, int& k) {
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000};
  for (k = 0; k < 5; ++k) {
    const double scaled = std::nearbyint(x * kScale[k]);
    if (scaled >= 1e15) return false;
    if (scaled == 0 || scaled / kScale[k] != x) continue;
    n = static_cast<uint64_t>(scaled);
    return true;
  }
  return false;
}

bool fewDecimals(double x, Decimal& d) {
  uint64_t n;
  int k;
  if (!fewDecimals(x, n, k)) return false;
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, n);
  d.digits.assign(buf, r.ptr);
  d.exp = static_cast<int>(r.ptr - buf) - k;
  stripZeros(d);
  return true;
}

char decimalSeparator() {
  return engineGlobals().Format.DecimalSeparator;
}

// floatToText's text of a number with few decimals, appended with no
// intermediate strings: it is the text of every price a report shows.
bool appendFewDecimals(std::string& out, double x) {
  uint64_t n;
  int k;
  if (x == 0 || !fewDecimals(std::fabs(x), n, k)) return false;
  char buf[24];
  size_t end = static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, n).ptr - buf);
  auto decimals = static_cast<size_t>(k);
  while (decimals > 0 && buf[end - 1] == '0') --end, --decimals;
  if (std::signbit(x)) out += '-';
  if (end <= decimals) {
    out += '0';
    out += decimalSeparator();
    out.append(decimals - end, '0');
    out.append(buf, end);
  } else {
    out.append(buf, end - decimals);
    if (decimals > 0) {
      out += decimalSeparator();
      out.append(buf + end - decimals, decimals);
    }
  }
  return true;
}

// The value's first 15 significant digits, correctly rounded; further
// rounding then works on these, so 2.675 rounds to 2.68 as it is written.
Decimal toDecimal(double x) {
  Decimal d;
  d.negative = std::signbit(x) && x != 0;
  x = std::fabs(x);
  if (x == 0 || !std::isfinite(x)) return d;
  if (fewDecimals(x, d)) return d;
  char buf[64];
  if (x >= std::numeric_limits<double>::min()) {
    // The shortest spelling that reads back as x is far cheaper to find. When
    // it has at most 15 digits it is also x rounded to 15: a normal double
    // lies within 1.2e-16 of it, relative, and the nearest halfway point of
    // the 15th digit is at least 5e-16 away.
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, x, std::chars_format::scientific);
    *r.ptr = 0;
    const char* e = std::strchr(buf, 'e');
    const size_t count = buf[1] == '.' ? size_t(e - buf) - 1 : 1;
    if (count <= 15) {
      d.digits.assign(1, buf[0]);
      if (count > 1) d.digits.append(buf + 2, count - 1);
      d.exp = std::atoi(e + 1) + 1;
      stripZeros(d);
      return d;
    }
  }
  // d.dddddddddddddde+XX, in no locale's spelling
  const auto r = std::to_chars(buf, buf + sizeof buf - 1, x, std::chars_format::scientific, 14);
  *r.ptr = 0;
  d.digits = std::string(1, buf[0]) + std::string(buf + 2, 14);
  d.exp = std::atoi(buf + 17) + 1;
  stripZeros(d);
  return d;
}

// Rounds halves away from zero at `decimals` places after the point.
void roundTo(Decimal& d, int decimals) {
  const long keep = static_cast<long>(d.exp) + decimals;
  if (keep >= static_cast<long>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    d.exp = 0;
    return;
  }
  const bool up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  if (up) {
    long i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exp;
    } else {
      ++d.digits[i];
    }
  }
  stripZeros(d);
}

std::string intDigits(const Decimal& d) {
  if (d.exp <= 0) return {};
  std::string r = d.digits.substr(0, std::min<size_t>(d.exp, d.digits.size()));
  r.resize(d.exp, '0');
  return r;
}

std::string fracDigits(const Decimal& d) {
  if (d.exp < 0) return std::string(-d.exp, '0') + d.digits;
  return d.exp < static_cast<int>(d.digits.size()) ? d.digits.substr(d.exp) : std::string();
}

// The thousands separator, unless it is the decimal separator in force (a
// format asking for a point in a locale that groups with points): then the
// other of the two is used, so that the number still reads back.
char thousandSeparator() {
  const FormatSettings& fs = engineGlobals().Format;
  if (fs.ThousandSeparator != fs.DecimalSeparator) return fs.ThousandSeparator;
  return fs.DecimalSeparator == ',' ? '.' : ',';
}

std::string grouped(const std::string& digits) {
  std::string r;
  const char sep = thousandSeparator();
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) r += sep;
    r += digits[i];
  }
  return r;
}

std::string nonFinite(double x) {
  return std::isnan(x) ? "NAN" : (x < 0 ? "-INF" : "INF");
}

// The parts of a number format section that decide the digits.
struct Section {
  std::string_view text;
  int intPlaces = 0;  // '0' and '#' before the point
  int minInt = 0;     // integer places from the first '0' on
  int maxDec = 0;
  int minDec = 0;
  bool thousands = false;
  bool scientific = false;
};

Section analyse(std::string_view t) {
  Section s;
  s.text = t;
  bool decimals = false;
  int firstZero = -1;
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '\'' || c == '"') {
      const size_t e = t.find(c, i + 1);
      if (e == std::string_view::npos) break;
      i = e;
    } else if ((c == 'E' || c == 'e') && i + 1 < t.size() && (t[i + 1] == '+' || t[i + 1] == '-')) {
      s.scientific = true;
      break;
    } else if (c == '.') {
      decimals = true;
    } else if (c == ',') {
      if (!decimals) s.thousands = true;
    } else if (c == '0' || c == '#') {
      if (decimals) {
        ++s.maxDec;
        if (c == '0') s.minDec = s.maxDec;
      } else {
        if (c == '0' && firstZero < 0) firstZero = s.intPlaces;
        ++s.intPlaces;
      }
    }
  }
  if (firstZero >= 0) s.minInt = s.intPlaces - firstZero;
  return s;
}

// The digits of |x| as the section wants them; `exponent` for scientific ones.
Decimal sectionDigits(const Section& s, double x, int& exponent) {
  Decimal d = toDecimal(x);
  d.negative = false;
  exponent = 0;
  if (!s.scientific) {
    roundTo(d, s.maxDec);
    return d;
  }
  if (d.zero()) return d;
  const int places = std::max(1, s.intPlaces);
  exponent = d.exp - places;
  d.exp = places;
  roundTo(d, s.maxDec);
  if (d.exp > places) {  // 9.99 became 10.0
    d.exp = places;
    ++exponent;
  }
  return d;
}

std::string render(const Section& s, double x, bool minus) {
  int exponent = 0;
  const Decimal d = sectionDigits(s, x, exponent);
  std::string ints = intDigits(d);
  if (static_cast<int>(ints.size()) < s.minInt) ints.insert(0, s.minInt - ints.size(), '0');
  std::string frac = fracDigits(d);
  if (static_cast<int>(frac.size()) < s.minDec) frac.resize(s.minDec, '0');
  const std::string_view t = s.text;
  std::string out = minus ? "-" : "";
  const long spare = static_cast<long>(ints.size()) - s.intPlaces;
  int intSeen = 0, decSeen = 0;
  bool decimals = false;
  auto emitIntegers = [&]() {
    if (intSeen == 0) out += s.thousands ? grouped(ints) : ints;
  };
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '\'' || c == '"') {
      const size_t e = t.find(c, i + 1);
      const size_t stop = e == std::string_view::npos ? t.size() : e;
      out.append(t.substr(i + 1, stop - i - 1));
      i = stop;
    } else if (s.scientific && (c == 'E' || c == 'e') && i + 1 < t.size() &&
               (t[i + 1] == '+' || t[i + 1] == '-')) {
      if (intSeen == 0 && !decimals) emitIntegers();
      out += c;
      if (exponent < 0)
        out += '-';
      else if (t[i + 1] == '+')
        out += '+';
      i += 2;
      int width = 0;
      while (i < t.size() && t[i] == '0') ++width, ++i;
      std::string e = std::to_string(std::abs(exponent));
      if (static_cast<int>(e.size()) < std::min(width, 4))
        e.insert(0, std::min(width, 4) - e.size(), '0');
      out += e;
      out.append(t.substr(i));
      return out;
    } else if (c == '.') {
      if (!decimals) {
        if (intSeen == 0) emitIntegers();
        intSeen = std::max(intSeen, 1);
        if (!frac.empty()) out += decimalSeparator();
      }
      decimals = true;
    } else if (c == ',') {
      // Only asks for thousands separators.
    } else if (c == '0' || c == '#') {
      if (decimals) {
        if (decSeen < static_cast<int>(frac.size())) out += frac[decSeen];
        ++decSeen;
      } else if (s.thousands) {
        emitIntegers();
        ++intSeen;
      } else {
        // Placeholders take digits from the right; the first one also takes
        // every digit the pattern has no place for.
        const long pos = spare + intSeen;
        if (intSeen == 0 && pos >= 0)
          out += ints.substr(0, pos + 1);
        else if (pos >= 0)
          out += ints[pos];
        ++intSeen;
      }
    } else {
      out += c;
    }
  }
  if (intSeen == 0 && !decimals) out += ints;
  return out;
}

std::vector<std::string_view> sections(std::string_view p) {
  std::vector<std::string_view> r;
  size_t start = 0;
  for (size_t i = 0; i < p.size() && r.size() < 2; ++i) {
    if (p[i] == '\'' || p[i] == '"') {
      const size_t e = p.find(p[i], i + 1);
      if (e == std::string_view::npos) break;
      i = e;
    } else if (p[i] == ';') {
      r.push_back(p.substr(start, i - start));
      start = i + 1;
    }
  }
  r.push_back(p.substr(std::min(start, p.size())));
  return r;
}

std::string_view trimmedBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::string formatted(const Variant& v, int32_t code, std::string_view text) {
  EngineGlobals& g = engineGlobals();
  const int32_t sub = formatSubFormat(code);
  switch (formatKind(code)) {
    case fkText:
      return valueToText(v);
    case fkNumber: {
      // A code without a separator keeps the one in force.
      if (formatSeparator(code) != 0) g.Format.DecimalSeparator = formatSeparator(code);
      const int d = formatDecimals(code);
      const double x = v.numberValue();
      switch (sub) {
        case 0:
          return formatFloat("##0." + std::string(d, '#'), x);
        case 1:
          return floatToFixed(x, d, false);
        case 2:
          return formatFloat("#,##0." + std::string(d, '#'), x);
        case 3:
          return floatToFixed(x, d, true);
        case kCustomSubFormat:
          return formatFloat(text, x);
        default:
          return {};
      }
    }
    case fkDate: {
      const double dt = dateTimeValue(v);
      if (sub == kCustomSubFormat) return FormatDateTime(text, dt);
      if (sub == 3) return FormatDateTime(g.Format.LongDateFormat, dt);
      if (sub > 3) throw ConversionError("no date format " + std::to_string(sub));
      return FormatDateTime(g.Tables.DateFormats[sub], dt);
    }
    case fkTime: {
      const double dt = dateTimeValue(v);
      if (sub == kCustomSubFormat) return FormatDateTime(text, dt);
      if (sub > 3) throw ConversionError("no time format " + std::to_string(sub));
      return FormatDateTime(g.Tables.TimeFormats[sub], dt);
    }
    case fkBoolean: {
      if (sub > kCustomSubFormat) throw ConversionError("no Boolean format " + std::to_string(sub));
      const std::string_view texts = sub == kCustomSubFormat ? text : g.Tables.BoolFormats[sub];
      const size_t semi = texts.find(';');
      if (v.intValue() != 0)
        return std::string(semi == std::string_view::npos ? texts.substr(0, 255)
                                                          : texts.substr(semi + 1, 255));
      return std::string(semi == std::string_view::npos ? std::string_view()
                                                        : texts.substr(0, semi));
    }
    default:
      return {};
  }
}

}  // namespace

std::string floatToText(double x) {
  if (!std::isfinite(x)) return nonFinite(x);
  const Decimal d = toDecimal(x);
  if (d.zero()) return "0";
  std::string out = d.negative ? "-" : "";
  if (d.exp > 15 || std::fabs(x) < 1e-5) {
    out += d.digits[0];
    if (d.digits.size() > 1) out += decimalSeparator() + d.digits.substr(1);
    out += 'E' + std::to_string(d.exp - 1);
    return out;
  }
  // Built in place: this is the text of every number a report shows plainly.
  const size_t count = d.digits.size();
  if (d.exp <= 0) {
    out += '0';
    out += decimalSeparator();
    out.append(size_t(-d.exp), '0');
    out += d.digits;
    return out;
  }
  const auto ints = size_t(d.exp);
  out.append(d.digits, 0, std::min(ints, count));
  if (ints > count) out.append(ints - count, '0');
  if (ints < count) {
    out += decimalSeparator();
    out.append(d.digits, ints, std::string::npos);
  }
  return out;
}

std::string floatToFixed(double x, int decimals, bool thousands) {
  if (!std::isfinite(x)) return nonFinite(x);
  Decimal d = toDecimal(x);
  if (d.exp > 15) return floatToText(x);
  roundTo(d, decimals);
  std::string ints = intDigits(d);
  if (ints.empty()) ints.push_back('0');
  std::string out;
  if (d.negative && !d.zero()) out.push_back('-');
  out += thousands ? grouped(ints) : ints;
  if (decimals > 0) {
    std::string frac = fracDigits(d);
    frac.resize(decimals, '0');
    out += decimalSeparator() + frac;
  }
  return out;
}

std::string formatFloat(std::string_view pattern, double x) {
  if (pattern.empty() || !std::isfinite(x)) return floatToText(x);
  if (toDecimal(x).exp > 18) return floatToText(x);
  const std::vector<std::string_view> parts = sections(pattern);
  auto part = [&](size_t i) -> const std::string_view* {
    return i < parts.size() && !parts[i].empty() ? &parts[i] : nullptr;
  };
  const std::string_view* zero = part(2);
  if (x == 0) return render(analyse(zero ? *zero : parts[0]), 0, false);
  const std::string_view* negative = x < 0 ? part(1) : nullptr;
  const Section s = analyse(negative ? *negative : parts[0]);
  int exponent = 0;
  if (sectionDigits(s, x, exponent).zero()) return render(zero ? analyse(*zero) : s, 0, false);
  return render(s, x, x < 0 && !negative);
}

std::string valueToText(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Double:
      return floatToText(v.toDouble());
    case Variant::Kind::DateTime:
      try {
        return dateTimeToText(v.toDouble());
      } catch (const ConversionError&) {
        return floatToText(v.toDouble());
      }
    default:
      return v.toString();
  }
}

std::string FormatValue(const Variant& v, int32_t format, std::string_view formatStr) {
  if (v.isEmpty() || v.isNull()) return {};
  if (v.isString() && trimmedBlanks(v.str()).empty()) return {};
  std::string out;
  bool failed = false;
  {
    DecimalSeparatorScope keep(decimalSeparator());
    try {
      out = formatted(v, format, formatStr);
    } catch (const Error&) {
      failed = true;
    }
  }
  // The plain text form, in the separator the user's settings have.
  return failed ? valueToText(v) : out;
}

void AppendFormatted(std::string& out, const Variant& v, int32_t format,
                     std::string_view formatStr) {
  if (formatKind(format) == fkText) {
    switch (v.kind()) {
      case Variant::Kind::String:
        if (!trimmedBlanks(v.str()).empty()) out += v.str();
        return;
      case Variant::Kind::Int: {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.toInt());
        out.append(buf, r.ptr);
        return;
      }
      case Variant::Kind::Double:
        if (!appendFewDecimals(out, v.toDouble())) out += floatToText(v.toDouble());
        return;
      default:
        break;
    }
  }
  out += FormatValue(v, format, formatStr);
}

InlineFormat ResolveInlineFormat(std::string_view expression, int32_t format,
                                 std::string_view formatStr) {
  const size_t mark = expression.find(" #");
  if (mark == std::string_view::npos)
    return {std::string(expression), format, std::string(formatStr)};
  InlineFormat r{std::string(expression.substr(0, mark)), format,
                 std::string(expression.substr(mark + 2))};
  std::string s = r.FormatStr;
  if (s.empty()) return r;
  if (s[0] >= '0' && s[0] <= '9') s.insert(s.begin(), 'N');
  switch (std::toupper(static_cast<unsigned char>(s[0]))) {
    case 'N': {
      const bool fixed = s.size() > 1 && s[1] >= '0' && s[1] <= '9';
      int32_t c = makeFormat(fkNumber, fixed ? 1 : 0);
      for (size_t k = s.size() - 1; k >= 1; --k) {
        if (s[k] == ',' || s[k] == '-' || s[k] == '.') {
          c += static_cast<unsigned char>(s[k]);
          s[k] = '.';
          if (fixed) c += static_cast<int32_t>(std::min<size_t>(s.size() - 1 - k, 255)) << 8;
          break;
        }
      }
      if (!fixed) {
        r.FormatStr = s.substr(1);
        c = (c & ~0x00FF0000) | kCustomSubFormat << 16;
      }
      r.Format = c;
      break;
    }
    case 'B':
      r.Format = makeFormat(fkBoolean, kCustomSubFormat);
      r.FormatStr = s.substr(1);
      break;
    case 'D':
    case 'T':
      r.Format = makeFormat(fkDate, kCustomSubFormat);
      r.FormatStr = s.substr(1);
      break;
    default:
      break;
  }
  return r;
}

bool hidesAsZero(const Variant& v) {
  if (v.isString()) return false;
  try {
    return variantEquals(v, Variant(0));
  } catch (const Error&) {
    return false;
  }
}

}  // namespace orv
