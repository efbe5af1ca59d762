#pragma once
#include <QString>
#include <cstdint>
#include <string>

namespace orv {

// What a text object's shown text is as a spreadsheet value, read back
// through the object's display format: a number, a date, a time or plain
// text. Text stays text whenever the format does not say otherwise or the
// text does not read back (a text with leading zeros in a text object stays
// as it was).
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
CellValue readCellValue(const QString& text, int32_t format, const std::string& formatText);

// A number as plain text with `decimalMark`, no grouping, shortest exact form.
std::string plainNumber(double v, char decimalMark = '.');
// ISO 8601 text of a date/time value (yyyy-mm-dd, hh:mm:ss or both).
std::string isoDateTime(const CellValue& v);

}  // namespace orv
