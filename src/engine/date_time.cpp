#include "engine/date_time.h"

#include <QDate>
#include <QDateTime>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/engine_globals.h"

namespace orv {

namespace {

// Day 0 of the day count.
constexpr int64_t kJulianDay0 = 2415019;  // 30 December 1899
constexpr double kFirstDay = -693593;     // 1 January 0001
constexpr double kEndDay = 2958466;       // 1 January 10000
constexpr int64_t kMsPerDay = 86400000;

std::string quoted(std::string_view text) {
  return "'" + std::string(text.substr(0, 60)) + (text.size() > 60 ? "...'" : "'");
}

std::string pad(int v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, v);
  return buf;
}

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool startsWithNoCase(std::string_view s, size_t i, std::string_view word) {
  if (s.size() - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (lower(s[i + k]) != word[k]) return false;
  return true;
}

// Whether the pattern asks for a 12-hour clock anywhere outside quotes.
bool twelveHour(std::string_view p) {
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '\'' || p[i] == '"') {
      const size_t e = p.find(p[i], i + 1);
      if (e == std::string_view::npos) return false;
      i = e;
    } else if (startsWithNoCase(p, i, "am/pm") || startsWithNoCase(p, i, "a/p") ||
               startsWithNoCase(p, i, "ampm")) {
      return true;
    }
  }
  return false;
}

void format(std::string& out, std::string_view p, double dt, const DateTimeParts& t, int depth) {
  const FormatSettings& fs = engineGlobals().Format;
  // The settings' own formats may name c, t, ddddd...; they are expanded one
  // level deep only, so that a format naming itself cannot loop.
  auto nested = [&](const std::string& f) {
    if (depth < 2) format(out, f, dt, t, depth + 1);
  };
  const bool h12 = twelveHour(p);
  bool afterHour = false;
  size_t i = 0;
  while (i < p.size()) {
    const char c = p[i];
    const char lc = lower(c);
    size_t n = 1;
    while (i + n < p.size() && lower(p[i + n]) == lc) ++n;
    switch (lc) {
      case '\'':
      case '"': {
        const size_t e = p.find(c, i + 1);
        const size_t stop = e == std::string_view::npos ? p.size() : e;
        out.append(p.substr(i + 1, stop - i - 1));
        i = stop == p.size() ? stop : stop + 1;
        continue;
      }
      case '/':
        out += fs.DateSeparator;
        i += 1;
        continue;
      case ':':
        out += fs.TimeSeparator;
        i += 1;
        continue;
      case 'c':
        nested(fs.ShortDateFormat);
        if (t.hour || t.minute || t.second || t.msec) {
          out += ' ';
          nested(fs.LongTimeFormat);
        }
        i += 1;
        afterHour = false;
        continue;
      case 'd':
        if (n == 1)
          out += std::to_string(t.day);
        else if (n == 2)
          out += pad(t.day, 2);
        else if (n == 3)
          out += fs.ShortDayNames[t.dayOfWeek];
        else if (n == 4)
          out += fs.LongDayNames[t.dayOfWeek];
        else if (n == 5)
          nested(fs.ShortDateFormat);
        else
          nested(fs.LongDateFormat);
        break;
      case 'm':
        if (afterHour && n <= 2)
          out += n == 1 ? std::to_string(t.minute) : pad(t.minute, 2);
        else if (n == 1)
          out += std::to_string(t.month);
        else if (n == 2)
          out += pad(t.month, 2);
        else if (n == 3)
          out += fs.ShortMonthNames[t.month - 1];
        else
          out += fs.LongMonthNames[t.month - 1];
        break;
      case 'y':
        out += n <= 2 ? pad(t.year % 100, 2) : pad(t.year, 4);
        break;
      case 'h': {
        int h = t.hour;
        if (h12) h = h % 12 == 0 ? 12 : h % 12;
        out += n == 1 ? std::to_string(h) : pad(h, 2);
        i += std::min<size_t>(n, 2);
        afterHour = true;
        continue;
      }
      case 'n':
        out += n == 1 ? std::to_string(t.minute) : pad(t.minute, 2);
        n = std::min<size_t>(n, 2);
        break;
      case 's':
        out += n == 1 ? std::to_string(t.second) : pad(t.second, 2);
        n = std::min<size_t>(n, 2);
        break;
      case 'z':
        out += n < 3 ? std::to_string(t.msec) : pad(t.msec, 3);
        n = std::min<size_t>(n, 3);
        break;
      case 't':
        nested(n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat);
        n = std::min<size_t>(n, 2);
        break;
      case 'a':
        if (startsWithNoCase(p, i, "am/pm")) {
          // Written in the case the pattern uses.
          const bool pm = t.hour >= 12;
          out += std::string_view(p.substr(i + (pm ? 3 : 0), 2));
          i += 5;
        } else if (startsWithNoCase(p, i, "a/p")) {
          out += p[i + (t.hour >= 12 ? 2 : 0)];
          i += 3;
        } else if (startsWithNoCase(p, i, "ampm")) {
          out += t.hour >= 12 ? fs.TimePMString : fs.TimeAMString;
          i += 4;
        } else {
          out += c;
          i += 1;
        }
        continue;
      default:
        out += c;
        i += 1;
        continue;
    }
    afterHour = false;
    i += n;
  }
}

