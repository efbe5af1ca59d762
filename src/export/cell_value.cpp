#include "export/cell_value.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "platform/strings.h"

namespace orv {

namespace {

// The display format code's fields.
int formatKind(int32_t f) {
  return (f >> 24) & 0xF;
}
int formatSub(int32_t f) {
  return (f >> 16) & 0xFF;
}
int formatDecimals(int32_t f) {
  return (f >> 8) & 0xFF;
}
char formatSeparator(int32_t f) {
  return char(f & 0xFF);
}

// The date and time format tables the report run formats with (the string
// table's entries, as the engine loads them).
QString dateTable(int sub) {
  return sub >= 0 && sub < 3 ? loadString(55175 + sub) : QString();
}
QString timeTable(int sub) {
  return sub >= 0 && sub < 4 ? loadString(55179 + sub) : QString();
}

// Month names as the report run writes them.
const std::array<const char*, 12> kLongMonths = {"janeiro",  "fevereiro", "março",    "abril",
                                                 "maio",     "junho",     "julho",    "agosto",
                                                 "setembro", "outubro",   "novembro", "dezembro"};

std::optional<double> parseNumber(const QString& shown, char sep, bool custom) {
  QString t = shown.trimmed();
  t.remove(QChar(0xA0));
  t.remove(QChar(0x202F));
  bool negative = false;
  if (custom) {
    // A custom format may add a currency sign or a unit around the digits.
    while (!t.isEmpty() && !t.front().isDigit() && t.front() != '-' && t.front() != '(' &&
           t.front() != sep)
      t.remove(0, 1);
    while (!t.isEmpty() && !t.back().isDigit() && t.back() != ')') t.chop(1);
    t = t.trimmed();
  }
  if (t.startsWith('(') && t.endsWith(')')) {
    negative = true;
    t = t.mid(1, t.size() - 2).trimmed();
  }
  if (t.startsWith('-')) {
    negative = !negative;
    t = t.mid(1).trimmed();
  } else if (t.startsWith('+')) {
    t = t.mid(1);
  }
  if (t.isEmpty()) return std::nullopt;
  std::string digits;
  bool seenMark = false, seenDigit = false;
  int sinceGroup = -1;  // digits since the last grouping character
  for (QChar c : t) {
    if (c.isDigit() && c.unicode() < 128) {
      digits += char(c.unicode());
      seenDigit = true;
      if (sinceGroup >= 0) ++sinceGroup;
    } else if (c == QChar(sep) && !seenMark) {
      if (sinceGroup >= 0 && sinceGroup != 3) return std::nullopt;
      sinceGroup = -1;
      digits += '.';
      seenMark = true;
    } else if (!seenMark && seenDigit && (c == '.' || c == ',' || c == ' ') && c != QChar(sep)) {
      // A grouping character: three digits must follow it.
      if (sinceGroup >= 0 && sinceGroup != 3) return std::nullopt;
      sinceGroup = 0;
    } else {
      return std::nullopt;
    }
  }
  if (sinceGroup >= 0 && sinceGroup != 3) return std::nullopt;
  if (!seenDigit) return std::nullopt;
  double v = 0;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || !std::isfinite(v))
    return std::nullopt;
  return negative ? -v : v;
}

std::string numberFormatFor(int sub, int decimals, const std::string& custom) {
  const std::string zeros(size_t(std::min(decimals, 30)), '0');
  switch (sub) {
    case 1:
      return decimals ? "0." + zeros : "0";
    case 2:
      return decimals ? "General" : "#,##0";
    case 3:
      return decimals ? "#,##0." + zeros : "#,##0";
    case 4:
      return custom.empty() ? "General" : custom;
    default:
      return "General";
  }
}

struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  bool hasDate = false, hasTime = false;
};

