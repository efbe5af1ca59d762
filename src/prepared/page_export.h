#pragma once
#include <QImage>
#include <functional>
#include <vector>

#include "platform/error.h"
#include "platform/geometry.h"
#include "prepared/frp_error.h"

class QIODevice;
class QString;

namespace orv {

class Canvas;
class TfrEMFPages;
class TfrView;

// Pages leaving the program as files: a PNG image of one page and a PDF of
// several, the same for `frptool` and the reader's window.

// The PDF's resolution: 600 dots per inch keeps every report pixel on the
// exact device grid.
inline constexpr int kPdfDpi = 600;
// Images larger than this are refused rather than allocated (an A4 page at
// 1200 dots per inch is about 140 million pixels).
inline constexpr qint64 kMaxImagePixels = qint64(200) << 20;

// A page could not be exported; the reason says why.
class ExportError : public PreparedError {
 public:
  explicit ExportError(FrpReason reason) : PreparedError(FrpProblem(reason)) {}
  explicit ExportError(const FrpProblem& problem) : PreparedError(problem) {}
};

// Draws one page on a canvas whose page rectangle is `pageRect` at `scale`
// device pixels per report pixel, and releases the page's objects again.
void drawPageOnce(TfrEMFPages& pages, int index, Canvas& canvas, const Rect& pageRect, double scale,
                  const std::function<void(TfrView&)>& beforeView = {});

// The page on white at `zoom` image pixels per report pixel (1.0 = 100 %).
// Raises ExportError when the image would be too large to make.
QImage renderPageImage(TfrEMFPages& pages, int index, double zoom);

// Writes the pages (0-based, in the order given) as a PDF with real text,
// each page on its own paper size. `progress(done, total)` is asked after each
// page and may return false to stop; the function then returns false and the
// device holds an unfinished document, which the caller discards. Raises
// ExportError when nothing could be written. `title` names the document in
// the PDF's information, as readers show it.
bool writePagesPdf(TfrEMFPages& pages, const std::vector<int>& indices, QIODevice& out,
                   const std::function<bool(int done, int total)>& progress = {},
                   const QString& title = {});

}  // namespace orv
