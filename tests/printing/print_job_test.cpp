#include "printing/print_job.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/emf_canvas.h"
#include "printing/paper_table.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

// Everything the job does to the printer and the pages, in order.
using Log = std::vector<std::string>;

std::string numbered(const char* what, int n) {
  return std::string(what).append(std::to_string(n));
}

class RecordingDevice : public PrintDevice {
 public:
  RecordingDevice(Log& log, TfrPrinter*& printer, std::vector<size_t>& submits)
      : log_(log), printer_(printer), submits_(submits) {}
  // Where in the log each submission came: nothing leaves before the end.
  void submit() override { submits_.push_back(log_.size()); }
  void setCopies(int copies) override { log_.push_back(numbered("copies ", copies)); }
  void beginDocument(const std::string& title) override {
    // The document takes the paper the model holds when it begins.
    log_.push_back("begin " + title + " paper " + std::to_string(printer_->PaperSize) +
                   (printer_->Orientation ? "L" : "P"));
    canvas_ = std::make_unique<EmfCanvas>(Rect{0, 0, 100, 100}, 300);
  }
  void newSheet() override { log_.push_back("sheet"); }
  void endDocument() override {
    log_.push_back("end");
    canvas_.reset();
  }
  void abortDocument() override {
    log_.push_back("abort");
    canvas_.reset();
  }
  Canvas& canvas() override { return *canvas_; }

 private:
  Log& log_;
  TfrPrinter*& printer_;
  std::vector<size_t>& submits_;
  std::unique_ptr<EmfCanvas> canvas_;
};

// A 300 dpi printer whose printable area is the paper less 1/6 inch on the
// left and top and 1/3 inch on the right and bottom.
class FakeBackend : public PrinterBackend {
 public:
  explicit FakeBackend(Log& log) : log(log) {
    mode.fields = DeviceMode::kPaperSize | DeviceMode::kOrientation | DeviceMode::kCopies |
                  DeviceMode::kDefaultSource;
  }
  std::vector<std::string> printers() override { return {"Laser", "Jato"}; }
  int defaultIndex() override { return 0; }
  int currentIndex() override { return current; }
  void setCurrentIndex(int i) override { current = i; }
  bool getDeviceMode(int, DeviceMode& m) override {
    m = mode;
    return true;
  }
  bool setDeviceMode(int, const DeviceMode& m) override {
    mode = m;
    return true;
  }
  bool capabilities(int, const DeviceMode& m, DeviceCaps& c) override {
    const int row = paperIndex(m.paperSize);
    int w = row >= 0 ? PaperTable[row].X : 2100, h = row >= 0 ? PaperTable[row].Y : 2970;
    if (m.orientation == 2) std::swap(w, h);
    c.logPixelsX = c.logPixelsY = 300;
    c.physicalWidth = int(std::lround(w / 254.0 * 300));
    c.physicalHeight = int(std::lround(h / 254.0 * 300));
    c.physicalOffsetX = c.physicalOffsetY = 50;
    c.pageWidth = c.physicalWidth - 150;
    c.pageHeight = c.physicalHeight - 150;
    return true;
  }
  std::unique_ptr<PrintDevice> createDevice(int index) override {
    log.push_back(numbered("device ", index));
    return std::make_unique<RecordingDevice>(log, printer, submits);
  }
  JobOptions jobOptions(int) override { return chosen; }
  bool mediaPaper(int, const std::string& keyword, PaperSpec& paper) override {
    if (keyword == "iso_a5_148x210mm")
      paper = {11, 1480, 2100, 0, -1};
    else if (keyword == "iso_a4_210x297mm")
      paper = {9, 2100, 2970, 0, -1};
    else
      return false;
    return true;
  }
  JobOptions chosen;
  Log& log;
  std::vector<size_t> submits;
  DeviceMode mode;
  int current = 0;
  TfrPrinter* printer = nullptr;
};

struct FakePage {
  PrintPageLayout layout;
  PrinterInfo info;
  bool visible = false;
};

