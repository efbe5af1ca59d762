#include "engine/formatting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "engine/date_time.h"
#include "engine/engine_globals.h"

namespace orv {
namespace {

// Every test starts from the reader's own settings and leaves them so.
class Formatting : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = engineGlobals().Format; }
  void TearDown() override { engineGlobals().Format = saved_; }
  static char separator() { return engineGlobals().Format.DecimalSeparator; }

 private:
  FormatSettings saved_;
};

const double kDec9 = encodeDate(2026, 12, 9);  // a Wednesday

TEST_F(Formatting, NumberSubFormats) {
  const Variant v(1234.5);
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 1, 2, ','), ""), "1234,50");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 1, 2, '.'), ""), "1234.50");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 3, 2, ','), ""), "1.234,50");
  // Grouping with the decimal point's own character would not read back.
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 3, 2, '.'), ""), "1,234.50");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 0, 1, ','), ""), "1234,5");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 0, 3, ','), ""), "1234,5");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 0, 0, ','), ""), "1235");
  EXPECT_EQ(FormatValue(Variant(1234567.891), makeFormat(fkNumber, 2, 2, ','), ""), "1.234.567,89");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 4, 0, ','), "R$ #,##0.00"), "R$ 1.234,50");
  EXPECT_EQ(FormatValue(Variant("12,5"), makeFormat(fkNumber, 1, 1, ','), ""), "12,5");
  EXPECT_EQ(FormatValue(v, makeFormat(fkNumber, 7, 2, ','), ""), "");
  EXPECT_EQ(FormatValue(v, 5 << 24, ""), "");
}

TEST_F(Formatting, EmptyValuesAndTextsThatAreNotNumbers) {
  for (int32_t code :
       {0, makeFormat(fkNumber, 1, 2, ','), makeFormat(fkDate, 0), makeFormat(fkBoolean, 1)}) {
    EXPECT_EQ(FormatValue(Variant(), code, ""), "");
    EXPECT_EQ(FormatValue(Variant::null(), code, ""), "");
    EXPECT_EQ(FormatValue(Variant("  "), code, ""), "");
  }
  EXPECT_EQ(FormatValue(Variant("abc"), makeFormat(fkNumber, 1, 2, ','), ""), "abc");
  EXPECT_EQ(FormatValue(Variant(2.5), 0, ""), "2,5");
}

TEST_F(Formatting, DecimalSeparatorIsAlwaysRestored) {
  ASSERT_EQ(separator(), ',');
  FormatValue(Variant(1.5), makeFormat(fkNumber, 1, 2, '.'), "");
  EXPECT_EQ(separator(), ',');
  // A value the format cannot take falls back to its text form, in the
  // user's separator, and the separator comes back all the same.
  EXPECT_EQ(FormatValue(Variant("1,5x"), makeFormat(fkNumber, 1, 2, '.'), ""), "1,5x");
  EXPECT_EQ(FormatValue(Variant::dateTime(1e9), makeFormat(fkNumber, 9, 0, '.'), ""), "");
  EXPECT_EQ(FormatValue(Variant::dateTime(1e9 + 0.5), makeFormat(fkDate, 0), ""), "1000000000,5");
  EXPECT_EQ(separator(), ',');
  {
    DecimalSeparatorScope scope('.');
    try {
      DecimalSeparatorScope inner('#');
      throw Error("inside");
    } catch (const Error&) {
    }
    EXPECT_EQ(separator(), '.');
  }
  EXPECT_EQ(separator(), ',');
}

TEST_F(Formatting, DatesAndTimesFromTheTables) {
  const Variant d = Variant::dateTime(kDec9 + 0.75);  // 18:00
  EXPECT_EQ(FormatValue(d, makeFormat(fkDate, 0), ""), "12.09.26");
  EXPECT_EQ(FormatValue(d, makeFormat(fkDate, 1), ""), "12.09.2026");
  EXPECT_EQ(FormatValue(d, makeFormat(fkDate, 2), ""), "9 Dez 2026");
  EXPECT_EQ(FormatValue(d, makeFormat(fkDate, 3), ""), "Quarta-feira, 9 de Dezembro de 2026");
  EXPECT_EQ(FormatValue(d, makeFormat(fkDate, 4), "d mmmm"), "9 Dezembro");
  EXPECT_EQ(FormatValue(d, makeFormat(fkTime, 0), ""), "18:00:00");
  EXPECT_EQ(FormatValue(Variant::dateTime(encodeTime(9, 5, 0, 0)), makeFormat(fkTime, 1), ""),
            "9:05:00");
  EXPECT_EQ(FormatValue(d, makeFormat(fkTime, 3), ""), "18:00");
  // Outside a table, the value's text form.
  EXPECT_EQ(FormatValue(d, makeFormat(fkDate, 9), ""), "09/12/2026 18:00:00");
  EXPECT_EQ(FormatValue(Variant("09/12/2026"), makeFormat(fkDate, 1), ""), "12.09.2026");
  EXPECT_EQ(FormatValue(Variant(1e9), makeFormat(fkDate, 0), ""), "1000000000");
}

