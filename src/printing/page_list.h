#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"

namespace orv {

// The platform's text-to-integer conversion failed: the text is not an integer.
class InvalidIntegerError : public Error {
 public:
  explicit InvalidIntegerError(const std::string& text);
  std::string text;
};

// Converts text the way the user's integer fields are read: optional sign,
// decimal digits, or '$' / "0x" followed by hexadecimal digits; the whole text
// must be the number and it must fit in 32 bits.
int32_t parseInteger(const std::string& text);

// A range written from its end to its start ("3-1"): the user most likely
// swapped the numbers, and printing nothing or only the rest of the list
// would hide the slip.
class ReversedRangeError : public Error {
 public:
  ReversedRangeError(int32_t from, int32_t to);
  int32_t from, to;
};

// The pages a print request selects. `all` is set when the page list was
// empty; otherwise only the listed 1-based page numbers print, kept sorted and
// without duplicates. A list that names no existing page selects nothing.
struct PageSelection {
  bool all = true;
  std::vector<int32_t> pages;
  bool includes(int32_t pageNo) const;
};

// Parses "1,3,5-12", "5-" (to the last page), spaces anywhere. Raises
// InvalidIntegerError for a piece that is not a number (letters, an empty
// piece, a leading '-') and ReversedRangeError for a range such as "3-1". An
// open end past the last page ("5-" of a 3-page report) is no slip: it
// selects nothing.
PageSelection ParsePageList(const std::string& text, int32_t pageCount);

}  // namespace orv