// Splits "12/05/2024" into its numbers; false on anything but digits and
// separators.
bool numbers(std::string_view s, std::vector<int>& out, int maxCount, std::vector<int>* widths) {
  const char dateSep = engineGlobals().Format.DateSeparator;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] < '0' || s[i] > '9') return false;
    int v = 0;
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (i - start >= 4) return false;
      v = v * 10 + (s[i] - '0');
      ++i;
    }
    out.push_back(v);
    if (widths) widths->push_back(static_cast<int>(i - start));
    if (static_cast<int>(out.size()) > maxCount) return false;
    if (i == s.size()) break;
    const char sep = s[i];
    if (sep != '/' && sep != '-' && sep != '.' && sep != dateSep) return false;
    if (++i == s.size()) return false;
  }
  return !out.empty();
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

bool tryDate(std::string_view text, double& out) {
  std::vector<int> v, widths;
  if (!numbers(trimmed(text), v, 3, &widths) || v.size() < 2) return false;
  // Field order from the short date format: where d, m and y first appear.
  const std::string& f = engineGlobals().Format.ShortDateFormat;
  auto at = [&](char letter) {
    for (size_t i = 0; i < f.size(); ++i)
      if (lower(f[i]) == letter) return i;
    return f.size();
  };
  const size_t pd = at('d'), pm = at('m'), py = at('y');
  int day = 0, month = 0, year = QDate::currentDate().year();
  if (v.size() == 2) {
    day = pd <= pm ? v[0] : v[1];
    month = pd <= pm ? v[1] : v[0];
  } else {
    const size_t order[3] = {pd, pm, py};
    int rank[3];
    for (int k = 0; k < 3; ++k) {
      rank[k] = 0;
      for (int j = 0; j < 3; ++j)
        if (order[j] < order[k] || (order[j] == order[k] && j < k)) ++rank[k];
    }
    day = v[rank[0]];
    month = v[rank[1]];
    year = v[rank[2]];
    if (widths[rank[2]] <= 2) {
      // Two-digit years fall within fifty years either side of today.
      const int now = QDate::currentDate().year();
      year += now / 100 * 100;
      if (year > now + 50) year -= 100;
      if (year <= now - 50) year += 100;
    }
  }
  try {
    out = encodeDate(year, month, day);
    return true;
  } catch (const ConversionError&) {
    return false;
  }
}

