#include "printing/page_list.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace orv {

// An empty piece ("1,,2", an empty field) is said so in words: a pair of
// quotes with nothing between them reads as a slip of the program.
InvalidIntegerError::InvalidIntegerError(const std::string& t)
    : Error(t.empty() ? std::string("falta um número: há um trecho vazio")
                      : "'" + t + "' não é um valor inteiro válido"),
      text(t) {}

ReversedRangeError::ReversedRangeError(int32_t f, int32_t t)
    : Error("O intervalo " + std::to_string(f) + "-" + std::to_string(t) +
            " está invertido: escreva " + std::to_string(t) + "-" + std::to_string(f) + "."),
      from(f),
      to(t) {}

int32_t parseInteger(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) throw InvalidIntegerError(text);
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int d;
    if (std::isdigit(c))
      d = c - '0';
    else if (base == 16 && std::isxdigit(c))
      d = std::tolower(c) - 'a' + 10;
    else
      throw InvalidIntegerError(text);
    v = v * base + d;
    if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1) throw InvalidIntegerError(text);
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) throw InvalidIntegerError(text);
  return static_cast<int32_t>(v);
}

bool PageSelection::includes(int32_t pageNo) const {
  return all || std::binary_search(pages.begin(), pages.end(), pageNo);
}

PageSelection ParsePageList(const std::string& text, int32_t pageCount) {
  std::string s;
  s.reserve(text.size() + 12);
  for (char c : text)
    if (c != ' ') s += c;
  PageSelection sel;
  if (s.empty()) return sel;
  sel.all = false;
  const bool openEnd = s.back() == '-';
  if (openEnd) s += std::to_string(pageCount);
  s += ',';

  size_t start = 0;
  bool openRange = false;
  int32_t rangeStart = 1;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '-') {
      rangeStart = parseInteger(s.substr(start, i - start));
      openRange = true;
      start = i + 1;
    } else if (s[i] == ',') {
      const int32_t v = parseInteger(s.substr(start, i - start));
      if (!openRange) {
        sel.pages.push_back(v);
      } else {
        if (v < rangeStart && !(openEnd && i + 1 == s.size()))
          throw ReversedRangeError(rangeStart, v);
        // Pages past the end select nothing, so a range never needs to go
        // beyond the last page; "1-2000000000" must not fill memory.
        const int64_t last = std::min<int64_t>(v, pageCount);
        for (int64_t p = rangeStart; p <= last; ++p) sel.pages.push_back(int32_t(p));
      }
      openRange = false;
      start = i + 1;
    }
  }
  // The job asks for every page of the report; keep the lookup cheap on long reports.
  std::sort(sel.pages.begin(), sel.pages.end());
  sel.pages.erase(std::unique(sel.pages.begin(), sel.pages.end()), sel.pages.end());
  return sel;
}

}  // namespace orv
