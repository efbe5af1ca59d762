#include "model/text_util.h"

namespace orv {

char upperChar1252(char c) {
  auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  // Latin-1 lower-case letters, except the division sign and y-diaeresis.
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
  switch (u) {
    case 0x9A:
      return static_cast<char>(0x8A);  // s caron
    case 0x9C:
      return static_cast<char>(0x8C);  // oe
    case 0x9E:
      return static_cast<char>(0x8E);  // z caron
    case 0xFF:
      return static_cast<char>(0x9F);  // y diaeresis
    default:
      return c;
  }
}

std::string upperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = upperChar1252(c);
  return r;
}

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upperChar1252(a[i]) != upperChar1252(b[i])) return false;
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
