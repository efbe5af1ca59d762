#include "platform/color.h"

#include <QColor>
#include <iterator>

namespace orv {
namespace {

// The classic ("Windows Standard") desktop scheme. Reports were laid out
// against it, and a fixed scheme keeps pages identical on every desktop:
// button face is the classic light grey 0xC0C0C0, not the later 0xF0F0F0.
constexpr Color kSystemColors[] = {
    rgb(192, 192, 192),  //  0 scroll bar
    rgb(0, 128, 128),    //  1 desktop background
    rgb(0, 0, 128),      //  2 active caption
    rgb(128, 128, 128),  //  3 inactive caption
    rgb(192, 192, 192),  //  4 menu
    rgb(255, 255, 255),  //  5 window
    rgb(0, 0, 0),        //  6 window frame
    rgb(0, 0, 0),        //  7 menu text
    rgb(0, 0, 0),        //  8 window text
    rgb(255, 255, 255),  //  9 caption text
    rgb(192, 192, 192),  // 10 active border
    rgb(192, 192, 192),  // 11 inactive border
    rgb(128, 128, 128),  // 12 application workspace
    rgb(0, 0, 128),      // 13 highlight
    rgb(255, 255, 255),  // 14 highlight text
    rgb(192, 192, 192),  // 15 button face
    rgb(128, 128, 128),  // 16 button shadow
    rgb(128, 128, 128),  // 17 grey text
    rgb(0, 0, 0),        // 18 button text
    rgb(192, 192, 192),  // 19 inactive caption text
    rgb(255, 255, 255),  // 20 button highlight
    rgb(0, 0, 0),        // 21 3D dark shadow
    rgb(192, 192, 192),  // 22 3D light
    rgb(0, 0, 0),        // 23 tooltip text
    rgb(255, 255, 225),  // 24 tooltip background
    rgb(0, 0, 0),        // 25 (unused)
    rgb(0, 0, 128),      // 26 hot-tracked item
    rgb(166, 202, 240),  // 27 active caption gradient
    rgb(192, 192, 192),  // 28 inactive caption gradient
    rgb(0, 0, 128),      // 29 menu highlight
    rgb(192, 192, 192),  // 30 menu bar
};

}  // namespace

Color resolveColor(Color c) {
  if (c & 0x80000000u) {
    uint32_t index = c & 0xFFu;
    // An index the scheme does not know draws black, as the platform does.
    return index < std::size(kSystemColors) ? kSystemColors[index] : clBlack;
  }
  if (c == clNone) return clNone;
  return c & 0x00FFFFFFu;
}

QColor toQColor(Color c) {
  if (c == clNone) return QColor(Qt::transparent);
  Color v = resolveColor(c);
  return QColor(redOf(v), greenOf(v), blueOf(v));
}

Color fromQColor(const QColor& c) {
  if (!c.isValid() || c.alpha() == 0) return clNone;
  return rgb(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

}  // namespace orv
