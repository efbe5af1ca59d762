#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace orv {

// A malformed expression or script text: an unclosed bracket, literal or
// argument list, a missing operand, an expression too deep or too long.
class ExpressionError : public Error {
 public:
  using Error::Error;
};

// The four text readers the expression parser, the script interpreter and the
// band engine share, so that all three cut names, literals and argument lists
// out of a text the same way. Each takes `pos` at the start of what it reads
// and leaves it just past what it read; positions are 0-based.

// At a '[': the text up to its matching ']' (brackets nest; brackets inside
// single or double quotes do not count); `pos` ends past the ']'. Anywhere
// else it returns the empty text and leaves `pos` alone. An unclosed bracket
// raises ExpressionError.
std::string readBracketed(std::string_view s, size_t& pos);

// Skips characters 0..32, then takes everything up to the first delimiter:
// carriage return, blank, '(', ')', '*', '+', '-', '/', ';', '<', '=', '>',
// '['. Delimiters inside double quotes do not count, so
// Customers."Last name" is one identifier. `pos` ends on the delimiter.
std::string readIdentifier(std::string_view s, size_t& pos);

// At a "'": the literal through its closing "'", quotes included; a doubled
// "''" inside belongs to the literal. An unclosed literal raises
// ExpressionError.
std::string readStringLiteral(std::string_view s, size_t& pos);
// The value a literal stands for: quotes stripped, "''" made "'".
std::string unquoteLiteral(std::string_view literal);

// At a '(': the arguments up to the matching ')', split at commas outside
// nested parentheses or brackets and outside quotes; arguments are not
// trimmed. At most three arguments; more, or a text that ends before the
// closing ')', raise ExpressionError. `pos` ends past the ')'.
struct Arguments {
  std::string p1, p2, p3;
  int count = 0;  // 0 for "()"
};
Arguments readArguments(std::string_view s, size_t& pos);

}  // namespace orv