class FakePages : public PrintPageSource {
 public:
  FakePages(Log& log, int count, PaperSpec paper = {9, 2100, 2970, 0, -1}) : log(log) {
    for (int i = 0; i < count; ++i) {
      FakePage p;
      p.layout.paper = paper;
      pages.push_back(p);
    }
  }
  int pageCount() override { return int(pages.size()); }
  PrintPageLayout layout(int i) override { return pages.at(i).layout; }
  PrinterInfo printerInfo(int i) override { return pages.at(i).info; }
  void setPrinterInfo(int i, const PrinterInfo& info) override { pages.at(i).info = info; }
  void setVisible(int i, bool v) override { pages.at(i).visible = v; }
  void drawPage(int i, Canvas& canvas, const Rect& target) override {
    EXPECT_TRUE(canvas.printerCanvas);
    if (!pages.at(i).visible) {
      EXPECT_TRUE(target.isEmpty());
      --built;
      return;
    }
    ++built;
    EXPECT_EQ(built, 1) << "more than one page built at a time";
    shares.push_back(canvas.printScale);
    EXPECT_TRUE(printer->Printing) << "drawing outside an open document";
    targets.push_back(target);
    log.push_back(numbered("page ", i + 1));
    if (failOn == i + 1) throw Error("página com erro");
  }
  Log& log;
  std::vector<FakePage> pages;
  std::vector<Rect> targets;
  std::vector<double> shares;
  int built = 0;
  int failOn = 0;
  TfrPrinter* printer = nullptr;
};

class PrintJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto owned = std::make_unique<FakeBackend>(log);
    backend = owned.get();
    printer = &TfrPrinter::startUp(std::move(owned));
    backend->printer = printer;
  }
  void TearDown() override { TfrPrinter::startUp(nullptr); }

  Log run(FakePages& pages, PrintRequest req, bool* finished = nullptr) {
    pages.printer = printer;
    log.clear();
    PrintJob job(*printer, pages);
    job.title = "Vendas";
    job.onPrintReport = [&] { log.push_back("report"); };
    job.onProgress = [&](int n) { log.push_back(numbered("progress ", n)); };
    const bool done = job.run(req);
    if (finished) *finished = done;
    EXPECT_FALSE(printer->Printing);
    EXPECT_EQ(pages.built, 0);
    // Only pages and document events, for the order checks.
    Log events;
    for (const std::string& e : log)
      if (e.rfind("progress", 0) != 0) events.push_back(e);
    return events;
  }

  Log log;
  FakeBackend* backend = nullptr;
  TfrPrinter* printer = nullptr;
};

TEST_F(PrintJobTest, CollatedCopiesGoPageByPage) {
  FakePages pages(log, 4);
  const Log events = run(pages, {"1-2", 3, true, pfAll});
  EXPECT_EQ(events, (Log{"device 0", "report", "copies 1", "begin Vendas paper 9P", "page 1",
                         "sheet", "page 2", "sheet", "page 1", "sheet", "page 2", "sheet", "page 1",
                         "sheet", "page 2", "end"}));
}

TEST_F(PrintJobTest, UncollatedCopiesAreLeftToTheDriver) {
  FakePages pages(log, 3);
  const Log events = run(pages, {"", 3, false, pfAll});
  EXPECT_EQ(events, (Log{"device 0", "report", "copies 3", "begin Vendas paper 9P", "page 1",
                         "sheet", "page 2", "sheet", "page 3", "end"}));
}

TEST_F(PrintJobTest, ZeroCopiesPrintOnce) {
  FakePages pages(log, 2);
  for (int copies : {0, -5}) {
    const Log events = run(pages, {"", copies, true, pfAll});
    EXPECT_EQ(std::count(events.begin(), events.end(), "page 1"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "copies 1"), 1);
  }
}

TEST_F(PrintJobTest, OddAndEvenFilters) {
  FakePages pages(log, 5);
  EXPECT_EQ(run(pages, {"1-4", 1, true, pfEven}),
            (Log{"device 0", "report", "copies 1", "begin Vendas paper 9P", "page 2", "sheet",
                 "page 4", "end"}));
  const Log odd = run(pages, {"", 1, true, pfOdd});
  EXPECT_EQ(Log(odd.begin() + 4, odd.end()),
            (Log{"page 1", "sheet", "page 3", "sheet", "page 5", "end"}));
}

TEST_F(PrintJobTest, ProgressReportsEachPrintedPage) {
  FakePages pages(log, 4);
  run(pages, {"2,4", 1, true, pfAll});
  Log progress;
  for (const std::string& e : log)
    if (e.rfind("progress", 0) == 0) progress.push_back(e);
  EXPECT_EQ(progress, (Log{"progress 2", "progress 4"}));
}

