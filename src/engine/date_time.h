#pragma once
#include <string>
#include <string_view>

#include "model/variant.h"

namespace orv {

// Date-times are day counts from 30 December 1899; the fraction is the time
// of day, taken as positive also before that day (-1.25 is 29 December 1899,
// 06:00). Years run from 1 to 9999; anything outside raises ConversionError.
struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int dayOfWeek = 6;  // 0 Sunday .. 6 Saturday
  int hour = 0, minute = 0, second = 0, msec = 0;
};
DateTimeParts decodeDateTime(double dateTime);
double encodeDate(int year, int month, int day);
double encodeTime(int hour, int minute, int second, int msec);
// The local date and time now, as a date-time value.
double currentDateTime();

// Formats with the date-time pattern letters, in any case: d dd ddd dddd
// (short and long day names) ddddd (short date) dddddd (long date), m mm mmm
// mmmm (months; minutes right after an hour), yy yyyy, h hh, n nn, s ss,
// z zzz, t tt (short and long time), c (date and time), am/pm a/p ampm (12-hour
// clock), '/' and ':' (the separators); text in single or double quotes is
// copied. Names and separators come from the engine's format settings.
std::string FormatDateTime(std::string_view pattern, double dateTime);

// The text form of a date-time: the short date, then the long time unless
// it is midnight.
std::string dateTimeToText(double dateTime);

// Readers of dates and times as users type them, in the order of the short
// date format: 1 or 2 digit days and months, 2 or 4 digit years (the year may
// be left out: the current one), any of '/', '-', '.' between; times as h:m,
// h:m:s or h:m:s.z with an optional AM/PM. ConversionError otherwise.
double strToDate(std::string_view text);
double strToTime(std::string_view text);
// A date, a time, or a date followed by a time.
double strToDateTime(std::string_view text);

// A value read as a date-time: numbers as they are, texts through
// strToDateTime (or as a number). Null raises ConversionError.
double dateTimeValue(const Variant& v);

}  // namespace orv
