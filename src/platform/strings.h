#pragma once
#include <QString>
#include <string>

namespace orv {

// The program's texts by number. A number the table lacks gives the empty text.
QString loadString(int id);
// The same text in the 8-bit system code page the model's strings use.
std::string loadString8(int id);

}  // namespace orv