bool tryTime(std::string_view text, double& out) {
  std::string_view s = trimmed(text);
  int half = 0;  // 1 AM, 2 PM
  const FormatSettings& fs = engineGlobals().Format;
  for (const auto& [word, kind] : {std::pair<std::string_view, int>{"AM", 1},
                                   {"PM", 2},
                                   {fs.TimeAMString, 1},
                                   {fs.TimePMString, 2}}) {
    if (word.empty() || s.size() < word.size()) continue;
    bool match = true;
    for (size_t k = 0; k < word.size(); ++k)
      match = match && std::toupper(static_cast<unsigned char>(s[s.size() - word.size() + k])) ==
                           std::toupper(static_cast<unsigned char>(word[k]));
    if (match) {
      half = kind;
      s = trimmed(s.substr(0, s.size() - word.size()));
      break;
    }
  }
  int parts[4] = {0, 0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (i < s.size() && count < 4) {
    if (s[i] < '0' || s[i] > '9') return false;
    int v = 0;
    const size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (i - start >= 3) return false;
      v = v * 10 + (s[i] - '0');
      ++i;
    }
    parts[count++] = v;
    if (i == s.size()) break;
    const char sep = s[i];
    const bool msSep = count == 3 && (sep == '.' || sep == ',');
    if (!msSep && sep != ':' && sep != fs.TimeSeparator) return false;
    if (++i == s.size()) return false;
  }
  if (i != s.size() || count == 0 || (count == 1 && half == 0)) return false;
  int hour = parts[0];
  if (half) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (half == 2 ? 12 : 0);
  }
  try {
    out = encodeTime(hour, parts[1], parts[2], parts[3]);
    return true;
  } catch (const ConversionError&) {
    return false;
  }
}

}  // namespace

DateTimeParts decodeDateTime(double dt) {
  if (!std::isfinite(dt) || dt < kFirstDay || dt >= kEndDay)
    throw ConversionError("date-time value out of range");
  const double day = std::trunc(dt);
  int64_t ms = std::llround(std::fabs(dt - day) * kMsPerDay);
  if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  const QDate d = QDate::fromJulianDay(kJulianDay0 + static_cast<int64_t>(day));
  DateTimeParts t;
  t.year = d.year();
  t.month = d.month();
  t.day = d.day();
  t.dayOfWeek = d.dayOfWeek() % 7;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.msec = static_cast<int>(ms % 1000);
  return t;
}

double encodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
    throw ConversionError("invalid date " + std::to_string(day) + "/" + std::to_string(month) +
                          "/" + std::to_string(year));
  return static_cast<double>(QDate(year, month, day).toJulianDay() - kJulianDay0);
}

double encodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    throw ConversionError("invalid time");
  return (((hour * 60 + minute) * 60 + second) * 1000.0 + msec) / kMsPerDay;
}

double currentDateTime() {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  return encodeDate(d.year(), d.month(), d.day()) +
         encodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

std::string FormatDateTime(std::string_view pattern, double dateTime) {
  const DateTimeParts t = decodeDateTime(dateTime);
  std::string out;
  // No pattern means the date and, unless it is midnight, the time.
  format(out, pattern.empty() ? std::string_view("c") : pattern, dateTime, t, 0);
  return out;
}

std::string dateTimeToText(double dt) {
  const DateTimeParts t = decodeDateTime(dt);
  const FormatSettings& fs = engineGlobals().Format;
  const bool hasTime = t.hour || t.minute || t.second || t.msec;
  // A bare time (day 0) shows as a time, the way a time typed in reads back.
  if (hasTime && std::trunc(dt) == 0) return FormatDateTime(fs.LongTimeFormat, dt);
  std::string out = FormatDateTime(fs.ShortDateFormat, dt);
  if (hasTime) out += ' ' + FormatDateTime(fs.LongTimeFormat, dt);
  return out;
}

double strToDate(std::string_view text) {
  double d = 0;
  if (!tryDate(text, d)) throw ConversionError(quoted(text) + " is not a valid date");
  return d;
}

double strToTime(std::string_view text) {
  double d = 0;
  if (!tryTime(text, d)) throw ConversionError(quoted(text) + " is not a valid time");
  return d;
}

double strToDateTime(std::string_view text) {
  double d = 0, t = 0;
  if (tryDate(text, d) || tryTime(text, d)) return d;
  const std::string_view s = trimmed(text);
  const size_t blank = s.find(' ');
  if (blank != std::string_view::npos && tryDate(s.substr(0, blank), d) &&
      tryTime(s.substr(blank + 1), t))
    return d < 0 ? d - t : d + t;
  throw ConversionError(quoted(text) + " is not a valid date and time");
}

double dateTimeValue(const Variant& v) {
  if (v.isString()) {
    double d = 0;
    if (Variant::parseNumber(v.str(), d)) return d;
    return strToDateTime(v.str());
  }
  return v.numberValue();
}

}  // namespace orv
