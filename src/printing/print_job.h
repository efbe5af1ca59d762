#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/printer_info.h"
#include "platform/geometry.h"
#include "printing/page_list.h"
#include "printing/printer_backend.h"

namespace orv {

class Canvas;
class TfrPrinter;

// How one page sits on its paper.
struct PrintPageLayout {
  PaperSpec paper;
  bool useMargins = false;
  int32_t marginLeft = 0;
  int32_t marginTop = 0;
  int32_t marginRight = 0;
  int32_t marginBottom = 0;
};

// The pages a job prints: a prepared page store seen through what printing needs.
class PrintPageSource {
 public:
  virtual ~PrintPageSource() = default;
  virtual int pageCount() = 0;
  virtual PrintPageLayout layout(int index) = 0;
  virtual PrinterInfo printerInfo(int index) = 0;
  // Pages share their blocks, so a page's block changes only through this.
  virtual void setPrinterInfo(int index, const PrinterInfo& info) = 0;
  virtual void setVisible(int index, bool visible) = 0;
  // Draws the page into the target; with the page invisible, releases its
  // live objects instead.
  virtual void drawPage(int index, Canvas& canvas, const Rect& target) = 0;
};

enum PageFilter : int { pfAll = 0, pfOdd = 1, pfEven = 2 };

struct PrintRequest {
  std::string pageList;  // empty: all pages
  int32_t copies = 1;    // 0 or less counts as 1
  bool collate = true;
  int filter = pfAll;
};

// Where a page goes on the printer's canvas, in device pixels. With margins
// used the page covers the whole sheet (the canvas origin is the corner of the
// printable area); without them it fills the printable area less the page's
// margins, scaled from report pixels.
Rect printTarget(const PrintPageLayout& layout, const PrinterInfo& info);

// Where a page goes on a sheet of another paper or orientation than its own
// (`own` is the page's block for its own paper, `sheet` the block of the
// paper it is printed on): its whole paper scaled to fit the sheet's
// printable area, keeping its proportions, and centred there; what the page
// draws sits on it as it sits on its own paper.
Rect fittedTarget(const PrintPageLayout& layout, const PrinterInfo& own, const PrinterInfo& sheet);

// The paper and orientation the user chose for every page instead of each
// page's own, as the printer's "media" and "orientation-requested" options
// give them.
struct PaperOverride {
  bool paper = false;
  PaperSpec spec;            // code and portrait size of the chosen paper
  int32_t orientation = -1;  // 0 portrait, 1 landscape, -1 each page's own
  // The paper a page goes on: its own with the chosen paper or orientation.
  PaperSpec sheetFor(const PaperSpec& page) const;
};

// Sends pages to the current printer of the printer model: one document per
// run of pages on equal paper, collated copies page by page, uncollated copies
// left to the driver, at most one page built at a time. A paper or orientation
// the user chose for the printer goes through the model in place of each
// page's own, and the page is fitted onto it.
class PrintJob {
 public:
  PrintJob(TfrPrinter& printer, PrintPageSource& pages) : printer_(printer), pages_(pages) {}

  std::string title;  // the print document's title; empty gives "Sem título"
  std::function<void()> onPrintReport;
  // Called after every printed page with its 1-based number; this is where a
  // progress window shows the number and sees a click on Cancel.
  std::function<void(int)> onProgress;
  std::function<bool()> terminated;
  // What the printer says after taking the job although nothing failed (a
  // paused queue keeps it until resumed).
  std::function<void(const std::string&)> onNotice;

  // Runs the job. Returns false when it was cancelled (the document is then
  // aborted after the current page). A page list that does not parse raises
  // InvalidIntegerError before anything is sent; a printer that cannot print
  // raises an Error. Any error aborts the open document and propagates.
  bool run(const PrintRequest& request);

 private:
  bool printOnePage(int index);
  PaperOverride chosenPaper() const;
  void begin();
  void end();
  void abort();

  TfrPrinter& printer_;
  PrintPageSource& pages_;
  std::unique_ptr<PrintDevice> device_;
  PaperOverride override_;
  std::string docTitle_;
  int filter_ = pfAll;
  bool open_ = false;
  bool firstPage_ = false;
};

}  // namespace orv
