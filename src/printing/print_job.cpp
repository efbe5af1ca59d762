#include "printing/print_job.h"

#include <algorithm>

#include "platform/canvas.h"
#include "platform/strings.h"
#include "printing/tfr_printer.h"

namespace orv {

namespace {
constexpr int kUntitledString = 55209;
constexpr int kInvalidPrinterString = 55210;

bool passesFilter(int filter, int index) {
  const int pageNo = index + 1;
  if (filter == pfOdd) return pageNo % 2 == 1;
  if (filter == pfEven) return pageNo % 2 == 0;
  return true;
}

int32_t scaled(int32_t margin, int32_t device, int32_t report) {
  if (report <= 0) return 0;
  return roundEven(double(margin) * device / report);
}
}  // namespace

Rect printTarget(const PrintPageLayout& l, const PrinterInfo& pi) {
  if (l.useMargins)
    return {-pi.DeviceOffsetX, -pi.DeviceOffsetY, pi.DevicePaperWidth - pi.DeviceOffsetX,
            pi.DevicePaperHeight - pi.DeviceOffsetY};
  return {
      scaled(l.marginLeft, pi.DevicePrintableWidth, pi.PrintableWidth),
      scaled(l.marginTop, pi.DevicePrintableHeight, pi.PrintableHeight),
      pi.DevicePrintableWidth - scaled(l.marginRight, pi.DevicePrintableWidth, pi.PrintableWidth),
      pi.DevicePrintableHeight -
          scaled(l.marginBottom, pi.DevicePrintableHeight, pi.PrintableHeight)};
}

void PrintJob::begin() {
  device_->beginDocument(docTitle_);
  open_ = true;
  printer_.Printing = true;
}

void PrintJob::end() {
  printer_.Printing = false;
  open_ = false;
  device_->endDocument();
}

void PrintJob::abort() {
  printer_.Printing = false;
  if (open_) device_->abortDocument();
  open_ = false;
}

bool PrintJob::run(const PrintRequest& request) {
  printer_.AttachPrinter(printer_.backend());
  const int count = pages_.pageCount();
  const PageSelection selection = ParsePageList(request.pageList, count);
  const int copies = std::max(1, request.copies);
  filter_ = request.filter;

  // A request that selects no page sends nothing: an empty document is of no
  // use, and "7-3" must not print the whole report.
  bool anything = false;
  for (int i = 0; i < count && !anything; ++i)
    anything = selection.includes(i + 1) && passesFilter(filter_, i);
  if (!anything) return true;

  const PrintPageLayout first = pages_.layout(0);
  printer_.SetPaper(first.paper.size, first.paper.width, first.paper.height,
                    first.paper.orientation, first.paper.bin, true);
  printer_.FillPrinterInfo(pages_.printerInfo(0));

  PrinterBackend* backend = printer_.backend();
  if (printer_.isVirtual() || !backend) throw Error(loadString8(kInvalidPrinterString));
  device_ = backend->createDevice(printer_.CurrentIndex);
  if (!device_) throw Error(loadString8(kInvalidPrinterString));

  docTitle_ = title.empty() ? loadString8(kUntitledString) : title;
  if (onPrintReport) onPrintReport();
  device_->setCopies(request.collate ? 1 : copies);

  try {
    begin();
    firstPage_ = true;
    const int passes = request.collate ? copies : 1;
    for (int pass = 0; pass < passes; ++pass) {
      for (int i = 0; i < count; ++i) {
        if (selection.includes(i + 1)) printOnePage(i);
        if (terminated && terminated()) {
          abort();
          device_.reset();
          return false;
        }
      }
    }
    end();
    device_->submit();
    if (const std::string note = device_->notice(); !note.empty() && onNotice) onNotice(note);
  } catch (...) {
    abort();
    device_.reset();
    throw;
  }
  device_.reset();
  return true;
}

bool PrintJob::printOnePage(int i) {
  if (!passesFilter(filter_, i)) return false;
  const PrintPageLayout l = pages_.layout(i);
  const PaperSpec& p = l.paper;
  if (printer_.IsSamePaper(p.size, p.width, p.height, p.orientation, p.bin)) {
    if (!firstPage_) device_->newSheet();
  } else {
    // The model refuses paper changes while a document is open: each change of
    // paper becomes a further spooled document.
    end();
    printer_.SetPaper(p.size, p.width, p.height, p.orientation, p.bin, true);
    begin();
  }
  PrinterInfo& info = pages_.printerInfo(i);
  printer_.FillPrinterInfo(info);

  Canvas& canvas = device_->canvas();
  canvas.printerCanvas = true;
  pages_.setVisible(i, true);
  try {
    pages_.drawPage(i, canvas, printTarget(l, info));
  } catch (...) {
    pages_.setVisible(i, false);
    try {
      pages_.drawPage(i, canvas, Rect{});
    } catch (...) {
      // The page's own error is the one worth reporting.
    }
    throw;
  }
  // Drawing an invisible page releases its live objects: one page at a time.
  pages_.setVisible(i, false);
  pages_.drawPage(i, canvas, Rect{});
  if (onProgress) onProgress(i + 1);
  firstPage_ = false;
  return true;
}

}  // namespace orv