// Reads `text` as the date-time pattern `pattern` wrote it, and gives the
// spreadsheet format that shows it the same way. Pattern letters as the
// report run uses them: d, m, y, h, n (minutes), s, z; "/" and ":" are the
// date and time separators; quoted parts are literal.
bool parseDateTime(const QString& text, const QString& pattern, DateParts& out,
                   std::string& sheetFormat) {
  int pos = 0;
  const int n = int(text.size());
  bool localNames = false, lastWasHour = false;
  bool haveDay = false, haveMonth = false, haveYear = false;
  auto readDigits = [&](int minLen, int maxLen, int& value) {
    int len = 0;
    value = 0;
    while (pos < n && len < maxLen && text[pos].isDigit() && text[pos].unicode() < 128) {
      value = value * 10 + (text[pos].unicode() - '0');
      ++pos;
      ++len;
    }
    return len >= minLen;
  };
  auto literal = [&](const QString& lit) {
    for (QChar c : lit) {
      if (pos < n && text[pos] == c) {
        ++pos;
      } else if (c == ' ') {
        continue;
      } else {
        return false;
      }
    }
    return true;
  };
  auto escaped = [](const QString& lit) {
    std::string r;
    for (QChar c : lit) {
      if (c == ' ' || c == '-' || c == '.' || c == ',' || c == '/' || c == ':') {
        r += char(c.unicode());
      } else {
        r += '\\';
        r += QString(c).toStdString();
      }
    }
    return r;
  };
  const int pn = int(pattern.size());
  for (int i = 0; i < pn;) {
    const QChar pc = pattern[i];
    const QChar lc = pc.toLower();
    if (pc == '"' || pc == '\'') {
      const int end = int(pattern.indexOf(pc, i + 1));
      if (end < 0) return false;
      const QString lit = pattern.mid(i + 1, end - i - 1);
      if (!literal(lit)) return false;
      sheetFormat += escaped(lit);
      i = end + 1;
      continue;
    }
    if (lc == 'd' || lc == 'm' || lc == 'y' || lc == 'h' || lc == 'n' || lc == 's' || lc == 'z') {
      int run = 1;
      while (i + run < pn && pattern[i + run].toLower() == lc) ++run;
      i += run;
      int v = 0;
      bool minutes = lc == 'n' || (lc == 'm' && lastWasHour && run <= 2);
      if (minutes) {
        if (!readDigits(1, 2, v) || v > 59) return false;
        out.minute = v;
        out.hasTime = true;
        sheetFormat += run >= 2 ? "mm" : "m";
      } else if (lc == 'd' && run <= 2) {
        if (!readDigits(1, 2, v)) return false;
        out.day = v;
        haveDay = true;
        sheetFormat += std::string(size_t(run), 'd');
      } else if (lc == 'd') {
        // A day name: letters and a hyphen ("segunda-feira").
        const int start = pos;
        while (pos < n && (text[pos].isLetter() || text[pos] == '-')) ++pos;
        if (pos == start) return false;
        localNames = true;
        sheetFormat += run >= 4 ? "dddd" : "ddd";
      } else if (lc == 'm' && run <= 2) {
        if (!readDigits(1, 2, v)) return false;
        out.month = v;
        haveMonth = true;
        sheetFormat += std::string(size_t(run), 'm');
      } else if (lc == 'm') {
        int found = 0;
        for (int k = 0; k < 12 && !found; ++k) {
          const QString full = QString::fromUtf8(kLongMonths[size_t(k)]);
          const QString name = run >= 4 ? full : full.left(3);
          if (text.mid(pos, name.size()).compare(name, Qt::CaseInsensitive) == 0) {
            found = k + 1;
            pos += int(name.size());
          }
        }
        if (!found) return false;
        out.month = found;
        haveMonth = true;
        localNames = true;
        sheetFormat += run >= 4 ? "mmmm" : "mmm";
      } else if (lc == 'y') {
        if (run <= 2) {
          if (!readDigits(2, 2, v)) return false;
          v += v < 50 ? 2000 : 1900;
          sheetFormat += "yy";
        } else {
          if (!readDigits(4, 4, v)) return false;
          sheetFormat += "yyyy";
        }
        out.year = v;
        haveYear = true;
      } else if (lc == 'h') {
        if (!readDigits(1, 2, v) || v > 23) return false;
        out.hour = v;
        out.hasTime = true;
        sheetFormat += run >= 2 ? "hh" : "h";
      } else if (lc == 's') {
        if (!readDigits(1, 2, v) || v > 59) return false;
        out.second = v;
        out.hasTime = true;
        sheetFormat += run >= 2 ? "ss" : "s";
      } else {  // z: milliseconds
        if (!readDigits(1, 3, v)) return false;
        out.msec = v;
        sheetFormat += "000";
      }
      lastWasHour = lc == 'h';
      continue;
    }
    if (lc == 'a' || lc == 'c' || lc == 't') return false;  // not read back
    if (pc == '/') {
      if (pos >= n || (text[pos] != '/' && text[pos] != '-' && text[pos] != '.')) return false;
      sheetFormat += QString(text[pos]).toStdString();
      ++pos;
    } else {
      if (!literal(QString(pc))) return false;
      sheetFormat += escaped(QString(pc));
    }
    ++i;
  }
  if (pos != n) return false;
  if (haveDay || haveMonth || haveYear) {
    if (!(haveDay && haveMonth && haveYear)) return false;
    if (!QDate::isValid(out.year, out.month, out.day)) return false;
    out.hasDate = true;
  }
  if (!out.hasDate && !out.hasTime) return false;
  if (localNames) sheetFormat = "[$-416]" + sheetFormat;
  return true;
}

