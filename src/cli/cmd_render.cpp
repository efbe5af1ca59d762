#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "model/printer_info.h"
#include "platform/qt_canvas.h"
#include "prepared/page_export.h"
#include "printing/page_list.h"

namespace orv::cli {
namespace {

int runRender(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string out = args.option("--output", "-o", "");
  const std::string zoomText = args.option("--zoom", "", "100");
  const int page = args.intOption("--page", "-p", 1);
  const std::string path = args.positional("FILE");
  args.done();
  if (out.empty()) throw UsageError("missing -o OUT.png");
  bool ok = false;
  const double zoom = QString::fromStdString(zoomText).toDouble(&ok) / 100.0;
  if (!ok || zoom <= 0 || zoom > 20) throw UsageError("--zoom needs a percentage from 1 to 2000");
  Session s;
  s.load(path, PageCheck::OnUse);
  s.checkPage(path, page);
  QImage img;
  try {
    img = renderPageImage(s.report.EMFPages, page - 1, zoom);
  } catch (const ExportError& e) {
    throw FileError(out, e.what());
  }
  savePngFile(img, out);
  return kExitOk;
}

int runPdf(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string out = args.option("--output", "-o", "");
  const std::string list = args.option("--pages", "");
  const std::string path = args.positional("FILE");
  args.done();
  if (out.empty()) throw UsageError("missing -o OUT.pdf");
  Session s;
  s.load(path);
  TfrEMFPages& pages = s.report.EMFPages;
  const std::vector<int> indices = selectedPages(list, pages.Count());
  writePdfFile(pages, indices, out);
  return kExitOk;
}

// File managers call this through the thumbnailer entry: the first page,
// scaled so that its longer side is SIZE pixels.
int runThumbnail(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string in = args.positional("IN");
  const std::string out = args.positional("OUT");
  const std::string sizeText = args.positional("SIZE");
  args.done();
  bool ok = false;
  const int size = QString::fromStdString(sizeText).toInt(&ok);
  if (!ok || size < 8 || size > 4096) throw UsageError("SIZE must be 8 to 4096 pixels");
  Session s;
  s.load(in, PageCheck::OnUse);
  s.checkPage(in, 1);
  const PreparedPage& e = s.report.EMFPages.Entry(0);
  const double zoom = double(size) / std::max({e.Format().PrinterInfo.PaperWidthPx,
                                               e.Format().PrinterInfo.PaperHeightPx, 1});
  const int w = std::max(1, roundEven(e.Format().PrinterInfo.PaperWidthPx * zoom));
  const int h = std::max(1, roundEven(e.Format().PrinterInfo.PaperHeightPx * zoom));
  // Drawn at twice the size and reduced, so small text still reads as grey lines.
  QImage big(w * 2, h * 2, QImage::Format_RGB32);
  big.fill(Qt::white);
  {
    QPainter painter(&big);
    QtCanvas canvas(&painter, Rect{0, 0, w * 2, h * 2});
    drawPageOnce(s.report.EMFPages, 0, canvas, Rect{0, 0, w * 2, h * 2}, zoom * 2);
  }
  const QImage img = big.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  savePngFile(img, out);
  return kExitOk;
}

Registrar render({"render", "render FILE -o OUT.png [-p N] [--zoom PERCENT]",
                  "draw one page into a PNG image (100 % = one report pixel per image pixel)",
                  runRender});
Registrar thumbnail({"thumbnail", "thumbnail IN OUT SIZE",
                     "draw the first page as a PNG whose longer side is SIZE (for file managers)",
                     runThumbnail});
Registrar pdf({"pdf", "pdf FILE -o OUT.pdf [--pages LIST]",
               "write pages as a PDF with real text, each page on its own paper size", runPdf});

}  // namespace
}  // namespace orv::cli