TEST_F(Formatting, BooleanTexts) {
  EXPECT_EQ(FormatValue(Variant(true), makeFormat(fkBoolean, 1), ""), "Yes");
  EXPECT_EQ(FormatValue(Variant(0), makeFormat(fkBoolean, 3), ""), "False");
  EXPECT_EQ(FormatValue(Variant(5), makeFormat(fkBoolean, 2), ""), "x");
  EXPECT_EQ(FormatValue(Variant(true), makeFormat(fkBoolean, 4), "não;sim"), "sim");
  EXPECT_EQ(FormatValue(Variant(false), makeFormat(fkBoolean, 4), "Ok"), "");
  EXPECT_EQ(FormatValue(Variant(true), makeFormat(fkBoolean, 4), "Ok"), "Ok");
  EXPECT_EQ(FormatValue(Variant(1), makeFormat(fkBoolean, 4), "a;" + std::string(300, 'b')),
            std::string(255, 'b'));
  EXPECT_EQ(FormatValue(Variant("abc"), makeFormat(fkBoolean, 1), ""), "abc");
}

TEST_F(Formatting, InlineFormats) {
  const int32_t memo = makeFormat(fkDate, 1);
  InlineFormat f = ResolveInlineFormat("Total #N0.00", memo, "memo");
  EXPECT_EQ(f.Expression, "Total");
  EXPECT_EQ(f.Format, makeFormat(fkNumber, 1, 2, '.'));
  EXPECT_EQ(FormatValue(Variant(1234.5), f.Format, f.FormatStr), "1234.50");
  f = ResolveInlineFormat("[Total] #0,00", memo, "");
  EXPECT_EQ(f.Expression, "[Total]");
  EXPECT_EQ(f.Format, makeFormat(fkNumber, 1, 2, ','));
  f = ResolveInlineFormat("x #N#,##0.00", memo, "");
  EXPECT_EQ(f.Format, makeFormat(fkNumber, 4, 0, '.'));
  EXPECT_EQ(f.FormatStr, "#,##0.00");
  EXPECT_EQ(FormatValue(Variant(1234.5), f.Format, f.FormatStr), "1,234.50");
  f = ResolveInlineFormat("d #Dd mmm yyyy", 0, "");
  EXPECT_EQ(f.Format, makeFormat(fkDate, 4));
  EXPECT_EQ(FormatValue(Variant::dateTime(kDec9), f.Format, f.FormatStr), "9 Dez 2026");
  f = ResolveInlineFormat("t #thh:nn", 0, "");
  EXPECT_EQ(FormatValue(Variant::dateTime(kDec9 + 0.5), f.Format, f.FormatStr), "12:00");
  f = ResolveInlineFormat("b #BNo;Yes", 0, "");
  EXPECT_EQ(f.Format, makeFormat(fkBoolean, 4));
  EXPECT_EQ(FormatValue(Variant(true), f.Format, f.FormatStr), "Yes");
  f = ResolveInlineFormat("a #Xyz", memo, "memo");
  EXPECT_EQ(f.Format, memo);
  EXPECT_EQ(f.FormatStr, "Xyz");
  f = ResolveInlineFormat("a#N0.00", memo, "memo");  // no blank: no format
  EXPECT_EQ(f.Expression, "a#N0.00");
  EXPECT_EQ(f.FormatStr, "memo");
  f = ResolveInlineFormat("a #", memo, "memo");
  EXPECT_EQ(f.Format, memo);
  EXPECT_EQ(f.FormatStr, "");
}

TEST_F(Formatting, HiddenZeros) {
  EXPECT_TRUE(hidesAsZero(Variant(0)));
  EXPECT_TRUE(hidesAsZero(Variant(0.0)));
  EXPECT_FALSE(hidesAsZero(Variant("0")));
  EXPECT_FALSE(hidesAsZero(Variant(0.5)));
  EXPECT_FALSE(hidesAsZero(Variant::null()));
}

