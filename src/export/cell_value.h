#pragma once
#include <QString>
#include <cstdint>
#include <string>

namespace orv {

// What a text object's shown text is as a spreadsheet value: a number, a
// date, a time or plain text. Text stays text whenever it does not read back
// as a value (a code with leading zeros stays as it was).
struct CellValue {
  enum class Kind : uint8_t { Text, Number, Date, Time, DateTime };
  Kind kind = Kind::Text;
  // Numbers as they are; dates and times as spreadsheet serials (days since
  // 1899-12-30, the time of day as the fraction).
  double number = 0;
  // The spreadsheet number format that shows the value as the report did.
  std::string numberFormat;
  int decimals = -1;  // numbers: the decimals the format shows; -1 as many as needed
};

// `format` is the object's display format code, `formatText` its format text.
// Prepared pages do not keep the display format of their texts: with the
// plain-text format (0) the value is read from the shape of the text as the
// report's formats write it (decimal comma, points between thousands,
// dd/mm/yyyy dates). `digitsAreText` keeps whole numbers as texts, for a
// column of codes some of which have leading zeros.
CellValue readCellValue(const QString& text, int32_t format, const std::string& formatText,
                        bool digitsAreText = false);
// A text of digits only with a leading zero: a code, not a number.
bool isDigitCode(const QString& text);

// A number as plain text with `decimalMark`, no grouping, shortest exact form.
std::string plainNumber(double v, char decimalMark = '.');
// ISO 8601 text of a date/time value (yyyy-mm-dd, hh:mm:ss or both).
std::string isoDateTime(const CellValue& v);

}  // namespace orv