TEST_F(PrintJobTest, EachRunOfEqualPaperIsOneDocument) {
  FakePages pages(log, 5);
  const PaperSpec letter{1, 2159, 2794, 0, -1};
  pages.pages[2].layout.paper = letter;
  pages.pages[3].layout.paper = letter;
  pages.pages[4].layout.paper = {9, 2100, 2970, 1, -1};  // A4 landscape
  EXPECT_EQ(run(pages, {"", 1, true, pfAll}),
            (Log{"device 0", "report", "copies 1", "begin Vendas paper 9P", "page 1", "sheet",
                 "page 2", "end", "begin Vendas paper 1P", "page 3", "sheet", "page 4", "end",
                 "begin Vendas paper 9L", "page 5", "end"}));
  // Each page's block was filled for its own paper before it was drawn.
  EXPECT_EQ(pages.pages[2].info.DevicePaperWidth, std::lround(2159 / 254.0 * 300));
  EXPECT_EQ(pages.pages[4].info.DevicePaperWidth, std::lround(2970 / 254.0 * 300));
}

TEST_F(PrintJobTest, AlternatingPapersSplitEveryPage) {
  FakePages pages(log, 4);
  pages.pages[1].layout.paper = {1, 2159, 2794, 0, -1};
  pages.pages[3].layout.paper = {1, 2159, 2794, 0, -1};
  const Log events = run(pages, {"", 1, true, pfAll});
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& e) { return e.rfind("begin", 0) == 0; }),
            4);
  EXPECT_EQ(std::count(events.begin(), events.end(), "sheet"), 0);
}

TEST_F(PrintJobTest, TargetRectangleForBothMarginModes) {
  FakePages pages(log, 2);
  pages.pages[0].layout.useMargins = true;
  FakePage& second = pages.pages[1];
  second.layout.marginLeft = 40;
  second.layout.marginTop = 30;
  second.layout.marginRight = 20;
  second.layout.marginBottom = 10;
  run(pages, {"", 1, true, pfAll});
  ASSERT_EQ(pages.targets.size(), 2u);

  const PrinterInfo& a = pages.pages[0].info;
  const int paperW = int(std::lround(2100 / 254.0 * 300)),
            paperH = int(std::lround(2970 / 254.0 * 300));
  EXPECT_EQ(pages.targets[0], (Rect{-50, -50, paperW - 50, paperH - 50}));
  EXPECT_EQ(a.DevicePaperWidth, paperW);

  // Margins are report pixels scaled to the printable area's device pixels.
  const PrinterInfo& b = second.info;
  const double kx = double(b.DevicePrintableWidth) / b.PrintableWidth;
  const double ky = double(b.DevicePrintableHeight) / b.PrintableHeight;
  EXPECT_EQ(b.DevicePrintableWidth, paperW - 150);
  EXPECT_EQ(pages.targets[1], (Rect{int(std::nearbyint(40 * kx)), int(std::nearbyint(30 * ky)),
                                    b.DevicePrintableWidth - int(std::nearbyint(20 * kx)),
                                    b.DevicePrintableHeight - int(std::nearbyint(10 * ky))}));
}

TEST(PrintTargetTest, MarginsRoundHalvesToEven) {
  PrintPageLayout l;
  l.marginLeft = 1;
  l.marginTop = 3;
  l.marginRight = 5;
  l.marginBottom = 7;
  PrinterInfo pi;
  pi.DevicePrintableWidth = 500;
  pi.PrintableWidth = 200;  // 2.5 device pixels per report pixel
  pi.DevicePrintableHeight = 500;
  pi.PrintableHeight = 200;
  // 2.5 -> 2, 7.5 -> 8, 12.5 -> 12, 17.5 -> 18
  EXPECT_EQ(printTarget(l, pi), (Rect{2, 8, 500 - 12, 500 - 18}));
  pi.PrintableWidth = 0;  // a block never filled must not divide by zero
  EXPECT_EQ(printTarget(l, pi).left, 0);
}

TEST_F(PrintJobTest, CancelAbortsAfterTheCurrentPage) {
  FakePages pages(log, 5);
  pages.printer = printer;
  log.clear();
  PrintJob job(*printer, pages);
  int printed = 0;
  job.onProgress = [&](int) { ++printed; };
  job.terminated = [&] { return printed == 2; };
  EXPECT_FALSE(job.run({"", 1, true, pfAll}));
  EXPECT_EQ(log.back(), "abort");
  EXPECT_EQ(std::count(log.begin(), log.end(), "end"), 0);
  EXPECT_EQ(printed, 2);
  EXPECT_FALSE(printer->Printing);
  // The untitled document gets the fixed title.
  EXPECT_EQ(log[2], "begin Sem t\xEDtulo paper 9P");  // code page 1252
}

