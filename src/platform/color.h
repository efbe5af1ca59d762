#pragma once
#include <cstdint>

class QColor;

namespace orv {

// Colours in the platform encoding: 0x00BBGGRR for plain colours,
// 0x80000000 + index for system colours, clNone for "no colour".
using Color = uint32_t;
inline constexpr Color clNone = 0x1FFFFFFF;
inline constexpr Color clBlack = 0x000000;
inline constexpr Color clWhite = 0xFFFFFF;
inline constexpr Color clBtnFace = 0x8000000F;

inline constexpr Color rgb(uint8_t r, uint8_t g, uint8_t b) {
  return Color(r) | (Color(g) << 8) | (Color(b) << 16);
}
inline constexpr uint8_t redOf(Color c) { return c & 0xFF; }
inline constexpr uint8_t greenOf(Color c) { return (c >> 8) & 0xFF; }
inline constexpr uint8_t blueOf(Color c) { return (c >> 16) & 0xFF; }

// Resolves a system colour to the fixed value we use for it (the classic
// desktop scheme); plain colours pass through with the top byte cleared.
Color resolveColor(Color c);
QColor toQColor(Color c);
Color fromQColor(const QColor& c);

}  // namespace orv
