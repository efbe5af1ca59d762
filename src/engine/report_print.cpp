#include "engine/report_print.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "engine/tfr_report.h"
#include "platform/codepage.h"
#include "platform/strings.h"
#include "prepared/frp_error.h"
#include "printing/print_job.h"
#include "printing/tfr_printer.h"

namespace orv {

namespace {

constexpr int kPrintCaptionString = 53040;
constexpr int kPreparingString = 55203;
constexpr int kErrorCaptionString = 55206;
constexpr int kPrintingPageString = 55208;
constexpr int kInvalidPrinterString = 55210;

PrintUi* g_ui = nullptr;
// A note from the last job, shown once its progress window has closed.
std::string g_notice;

// Without windows (the command line) the note goes to standard error.
void showNotice() {
  if (g_notice.empty()) return;
  const QString text = QString::fromStdString(g_notice);
  g_notice.clear();
  if (g_ui)
    g_ui->showNotice(loadString(kPrintCaptionString), text);
  else
    std::fprintf(stderr, "Aviso: %s\n", text.toUtf8().constData());
}

// The prepared page store as the print job sees it.
class StorePages : public PrintPageSource {
 public:
  explicit StorePages(TfrEMFPages& store) : store_(store) {}
  int pageCount() override { return store_.Count(); }
  PrintPageLayout layout(int i) override {
    const PageFormat& e = store_.Entry(i).Format();
    PrintPageLayout l;
    l.paper = {e.PaperSize, e.PaperWidth, e.PaperHeight, e.Orientation, e.Bin};
    l.useMargins = e.UseMargins != 0;
    l.marginLeft = e.Margins.left;
    l.marginTop = e.Margins.top;
    l.marginRight = e.Margins.right;
    l.marginBottom = e.Margins.bottom;
    return l;
  }
  PrinterInfo printerInfo(int i) override { return store_.Entry(i).Format().PrinterInfo; }
  void setPrinterInfo(int i, const PrinterInfo& info) override {
    PageFormat f = store_.Entry(i).Format();
    f.PrinterInfo = info;
    store_.SetFormat(i, f);
  }
  void setVisible(int i, bool v) override { store_.Entry(i).Visible = v ? 1 : 0; }
  void drawPage(int i, Canvas& canvas, const Rect& target) override {
    if (target.isEmpty()) {
      store_.Draw(i, canvas, target);
      return;
    }
    try {
      store_.Draw(i, canvas, target);
    } catch (const std::exception& e) {
      throw Error(pageFailure(i + 1, e));
    }
  }

  // The job keeps every page until the last one is drawn, so a page that
  // fails means nothing was printed; the message says so and names the page.
  static std::string pageFailure(int pageNo, const std::exception& e) {
    // The file is the one the user is printing; the reason is what matters.
    const QString reason = portugueseReasonAfterPage(e);
    return QString::fromUtf8("Nada foi impresso: a página %1 não pôde ser desenhada (%2).")
        .arg(pageNo)
        .arg(reason)
        .toStdString();
  }

 private:
  TfrEMFPages& store_;
};

}  // namespace

void installPrintUi(PrintUi* ui) {
  g_ui = ui;
}

PrintUi* printUi() {
  return g_ui;
}

bool RunPrintJob(TfrReport& report) {
  TfrPrinter& printer = TfrPrinter::current();
  StorePages pages(report.EMFPages);
  PrintJob job(printer, pages);
  job.title = report.Title;
  job.onPrintReport = [&report] {
    if (report.OnPrintReport) report.OnPrintReport();
  };
  const QString prefix = loadString(kPrintingPageString);
  const int total = report.EMFPages.Count();
  job.onProgress = [&report, prefix, total](int n) {
    if (report.OnProgress) {
      report.OnProgress(n);
      return;
    }
    if (report.ShowProgress && g_ui) {
      // The page and how many the report has, so that a long job shows how far it got.
      g_ui->setProgressLabel(prefix + "  " + QString::number(n) + " de " + QString::number(total));
      g_ui->processMessages();
    }
  };
  job.terminated = [&report] { return report.Terminated; };
  job.onNotice = [](const std::string& text) { g_notice = text; };
  PrintRequest request;
  request.pageList = report.PrintPageList;
  request.copies = report.PrintCopies;
  request.collate = report.PrintCollate;
  request.filter = report.PrintFilter;
  return job.run(request);
}

void StartPrint(TfrReport& report, const std::string& pageList, int copies, int pageFilter,
                bool collate) {
  report.Terminated = false;
  report.PrintPageList = pageList;
  report.PrintCopies = copies;
  report.PrintCollate = collate;
  report.PrintFilter = pageFilter;

  g_notice.clear();
  if (report.OnProgress || !report.ShowProgress || !g_ui) {
    RunPrintJob(report);
    showNotice();
    return;
  }
  QString caption = loadString(kPreparingString);
  if (!report.Title.empty()) caption += " - " + decodeBytes(report.Title, 1252);
  // An error must not unwind through the progress window's event loop: it is
  // kept, the window closes, and it is raised again here.
  std::exception_ptr failure;
  g_ui->runWithProgress(report, caption, loadString(kPrintingPageString), [&] {
    try {
      RunPrintJob(report);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  showNotice();
}

bool ChangePrinter(TfrReport& report, int oldIndex, int newIndex) {
  TfrPrinter& printer = TfrPrinter::current();
  printer.SelectPrinter(newIndex);
  // The model falls back to the virtual printer when the chosen one gives no
  // device mode: that is how a printer that is not valid shows.
  if (printer.CurrentIndex == newIndex) {
    report.PrinterName = printer.currentPrinterName();
    printer.PaperSize = -1;
    return true;
  }
  if (g_ui) g_ui->showError(loadString(kErrorCaptionString), loadString(kInvalidPrinterString));
  printer.SelectPrinter(oldIndex);
  report.PrinterName = printer.currentPrinterName();
  printer.PaperSize = -1;
  return false;
}

void SelectPrinterByName(TfrReport& report, const std::string& name) {
  TfrPrinter& printer = TfrPrinter::current();
  if (!report.PrintToDefault) {
    int index = printer.findPrinter(name);
    if (index < 0 && !printer.PrinterList.empty() && name == printer.PrinterList.back())
      index = printer.VirtualIndex;
    if (index >= 0) printer.SelectPrinter(index);
  }
  report.PrinterName = name;
}

}  // namespace orv