TEST_F(PrintJobTest, BadPageListSendsNothing) {
  FakePages pages(log, 3);
  pages.printer = printer;
  log.clear();
  PrintJob job(*printer, pages);
  EXPECT_THROW(job.run({"1,,2", 1, true, pfAll}), InvalidIntegerError);
  EXPECT_THROW(job.run({"3-1,2", 1, true, pfAll}), ReversedRangeError);
  EXPECT_TRUE(log.empty());
}

TEST_F(PrintJobTest, RequestsThatSelectNoPageSendNothing) {
  FakePages pages(log, 3);
  for (PrintRequest r : {PrintRequest{"5-", 1, true, pfAll}, PrintRequest{"20", 1, true, pfAll},
                         PrintRequest{"1", 1, true, pfEven}}) {
    EXPECT_TRUE(run(pages, r).empty()) << r.pageList;
  }
  FakePages none(log, 0);
  EXPECT_TRUE(run(none, {}).empty());
}

TEST_F(PrintJobTest, AFailingPageAbortsTheDocumentAndReleasesThePage) {
  FakePages pages(log, 3);
  pages.failOn = 2;
  pages.printer = printer;
  log.clear();
  PrintJob job(*printer, pages);
  EXPECT_THROW(job.run({"", 1, true, pfAll}), Error);
  EXPECT_EQ(log.back(), "abort");
  EXPECT_FALSE(printer->Printing);
  EXPECT_EQ(pages.built, 0);
  EXPECT_FALSE(pages.pages[1].visible);
}

TEST_F(PrintJobTest, DocumentsAreSubmittedOnlyOnceEveryPageIsDrawn) {
  // Three papers, three documents: all handed over together, after the last.
  FakePages pages(log, 3);
  pages.pages[1].layout.paper = {1, 2159, 2794, 0, -1};
  const Log events = run(pages, {});
  EXPECT_EQ(std::count(events.begin(), events.end(), "end"), 3);
  EXPECT_EQ(backend->submits, std::vector<size_t>({log.size()}));

  // A page that fails after two documents have ended: neither is handed over.
  backend->submits.clear();
  pages.failOn = 3;
  log.clear();
  PrintJob job(*printer, pages);
  EXPECT_THROW(job.run({}), Error);
  EXPECT_EQ(std::count(log.begin(), log.end(), "end"), 2);
  EXPECT_TRUE(backend->submits.empty());

  // A cancelled job hands nothing over either.
  pages.failOn = 0;
  PrintJob cancelled(*printer, pages);
  cancelled.terminated = [] { return true; };
  EXPECT_FALSE(cancelled.run({}));
  EXPECT_TRUE(backend->submits.empty());
}

TEST_F(PrintJobTest, JobPrintsOnThePrinterTheUserChose) {
  printer->SelectPrinter(1);
  FakePages pages(log, 1);
  const Log events = run(pages, {});
  EXPECT_EQ(events.front(), "device 1");
  EXPECT_EQ(printer->CurrentIndex, 1);
}

// The paper and orientation chosen for the printer replace each page's own in
// the printer model, and the page is fitted onto the sheet it then gets.
TEST_F(PrintJobTest, AChosenPaperAndOrientationPutEveryPageOnThatSheet) {
  backend->chosen = {{kPaperOption, "iso_a5_148x210mm"}, {kOrientationOption, "4"}};
  FakePages pages(log, 3);
  pages.pages[2].layout.paper = {1, 2159, 2794, 0, -1};  // Letter
  // The blocks the pages were laid out with (A4 on the virtual printer).
  PrinterInfo laidOut;
  laidOut.PaperWidthPx = 758;
  laidOut.PaperHeightPx = 1071;
  laidOut.OffsetX = laidOut.OffsetY = 18;
  laidOut.PrintableWidth = 722;
  laidOut.PrintableHeight = 1035;
  for (FakePage& p : pages.pages) {
    p.info = laidOut;
    p.layout.useMargins = true;
  }
  EXPECT_EQ(run(pages, {}), (Log{"device 0", "report", "copies 1", "begin Vendas paper 11L",
                                 "page 1", "sheet", "page 2", "sheet", "page 3", "end"}));
  // A5 landscape at 300 dpi, less the printer's edges.
  const int sheetW = int(std::lround(2100 / 254.0 * 300)) - 150;
  const int sheetH = int(std::lround(1480 / 254.0 * 300)) - 150;
  const Rect& t = pages.targets[0];
  // A portrait page on a landscape sheet: as high as the printable area,
  // its own proportions, centred across.
  EXPECT_EQ(t.top, 0);
  EXPECT_EQ(t.bottom, sheetH);
  EXPECT_NEAR(double(t.width()) / t.height(), 758.0 / 1071.0, 0.002);
  EXPECT_LE(std::abs(t.left - (sheetW - t.right)), 1);
  // Text shrinks with the page: printed height over the page's own height
  // at this resolution.
  EXPECT_NEAR(pages.shares[0], t.height() / (1071 * 300 / kReportPixelsPerInch), 0.002);
  // The pages keep the blocks they were laid out with: the preview still
  // shows them as the report says.
  EXPECT_EQ(pages.pages[0].info, laidOut);
  EXPECT_EQ(pages.pages[2].info, laidOut);
}