// Text objects of prepared pages keep only their text: a value is read back
// from how the report's formats write it. Numbers with a decimal comma and
// points between thousands ("1.234,56"), or a lone decimal point; dates as
// dd/mm/yyyy with an optional time; a currency sign before a number.
CellValue inferValue(const QString& shown, bool digitsAreText) {
  CellValue v;
  QString t = shown.trimmed();
  if (t.isEmpty() || t.size() > 40) return v;
  static const QRegularExpression date(QStringLiteral(
      "^(\\d{1,2})/(\\d{1,2})/(\\d{4}|\\d{2})(?: (\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
  static const QRegularExpression time(QStringLiteral("^(\\d{1,2}):(\\d{2}):(\\d{2})$"));
  if (auto m = date.match(t); m.hasMatch()) {
    int y = m.captured(3).toInt();
    if (m.captured(3).size() == 2) y += y < 50 ? 2000 : 1900;
    const QDate d(y, m.captured(2).toInt(), m.captured(1).toInt());
    if (!d.isValid()) return v;
    v.number = double(d.toJulianDay() - QDate(1899, 12, 30).toJulianDay());
    v.kind = CellValue::Kind::Date;
    v.numberFormat = m.captured(3).size() == 2 ? "dd/mm/yy" : "dd/mm/yyyy";
    if (!m.captured(4).isEmpty()) {
      const int h = m.captured(4).toInt(), n = m.captured(5).toInt(), sec = m.captured(6).toInt();
      if (h > 23 || n > 59 || sec > 59) return CellValue{};
      v.number += (h * 3600.0 + n * 60.0 + sec) / 86400.0;
      v.kind = CellValue::Kind::DateTime;
      v.numberFormat += m.captured(6).isEmpty() ? " hh:mm" : " hh:mm:ss";
    }
    return v;
  }
  if (auto m = time.match(t); m.hasMatch()) {
    const int h = m.captured(1).toInt(), n = m.captured(2).toInt(), sec = m.captured(3).toInt();
    if (h > 23 || n > 59 || sec > 59) return v;
    v.kind = CellValue::Kind::Time;
    v.number = (h * 3600.0 + n * 60.0 + sec) / 86400.0;
    v.numberFormat = "hh:mm:ss";
    return v;
  }
  std::string currency;
  if (t.startsWith(QStringLiteral("R$"))) {
    currency = "\"R$ \"";
    t = t.mid(2).trimmed();
  }
  static const QRegularExpression grouped(QStringLiteral("^-?[1-9]\\d{0,2}(\\.\\d{3})+(,\\d+)?$"));
  static const QRegularExpression plainComma(QStringLiteral("^-?(0|[1-9]\\d*)(,\\d+)?$"));
  static const QRegularExpression plainPoint(
      QStringLiteral("^-?(0|[1-9]\\d*)\\.(\\d{1,2}|\\d{4,})$"));
  const bool isGrouped = grouped.match(t).hasMatch();
  const bool isComma = !isGrouped && plainComma.match(t).hasMatch();
  const bool isPoint = !isGrouped && !isComma && plainPoint.match(t).hasMatch();
  if (!isGrouped && !isComma && !isPoint) return v;
  const bool integer = !t.contains(',') && !isPoint;
  // Whole numbers of a column of codes stay texts, and so do numbers too long
  // for a spreadsheet to keep every digit.
  if (integer && digitsAreText && currency.empty()) return v;
  QString digits = t;
  if (isPoint) {
    digits = t;
  } else {
    digits.remove('.');
    digits.replace(',', '.');
  }
  const QString mantissa = QString(digits).remove('-').remove('.');
  if (mantissa.size() > 15) return v;
  bool ok = false;
  const double x = digits.toDouble(&ok);
  if (!ok || !std::isfinite(x)) return v;
  const int dot = int(digits.indexOf('.'));
  const int decimals = dot < 0 ? 0 : int(digits.size()) - dot - 1;
  v.kind = CellValue::Kind::Number;
  v.number = x;
  v.decimals = decimals;
  const std::string body = (isGrouped ? std::string("#,##0") : std::string("0")) +
                           (decimals ? "." + std::string(size_t(decimals), '0') : std::string());
  v.numberFormat = currency + body;
  return v;
}

}  // namespace

CellValue readCellValue(const QString& text, int32_t format, const std::string& formatText,
                        bool digitsAreText) {
  CellValue v;
  const int kind = formatKind(format), sub = formatSub(format);
  if (text.trimmed().isEmpty()) return v;
  if (kind == 0) return inferValue(text, digitsAreText);
  if (kind == 1) {
    const auto x = parseNumber(text, formatSeparator(format), sub == 4);
    if (!x) return v;
    v.kind = CellValue::Kind::Number;
    v.number = *x;
    v.decimals = sub == 1 || sub == 3 ? formatDecimals(format) : -1;
    v.numberFormat = numberFormatFor(sub, formatDecimals(format), formatText);
    return v;
  }
  if (kind == 2 || kind == 3) {
    QString pattern;
    if (sub == 4)
      pattern = QString::fromStdString(formatText);
    else if (kind == 2)
      pattern = dateTable(sub);
    else
      pattern = timeTable(sub);
    if (pattern.isEmpty()) return v;
    DateParts d;
    std::string sheetFormat;
    if (!parseDateTime(text.trimmed(), pattern, d, sheetFormat)) return v;
    const double time = (d.hour * 3600.0 + d.minute * 60.0 + d.second + d.msec / 1000.0) / 86400.0;
    double days = 0;
    if (d.hasDate)
      days =
          double(QDate(d.year, d.month, d.day).toJulianDay() - QDate(1899, 12, 30).toJulianDay());
    v.kind = d.hasDate ? (d.hasTime ? CellValue::Kind::DateTime : CellValue::Kind::Date)
                       : CellValue::Kind::Time;
    v.number = days + time;
    v.numberFormat = sheetFormat;
    return v;
  }
  return v;
}

bool isDigitCode(const QString& text) {
  const QString t = text.trimmed();
  if (t.size() < 2 || t[0] != '0') return false;
  return std::all_of(t.begin(), t.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

std::string plainNumber(double v, char decimalMark) {
  if (v == 0) v = 0;  // no "-0"
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  std::string s(buf, r.ptr);
  if (decimalMark != '.')
    for (char& c : s)
      if (c == '.') c = decimalMark;
  return s;
}

std::string isoDateTime(const CellValue& v) {
  const double days = std::floor(v.number);
  const qint64 ms = std::llround((v.number - days) * 86400000.0);
  const QTime t = QTime(0, 0).addMSecs(int(std::min<qint64>(ms, 86399999)));
  const QString time = t.toString(t.msec() ? "HH:mm:ss.zzz" : "HH:mm:ss");
  if (v.kind == CellValue::Kind::Time) return time.toStdString();
  const QDate d = QDate(1899, 12, 30).addDays(qint64(days));
  QString s = d.toString(Qt::ISODate);
  if (v.kind == CellValue::Kind::DateTime) s += " " + time;
  return s.toStdString();
}

}  // namespace orv
