#include "prepared/page_export.h"

#include <QIODevice>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "model/printer_info.h"
#include "platform/qt_canvas.h"
#include "prepared/emf_pages.h"

namespace orv {

void drawPageOnce(TfrEMFPages& pages, int index, Canvas& canvas, const Rect& pageRect, double scale,
                  const std::function<void(TfrView&)>& beforeView) {
  PreparedPage& e = pages.Entry(index);
  e.Visible = 1;
  try {
    pages.Draw(index, canvas, pageTargetRect(e, pageRect, scale), beforeView);
  } catch (...) {
    e.Visible = 0;
    throw;
  }
  e.Visible = 0;
  e.ReleaseObjects();
}

QImage renderPageImage(TfrEMFPages& pages, int index, double zoom) {
  const PreparedPage& e = pages.Entry(index);
  const int w = std::max(1, roundEven(e.Format().PrinterInfo.PaperWidthPx * zoom));
  const int h = std::max(1, roundEven(e.Format().PrinterInfo.PaperHeightPx * zoom));
  if (qint64(w) * h > kMaxImagePixels) throw ExportError(FrpReason::ImageTooLarge);
  QImage img(w, h, QImage::Format_RGB32);
  if (img.isNull()) throw ExportError(FrpReason::NoMemoryForImage);
  img.fill(Qt::white);
  QPainter painter(&img);
  QtCanvas canvas(&painter, Rect{0, 0, w, h});
  drawPageOnce(pages, index, canvas, Rect{0, 0, w, h}, zoom);
  return img;
}

bool writePagesPdf(TfrEMFPages& pages, const std::vector<int>& indices, QIODevice& out,
                   const std::function<bool(int, int)>& progress, const QString& title) {
  QPdfWriter pdf(&out);
  pdf.setResolution(kPdfDpi);
  pdf.setCreator("Sistema Orvalen Report Reader");
  pdf.setTitle(title);
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  bool first = true;
  int done = 0;
  const int total = int(indices.size());
  for (int i : indices) {
    const PreparedPage& e = pages.Entry(i);
    const QPageSize size(QSizeF(e.Format().PaperWidth / 10.0, e.Format().PaperHeight / 10.0),
                         QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    pdf.setPageSize(size);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    if (first) {
      if (!painter.begin(&pdf)) throw ExportError(FrpReason::CannotWritePdf);
      first = false;
    } else {
      pdf.newPage();
    }
    const double scale = kPdfDpi / kReportPixelsPerInch;
    const Rect r{0, 0, roundEven(e.Format().PrinterInfo.PaperWidthPx * scale),
                 roundEven(e.Format().PrinterInfo.PaperHeightPx * scale)};
    {
      QtCanvas canvas(&painter, r, kPdfDpi, kPdfDpi);
      drawPageOnce(pages, i, canvas, r, scale);
    }
    if (progress && !progress(++done, total)) {
      painter.end();
      return false;
    }
  }
  if (!first) painter.end();
  return true;
}

}  // namespace orv
