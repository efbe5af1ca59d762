#pragma once
class QImage;
class QIODevice;

namespace orv {

// Writes an opaque image as an 8-bit RGB PNG, with its resolution when it has
// one. Rows are left unfiltered and deflated at the fastest level: on report
// pages, mostly white paper with text and rules, that is about as small as
// the best filters give and takes half the time of Qt's writer, which tries
// every filter on every row. Returns false when the device takes fewer bytes
// than written; the device then holds part of a file.
bool writePng(const QImage& image, QIODevice& out);

}  // namespace orv
