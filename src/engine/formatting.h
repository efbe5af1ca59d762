#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "model/variant.h"

namespace orv {

// Display format codes of text objects: bits 0-7 the decimal separator's
// character code, 8-15 the number of decimals, 16-23 the sub-format (4 is
// always the custom one, which uses the format text), 24-27 the kind.
enum FormatKind : int32_t { fkText = 0, fkNumber = 1, fkDate = 2, fkTime = 3, fkBoolean = 4 };
inline constexpr int32_t kCustomSubFormat = 4;
constexpr int32_t makeFormat(int32_t kind, int32_t subFormat, int32_t decimals = 0,
                             char separator = 0) {
  return kind << 24 | (subFormat & 0xFF) << 16 | (decimals & 0xFF) << 8 |
         static_cast<unsigned char>(separator);
}
constexpr int32_t formatKind(int32_t code) {
  return code >> 24 & 0x0F;
}
constexpr int32_t formatSubFormat(int32_t code) {
  return code >> 16 & 0xFF;
}
constexpr int32_t formatDecimals(int32_t code) {
  return code >> 8 & 0xFF;
}
constexpr char formatSeparator(int32_t code) {
  return static_cast<char>(code & 0xFF);
}

// A value as text under a display format, the way a text object shows the
// result of a bracketed expression. Empty and Null, and texts that are blank,
// give the empty text; a value the format cannot take (a text under a number
// format, a number beyond the date range, a table index outside its table)
// gives the value's text form. Number formats set the process-wide decimal
// separator to the code's own for the call, and it is always put back.
std::string FormatValue(const Variant& v, int32_t format, std::string_view formatStr);
// The same text appended to `out`: the plain forms of texts, integers and
// numbers, which most objects show, go there without a text of their own.
void AppendFormatted(std::string& out, const Variant& v, int32_t format,
                     std::string_view formatStr);

// The expression inside brackets may end in " #" and a format of its own,
// which replaces the object's: "#N0.00" (or "#0.00") two fixed decimals with
// a point, "#N0,00" the same with a comma, "#N#,##0.00" a custom number
// format, "#Dd mmm yyyy" or "#Thh:nn" a custom date-time format, "#BNo;Yes" a
// custom Boolean text; any other letter keeps the code and takes the text.
struct InlineFormat {
  std::string Expression;
  int32_t Format = 0;
  std::string FormatStr;
};
InlineFormat ResolveInlineFormat(std::string_view expression, int32_t format,
                                 std::string_view formatStr);

// For objects that hide zeros: whether the value shows as the empty text.
// Texts always show; a value that cannot be compared with 0 shows too.
bool hidesAsZero(const Variant& v);

// The text form of a value, in the engine's format settings: floating-point
// numbers with up to 15 significant digits and the process-wide decimal
// separator, date-times as dateTimeToText, Booleans "True"/"False", Null and
// empty as the empty text.
std::string valueToText(const Variant& v);

// Number texts with the process-wide separators. floatToText: the general
// form, up to 15 significant digits, exponent form ("1,5E20") beyond them or
// below 0.00001. floatToFixed: 15 significant digits, then exactly `decimals`
// decimals, with thousands separators when asked for.
std::string floatToText(double x);
std::string floatToFixed(double x, int decimals, bool thousands);

// A number through a format text of '0' (digit), '#' (digit if any), '.'
// (decimal point), ',' (thousands separators), "E+00"/"E-00" (exponent) and
// quoted or other literal text; up to three sections "positive;negative;zero".
// Rounding takes halves away from zero, on the value's 15 significant digits.
std::string formatFloat(std::string_view pattern, double x);

}  // namespace orv
