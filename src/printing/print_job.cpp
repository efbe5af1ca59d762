#include "printing/print_job.h"

#include <algorithm>
#include <cstdlib>

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

int32_t toReportPixels(int32_t tenthsMm) {
  return roundEven(tenthsMm * kReportPixelsPerInch / kTenthsMmPerInch);
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

Rect fittedTarget(const PrintPageLayout& l, const PrinterInfo& own, const PrinterInfo& sheet,
                  double* share) {
  if (share) *share = 1.0;
  const double w = own.PaperWidthPx, h = own.PaperHeightPx;
  if (w <= 0 || h <= 0 || sheet.PrintableWidth <= 0 || sheet.PrintableHeight <= 0)
    return printTarget(l, sheet);
  // Device pixels per report pixel on the sheet, as margins are scaled.
  const double dx = double(sheet.DevicePrintableWidth) / sheet.PrintableWidth;
  const double dy = double(sheet.DevicePrintableHeight) / sheet.PrintableHeight;
  // The printable area, not the whole sheet: what fitted the page's own
  // paper must not be cut by the edges this printer cannot reach.
  const double scale =
      std::min(sheet.DevicePrintableWidth / (w * dx), sheet.DevicePrintableHeight / (h * dy));
  const double left = (sheet.DevicePrintableWidth - scale * w * dx) / 2;
  const double top = (sheet.DevicePrintableHeight - scale * h * dy) / 2;
  if (share) *share = scale;
  // Where the page draws on its own paper, in report pixels: the whole
  // paper, or its printable area less the page's margins.
  double cl = 0, ct = 0, cr = w, cb = h;
  if (!l.useMargins) {
    cl = double(own.OffsetX) + l.marginLeft;
    ct = double(own.OffsetY) + l.marginTop;
    cr = double(own.OffsetX) + own.PrintableWidth - l.marginRight;
    cb = double(own.OffsetY) + own.PrintableHeight - l.marginBottom;
  }
  auto x = [&](double v) { return roundEven(left + scale * dx * v); };
  auto y = [&](double v) { return roundEven(top + scale * dy * v); };
  return {x(cl), y(ct), x(cr), y(cb)};
}

PaperSpec PaperOverride::sheetFor(const PaperSpec& page) const {
  PaperSpec s = page;
  s.orientation = orientation >= 0 ? orientation : page.orientation;
  if (paper) {
    s.size = spec.size;
    s.width = spec.width;
    s.height = spec.height;
    if (s.orientation == 1) std::swap(s.width, s.height);
  } else if (s.orientation != page.orientation) {
    // The model holds sizes as seen in the orientation.
    std::swap(s.width, s.height);
  }
  return s;
}

namespace {
bool samePaper(const PaperSpec& a, const PaperSpec& b) {
  if (a.size != b.size || a.orientation != b.orientation) return false;
  return a.size != kCustomPaper ||
         (std::abs(int64_t(a.width) - b.width) <= 1 && std::abs(int64_t(a.height) - b.height) <= 1);
}
}  // namespace

PaperOverride PrintJob::chosenPaper() const {
  PaperOverride o;
  PrinterBackend* backend = printer_.backend();
  if (!backend || printer_.isVirtual()) return o;
  for (const auto& [name, value] : backend->jobOptions(printer_.CurrentIndex)) {
    if (name == kOrientationOption && (value == "3" || value == "4"))
      o.orientation = value == "4" ? 1 : 0;
    if (name != kPaperOption || value.empty()) continue;
    if (!backend->mediaPaper(printer_.CurrentIndex, value, o.spec))
      throw Error("O papel escolhido para a impressora (" + value +
                  ") não é um tamanho conhecido; escolha outro em Propriedades.");
    o.paper = true;
  }
  return o;
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

  override_ = chosenPaper();
  const PrintPageLayout first = pages_.layout(0);
  const PaperSpec sheet = override_.sheetFor(first.paper);
  printer_.SetPaper(sheet.size, sheet.width, sheet.height, sheet.orientation, sheet.bin, true);
  // A page put on another paper keeps its own block: the preview still
  // shows it as the report laid it out.
  if (samePaper(sheet, first.paper)) {
    PrinterInfo info = pages_.printerInfo(0);
    printer_.FillPrinterInfo(info);
    pages_.setPrinterInfo(0, info);
  }

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
  const PaperSpec p = override_.sheetFor(l.paper);
  if (printer_.IsSamePaper(p.size, p.width, p.height, p.orientation, p.bin)) {
    if (!firstPage_) device_->newSheet();
  } else {
    // The model refuses paper changes while a document is open: each change of
    // paper becomes a further spooled document.
    end();
    printer_.SetPaper(p.size, p.width, p.height, p.orientation, p.bin, true);
    begin();
  }
  PrinterInfo info = pages_.printerInfo(i);
  Rect target;
  double share = 1.0;
  if (samePaper(p, l.paper)) {
    printer_.FillPrinterInfo(info);
    target = printTarget(l, info);
  } else {
    if (info.PaperWidthPx <= 0 || info.PaperHeightPx <= 0) {
      // A block never filled: the page's paper itself, all of it printable.
      info = PrinterInfo{};
      info.PaperWidthPx = info.PrintableWidth = toReportPixels(l.paper.width);
      info.PaperHeightPx = info.PrintableHeight = toReportPixels(l.paper.height);
    }
    PrinterInfo sheet;
    printer_.FillPrinterInfo(sheet);
    target = fittedTarget(l, info, sheet, &share);
  }
  pages_.setPrinterInfo(i, info);

  Canvas& canvas = device_->canvas();
  canvas.printerCanvas = true;
  canvas.printScale = share;
  pages_.setVisible(i, true);
  try {
    pages_.drawPage(i, canvas, target);
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
