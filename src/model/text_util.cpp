#include "model/text_util.h"

namespace orv {

namespace {

constexpr unsigned char upperOf(unsigned char u) {
  if (u >= 'a' && u <= 'z') return static_cast<unsigned char>(u - 32);
  // Latin-1 lower-case letters, except the division sign and y-diaeresis.
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<unsigned char>(u - 32);
  switch (u) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return u;
  }
}

// Names are compared without regard to case for every record a report reads:
// a table lookup per character rather than a chain of tests.
struct UpperTable {
  unsigned char map[256];
  constexpr UpperTable() : map() {
    for (int i = 0; i < 256; ++i) map[i] = upperOf(static_cast<unsigned char>(i));
  }
  char operator()(char c) const { return static_cast<char>(map[static_cast<unsigned char>(c)]); }
};
constexpr UpperTable kUpper;

}  // namespace

char upperChar1252(char c) {
  return kUpper(c);
}

std::string upperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = kUpper(c);
  return r;
}

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (kUpper(a[i]) != kUpper(b[i])) return false;
  return true;
}

std::string joinLines(const StringList& lines) {
  std::string r;
  for (const auto& l : lines) {
    r += l;
    r += "\r\n";
  }
  return r;
}

StringList textToLines(std::string_view text) {
  StringList lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = i;
    while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
    lines.emplace_back(text.substr(i, j - i));
    if (j < text.size() && text[j] == '\r') ++j;
    if (j < text.size() && text[j] == '\n') ++j;
    i = j;
  }
  return lines;
}

}  // namespace orv