TEST_F(Formatting, NumberPatterns) {
  EXPECT_EQ(formatFloat("0.00", 2.675), "2,68");  // as written, not as stored
  EXPECT_EQ(formatFloat("0.00", -0.001), "0,00");
  EXPECT_EQ(formatFloat("#,##0.00;(#,##0.00);'zero'", -1234.5), "(1.234,50)");
  EXPECT_EQ(formatFloat("#,##0.00;(#,##0.00);'zero'", 0), "zero");
  EXPECT_EQ(formatFloat("#,##0.00;(#,##0.00);'zero'", -0.001), "zero");
  EXPECT_EQ(formatFloat("#,##0.00;;zero", -5), "-5,00");
  EXPECT_EQ(formatFloat("00-00", 1234), "12-34");
  EXPECT_EQ(formatFloat("00", 12345), "12345");
  EXPECT_EQ(formatFloat("000", 7), "007");
  EXPECT_EQ(formatFloat("#", 0), "");
  EXPECT_EQ(formatFloat("#.##", 0.5), ",5");
  EXPECT_EQ(formatFloat(".00", 5.25), "5,25");
  EXPECT_EQ(formatFloat("0.###E+00", 12345), "1,235E+04");
  EXPECT_EQ(formatFloat("0.0E-0", 0.00012), "1,2E-4");
  EXPECT_EQ(formatFloat("0.0E+00", 9.96), "1,0E+01");
  EXPECT_EQ(formatFloat("\"#\"0", 3), "#3");
  EXPECT_EQ(formatFloat("", 1.5), "1,5");
}

TEST_F(Formatting, TextFormOfNumbers) {
  EXPECT_EQ(floatToText(1.0 / 3), "0,333333333333333");
  EXPECT_EQ(floatToText(0.1 + 0.2), "0,3");
  EXPECT_EQ(floatToText(-2.5), "-2,5");
  EXPECT_EQ(floatToText(1e20), "1E20");
  EXPECT_EQ(floatToText(1.5e-7), "1,5E-7");
  EXPECT_EQ(floatToText(123456789012345678.0), "1,23456789012346E17");
  // Fifteen digits and more, just under a power of ten, and below the normal
  // range: the short and the long way to the digits must agree.
  EXPECT_EQ(floatToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(floatToText(1234567890123456.0), "1,23456789012346E15");
  EXPECT_EQ(floatToText(std::nextafter(1e6, 0.0)), "1000000");
  EXPECT_EQ(floatToText(0.07 + 0.000000000000001), "0,070000000000001");
  EXPECT_EQ(floatToText(5e-324), "4,94065645841247E-324");
  EXPECT_EQ(floatToFixed(2.675, 2, false), "2,68");
  EXPECT_EQ(floatToFixed(0.125, 2, false), "0,13");
  EXPECT_EQ(floatToFixed(-0.001, 2, false), "0,00");
  EXPECT_EQ(floatToFixed(0.1, 20, false), "0,10000000000000000000");
  EXPECT_EQ(floatToFixed(1e20, 2, false), "1E20");
  EXPECT_EQ(valueToText(Variant(true)), "True");
  EXPECT_EQ(valueToText(Variant::dateTime(kDec9)), "09/12/2026");
  EXPECT_EQ(valueToText(Variant::dateTime(0.75)), "18:00:00");
}

// The text form of a number between 1e-5 and 1e15 as its 15 significant
// digits give it, rounded by the C library: an oracle independent of the
// shortcuts the formatter takes for values with few decimals.
std::string fifteenDigits(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x));
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 14);
  const int exp = std::atoi(buf + 17) + 1;
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  std::string out = x < 0 ? "-" : "";
  if (exp <= 0) return out + "0," + std::string(size_t(-exp), '0') + digits;
  if (digits.size() <= size_t(exp))
    return out + digits + std::string(size_t(exp) - digits.size(), '0');
  return out + digits.substr(0, size_t(exp)) + "," + digits.substr(size_t(exp));
}

