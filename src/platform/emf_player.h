#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace orv {

enum class MetafileKind : uint8_t { Unknown, Emf, PlaceableWmf, Wmf };

// Recognises an enhanced metafile (header record with the " EMF" signature),
// a placeable Windows metafile (key 0x9AC6CDD7) and a plain Windows metafile
// (a sane 18-byte header) by their first bytes.
MetafileKind metafileKind(std::span<const uint8_t> bytes);

// Plays an EMF, placeable WMF or plain WMF onto any canvas, mapping the
// metafile's picture frame (EMF), bounding box (placeable WMF) or window
// (plain WMF) onto `dest`. The canvas's own state is the same afterwards.
//
// The canvas has integer device coordinates and no transform, so the player
// does the metafile's mapping modes, window and viewport, world transform,
// pen widths and font heights itself. Unknown records are skipped. A damaged
// record (bad size, counts beyond the record, object index out of range,
// absurd bitmap) stops the playback with orv::Error; what was drawn before it
// stays. The work a file can cause is bounded whatever it claims.
void playMetafile(std::span<const uint8_t> bytes, Canvas& target, const Rect& dest);

// Stretch-draws a metafile picture into a rectangle as the platform's canvas
// does: the rectangle is taken to include its right column and bottom row,
// so the picture's frame lands on it less those. A picture recorded at one
// pixel per unit and drawn into a rectangle one wider than it keeps its
// pixels where they were.
void stretchDrawMetafile(std::span<const uint8_t> bytes, Canvas& target, const Rect& rect);

// The picture's size in pixels at 96 per inch: from the frame of an EMF, the
// bounding box of a placeable WMF, the window of a plain WMF. Throws
// orv::Error for bytes that are no metafile.
Size metafileSize(std::span<const uint8_t> bytes);

// One text-output record (EMR_EXTTEXTOUTA, type 83, or EMR_EXTTEXTOUTW, 84).
struct EmfTextRun {
  std::string text;        // 8-bit text in the code page of the run's character set
  Rect bounds;             // the record's bounds exactly as stored: right and bottom inclusive
  Point reference;         // the record's reference point
  size_t recordIndex = 0;  // position of the record in the file, the header being 0
  uint32_t recordType = 0;
  uint8_t charset = 1;  // the character set the text was converted to
};

// Walks the records of an EMF in order and reports every text-output record.
// The text of a 16-bit record is converted from UTF-16 to the code page of
// the font selected when the record is met; a font with the default
// character set (1) and a record before any font use `charsetHint`, and a
// hint of 1 means Windows-1252. The visitor returns false to stop early.
// Damaged records throw orv::Error, after the runs before them were visited.
void forEachTextRun(std::span<const uint8_t> emf,
                    const std::function<bool(const EmfTextRun&)>& visit, uint8_t charsetHint = 1);
std::vector<EmfTextRun> enumerateTextRuns(std::span<const uint8_t> emf, uint8_t charsetHint = 1);

}  // namespace orv