TEST_F(PrintJobTest, AChosenOrientationTurnsEachPagesOwnPaper) {
  backend->chosen = {{kOrientationOption, "4"}};
  FakePages pages(log, 3);
  pages.pages[2].layout.paper = {1, 2159, 2794, 0, -1};
  EXPECT_EQ(run(pages, {}),
            (Log{"device 0", "report", "copies 1", "begin Vendas paper 9L", "page 1", "sheet",
                 "page 2", "end", "begin Vendas paper 1L", "page 3", "end"}));
  EXPECT_EQ(printer->PaperWidth, 2794);  // Letter, seen turned
  // "As the report says" is no choice: each page on its own paper.
  backend->chosen = {{kPaperOption, ""}, {kOrientationOption, ""}};
  EXPECT_EQ(run(pages, {}),
            (Log{"device 0", "report", "copies 1", "begin Vendas paper 9P", "page 1", "sheet",
                 "page 2", "end", "begin Vendas paper 1P", "page 3", "end"}));
}

TEST_F(PrintJobTest, ChoosingThePagesOwnPaperPrintsThemAsLaidOut) {
  FakePages plain(log, 2);
  plain.pages[1].layout.marginLeft = 40;
  run(plain, {});
  backend->chosen = {{kPaperOption, "iso_a4_210x297mm"}, {kOrientationOption, "3"}};
  FakePages chosen(log, 2);
  chosen.pages[1].layout.marginLeft = 40;
  run(chosen, {});
  EXPECT_EQ(chosen.targets, plain.targets);
  EXPECT_EQ(chosen.shares, (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(chosen.pages[1].info, plain.pages[1].info);
}

TEST_F(PrintJobTest, AFittedPageKeepsItsMarginsWithinItsPaper) {
  backend->chosen = {{kPaperOption, "iso_a5_148x210mm"}};
  FakePages pages(log, 2);
  for (FakePage& p : pages.pages) {
    p.info.PaperWidthPx = 758;
    p.info.PaperHeightPx = 1071;
    p.info.OffsetX = p.info.OffsetY = 18;
    p.info.PrintableWidth = 722;
    p.info.PrintableHeight = 1035;
  }
  pages.pages[0].layout.useMargins = true;
  pages.pages[1].layout.marginLeft = 40;
  run(pages, {});
  // The whole paper, and within it the printable area less the margins,
  // both scaled by the same share.
  const Rect& paper = pages.targets[0];
  const Rect& content = pages.targets[1];
  const double k = double(paper.width()) / 758;
  EXPECT_NEAR(content.left - paper.left, (18 + 40) * k, 1);
  EXPECT_NEAR(content.top - paper.top, 18 * k, 1);
  EXPECT_NEAR(paper.right - content.right, 18 * k, 1);
  EXPECT_DOUBLE_EQ(pages.shares[0], pages.shares[1]);
}

TEST_F(PrintJobTest, APaperThePrinterDoesNotKnowSendsNothing) {
  backend->chosen = {{kPaperOption, "oufuko_99x99in"}};
  FakePages pages(log, 2);
  pages.printer = printer;
  log.clear();
  PrintJob job(*printer, pages);
  EXPECT_THROW(job.run({}), Error);
  EXPECT_TRUE(log.empty());
}

TEST_F(PrintJobTest, VirtualPrinterCannotPrint) {
  TfrPrinter& virt = TfrPrinter::startUp(nullptr);
  FakePages pages(log, 1);
  pages.printer = &virt;
  PrintJob job(virt, pages);
  EXPECT_THROW(job.run({}), Error);
  EXPECT_FALSE(virt.Printing);
}

}  // namespace
}  // namespace orv
