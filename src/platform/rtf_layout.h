#pragma once
#include <cstdint>
#include <vector>

#include "platform/geometry.h"
#include "platform/rtf_document.h"

namespace orv {
class Canvas;
}

namespace orv::rtf {

inline constexpr int32_t kTwipsPerInch = 1440;

// What a layout request gives back, like the rich edit control's format-range
// request: the first character that did not fit (the document's length when
// everything did, `start` when not even one line did) and the bottom of the
// last line placed, in twips (the area's top when none was).
struct FormatResult {
  int32_t nextChar = 0;
  int32_t bottom = 0;
};

// Lays the document out from character `start` into `area` (twips): lines
// are broken at blanks (a word wider than the line at any character), placed
// from the top, and a line that would cross the area's bottom ends the
// layout. Measuring happens in twips with the fonts' own design widths, so a
// text breaks the same way on every device and at every zoom.
//
// With a canvas the laid-out lines are also drawn: `area` is mapped onto
// `target` (device pixels), each run of one format as one text output placed
// where the layout put it, so the text lands in metafile text records.
FormatResult formatRange(const Document& doc, int32_t start, const Rect& area,
                         Canvas* canvas = nullptr, const Rect& target = {});

// The lines a layout places, for tools and tests: characters [first, end)
// (paragraph marks and line breaks left out) and their position in twips.
struct LaidLine {
  int32_t first = 0;
  int32_t end = 0;
  int32_t top = 0;
  int32_t height = 0;
};
std::vector<LaidLine> layoutLines(const Document& doc, int32_t start, const Rect& area);

}  // namespace orv::rtf
