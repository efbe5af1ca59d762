#pragma once
#include <string>
#include <string_view>

#include "model/stream.h"

namespace orv {

// Upper-cases 8-bit text in the Windows-1252 code page the model's strings
// use, so accented Portuguese names compare the way the system's locale
// comparison does ("ação" equals "AÇÃO").
char upperChar1252(char c);
std::string upperCase(std::string_view s);
bool sameText(std::string_view a, std::string_view b);

// Lines joined with CR LF, the way a text list gives its whole text.
std::string joinLines(const StringList& lines);
// The reverse: splits at CR LF, CR or LF; a final line break adds no line.
StringList textToLines(std::string_view text);

}  // namespace orv