TEST_F(Formatting, NumbersWithFewDecimalsReadAsTheirFifteenDigits) {
  engineGlobals().Format.DecimalSeparator = ',';
  // Prices in cents, quantities in tenths and thousandths, values one step
  // away from them, and the edges of the shortcut's range.
  for (int i = 1; i < 200000; i += 7) {
    for (const double x : {i / 100.0, i / 10.0, i / 1000.0, i / 10000.0, i * 0.01, -i / 100.0,
                           std::nextafter(i / 100.0, 1e300), i / 100000.0, i * 1e9 + 0.5}) {
      ASSERT_EQ(floatToText(x), fifteenDigits(x)) << x;
      // A text object appends the same text to what it already holds.
      std::string text = "R$ ";
      AppendFormatted(text, Variant(x), fkText, "");
      ASSERT_EQ(text, "R$ " + fifteenDigits(x)) << x;
    }
  }
  for (const double x :
       {999999999999999.0, 99999999999999.99, 99999999999.9999, 0.00001, 0.0001234, 12.345678901234,
        0.1 * 3, 1e14 + 0.25, 4503599627370497.0 / 1e5, -0.05, -1200.0, 0.5}) {
    EXPECT_EQ(floatToText(x), fifteenDigits(x)) << x;
    std::string text;
    AppendFormatted(text, Variant(x), fkText, "");
    EXPECT_EQ(text, fifteenDigits(x)) << x;
  }
  std::string zero;
  AppendFormatted(zero, Variant(-0.0), fkText, "");
  EXPECT_EQ(zero, floatToText(-0.0));
  engineGlobals().Format.DecimalSeparator = '.';
  std::string point;
  AppendFormatted(point, Variant(-0.05), fkText, "");
  EXPECT_EQ(point, "-0.05");
  engineGlobals().Format.DecimalSeparator = ',';
  EXPECT_EQ(floatToFixed(2.675, 2, false), "2,68");
  EXPECT_EQ(formatFloat("#,##0.00", 1234.5), "1.234,50");
}

TEST_F(Formatting, DateTimePatternLetters) {
  const double t = kDec9 + encodeTime(18, 5, 7, 42);
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", t), "09/12/2026 18:05:07.042");
  EXPECT_EQ(FormatDateTime("d/m/yy h:n:s", t), "9/12/26 18:5:7");
  EXPECT_EQ(FormatDateTime("hh:mm", t), "18:05");  // m after an hour is minutes
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", t), "Qua Quarta-feira Dez Dezembro");
  EXPECT_EQ(FormatDateTime("h:nn am/pm", t), "6:05 pm");
  EXPECT_EQ(FormatDateTime("h:nn AM/PM", kDec9), "12:00 AM");
  EXPECT_EQ(FormatDateTime("d 'de' mmmm", encodeDate(2026, 3, 1)), "1 de Mar\xe7o");
  EXPECT_EQ(FormatDateTime("dddd", encodeDate(2026, 12, 12)),
            "S\xe1"
            "bado");
  EXPECT_EQ(FormatDateTime("c", t), "09/12/2026 18:05:07");
  EXPECT_EQ(FormatDateTime("ddddd", t), "09/12/2026");
  EXPECT_EQ(FormatDateTime("", t), "09/12/2026 18:05:07");
  EXPECT_THROW(FormatDateTime("d", 1e7), ConversionError);
  // A settings format that names itself is expanded only so far.
  engineGlobals().Format.ShortDateFormat = "ddddd";
  EXPECT_EQ(FormatDateTime("ddddd", t), "");
}

TEST_F(Formatting, DateCodecAndReaders) {
  EXPECT_EQ(encodeDate(1899, 12, 30), 0);
  EXPECT_EQ(encodeDate(1, 1, 1), -693593);
  EXPECT_EQ(encodeDate(9999, 12, 31), 2958465);
  EXPECT_THROW(encodeDate(2026, 2, 29), ConversionError);
  const DateTimeParts p = decodeDateTime(-1.25);
  EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, 18991229);
  EXPECT_EQ(p.hour, 6);
  EXPECT_EQ(strToDate("9/12/26"), kDec9);
  EXPECT_EQ(strToDate(" 09-12-2026 "), kDec9);
  EXPECT_THROW(strToDate("32/01/2026"), ConversionError);
  EXPECT_THROW(strToDate("1/2/3/4"), ConversionError);
  EXPECT_EQ(strToTime("6:30 PM"), encodeTime(18, 30, 0, 0));
  EXPECT_EQ(strToTime("06:30:15"), encodeTime(6, 30, 15, 0));
  EXPECT_THROW(strToTime("25:00"), ConversionError);
  EXPECT_THROW(strToTime("12"), ConversionError);
  EXPECT_EQ(strToDateTime("09/12/2026 18:00"), kDec9 + 0.75);
}

}  // namespace
}  // namespace orv
