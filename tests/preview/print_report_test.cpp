#include <gtest/gtest.h>

#include <QStringList>

#include "engine/report_print.h"
#include "engine/tfr_report.h"
#include "platform/emf_canvas.h"
#include "preview/print_form.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

struct Events {
  std::vector<std::string> log;
  std::string refusal;  // submit raises this when set, as a stopped spooler does
  std::string notice;   // what the printer says after taking the job
};

class Device : public PrintDevice {
 public:
  explicit Device(Events& e) : e_(e) {}
  void setCopies(int c) override {
    e_.log.push_back(std::string("copies ").append(std::to_string(c)));
  }
  void beginDocument(const std::string& title) override {
    e_.log.push_back("begin " + title);
    canvas_ = std::make_unique<EmfCanvas>(Rect{0, 0, 100, 100}, 300);
  }
  void newSheet() override { e_.log.push_back("sheet"); }
  void endDocument() override { e_.log.push_back("end"); }
  void abortDocument() override { e_.log.push_back("abort"); }
  void submit() override {
    if (!e_.refusal.empty()) throw Error(e_.refusal);
    e_.log.push_back("submit");
  }
  std::string notice() const override { return e_.notice; }
  Canvas& canvas() override { return *canvas_; }

 private:
  Events& e_;
  std::unique_ptr<EmfCanvas> canvas_;
};

// Two printers; the second gives no device mode, so it is not valid.
class Backend : public PrinterBackend {
 public:
  explicit Backend(Events& e) : e_(e) {}
  std::vector<std::string> printers() override { return {"Laser", "Quebrada"}; }
  int defaultIndex() override { return 0; }
  int currentIndex() override { return current; }
  void setCurrentIndex(int i) override { current = i; }
  bool getDeviceMode(int i, DeviceMode& m) override {
    m.fields = DeviceMode::kPaperSize | DeviceMode::kOrientation;
    return i == 0;
  }
  bool setDeviceMode(int, const DeviceMode&) override { return true; }
  bool capabilities(int, const DeviceMode&, DeviceCaps& c) override {
    c.logPixelsX = c.logPixelsY = 300;
    c.physicalWidth = 2480;
    c.physicalHeight = 3508;
    c.physicalOffsetX = c.physicalOffsetY = 50;
    c.pageWidth = 2380;
    c.pageHeight = 3408;
    return true;
  }
  std::unique_ptr<PrintDevice> createDevice(int) override { return std::make_unique<Device>(e_); }
  int current = 0;

 private:
  Events& e_;
};

class RecordingUi : public PrintUi {
 public:
  void runWithProgress(TfrReport&, const QString& c, const QString& p,
                       const std::function<void()>& job) override {
    caption = c;
    prefix = p;
    inProgress = true;
    job();
    inProgress = false;
  }
  void setProgressLabel(const QString& text) override { labels.push_back(text); }
  void processMessages() override {}
  void showError(const QString& c, const QString& t) override { errors.push_back(c + ": " + t); }
  void showNotice(const QString& c, const QString& t) override {
    notices.push_back(c + ": " + t + (inProgress ? " (inside the progress window)" : ""));
  }
  QString caption, prefix;
  QStringList labels, errors, notices;
  bool inProgress = false;
};

class ReportPrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printer = &TfrPrinter::startUp(std::make_unique<Backend>(events));
    for (int i = 0; i < 3; ++i) report.EMFPages.AddPage(PageSetup{});
  }
  void TearDown() override {
    installPrintUi(nullptr);
    TfrPrinter::startUp(nullptr);
  }
  Events events;
  TfrPrinter* printer = nullptr;
  TfrReport report;
};

TEST_F(ReportPrintTest, PrintsFromTheStoreAndReleasesEveryPage) {
  std::vector<int> progress;
  report.OnProgress = [&](int n) { progress.push_back(n); };
  bool reported = false;
  report.OnPrintReport = [&] { reported = true; };
  report.Terminated = true;  // a new job starts afresh
  StartPrint(report, "2-3", 2, 0, false);
  EXPECT_EQ(report.PrintPageList, "2-3");
  EXPECT_EQ(report.PrintCopies, 2);
  EXPECT_FALSE(report.PrintCollate);
  EXPECT_FALSE(report.Terminated);
  EXPECT_TRUE(reported);
  EXPECT_EQ(progress, (std::vector<int>{2, 3}));
  EXPECT_EQ(events.log, (std::vector<std::string>{"copies 2", "begin Sem t\xEDtulo", "sheet", "end",
                                                  "submit"}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(report.EMFPages.Entry(i).Visible, 0);
    EXPECT_EQ(report.EMFPages.Entry(i).ObjectPage(), nullptr);
  }
  // The printed pages carry the printer's block.
  EXPECT_EQ(report.EMFPages.Entry(1).Format().PrinterInfo.DevicePaperWidth, 2480);
  EXPECT_FALSE(printer->Printing);
}

TEST_F(ReportPrintTest, ProgressWindowShowsCaptionAndPageNumbers) {
  RecordingUi ui;
  installPrintUi(&ui);
  report.Title = "Vendas";
  StartPrint(report, "", 1, 0, true);
  EXPECT_EQ(ui.caption, "Preparando relatório - Vendas");
  EXPECT_EQ(ui.prefix, "Imprimindo página:");
  EXPECT_EQ(ui.labels, (QStringList{"Imprimindo página:  1 de 3", "Imprimindo página:  2 de 3",
                                    "Imprimindo página:  3 de 3"}));
  EXPECT_EQ(events.log[1], "begin Vendas");
}

TEST_F(ReportPrintTest, ErrorsLeaveTheProgressWindowAndReachTheCaller) {
  RecordingUi ui;
  installPrintUi(&ui);
  EXPECT_THROW(StartPrint(report, "x", 1, 0, true), Error);
  EXPECT_TRUE(events.log.empty());
}

// A spooler that stops or a queue that refuses jobs: the printer's own words
// reach the caller, the window is gone, and the next job prints as usual.
TEST_F(ReportPrintTest, ARefusedJobReachesTheCallerAndTheNextOnePrints) {
  RecordingUi ui;
  installPrintUi(&ui);
  events.refusal =
      "Nada foi impresso: a fila de impressão \"escritorio\" não está aceitando trabalhos.";
  try {
    StartPrint(report, "", 1, 0, false);
    ADD_FAILURE() << "the refusal was swallowed";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), events.refusal);
  }
  EXPECT_FALSE(printer->Printing);
  EXPECT_TRUE(ui.notices.isEmpty());
  events.refusal.clear();
  events.log.clear();
  StartPrint(report, "1", 1, 0, false);
  EXPECT_EQ(events.log.back(), "submit");
}

// A paused queue keeps the job: a note, after the progress window, not an error.
TEST_F(ReportPrintTest, ANoticeIsShownOnceTheProgressWindowHasClosed) {
  RecordingUi ui;
  installPrintUi(&ui);
  events.notice = "A fila está pausada.";
  StartPrint(report, "1", 1, 0, false);
  EXPECT_EQ(ui.notices, QStringList{"Imprimir: A fila está pausada."});
  EXPECT_TRUE(ui.errors.isEmpty());
  events.notice.clear();
  StartPrint(report, "1", 1, 0, false);
  EXPECT_EQ(ui.notices.size(), 1);
}

TEST_F(ReportPrintTest, InvalidPrinterIsReportedAndTheOldOneRestored) {
  RecordingUi ui;
  installPrintUi(&ui);
  EXPECT_FALSE(ChangePrinter(report, 0, 1));
  EXPECT_EQ(ui.errors, QStringList{"Erro: Impressora selecionada não é válida"});
  EXPECT_EQ(printer->CurrentIndex, 0);
  EXPECT_EQ(report.PrinterName, "Laser");
  EXPECT_EQ(printer->PaperSize, -1);

  EXPECT_TRUE(ChangePrinter(report, 0, 0));
  SelectPrinterByName(report, "Nenhuma");
  EXPECT_EQ(report.PrinterName, "Nenhuma");
  EXPECT_EQ(printer->CurrentIndex, 0);
}

// A preview holding the report's pages, loaded from a file.
class LoadedPreview : public PrintPreviewLink {
 public:
  int pageCount() override { return 3; }
  int currentPage() override { return 1; }
  QString fileName() override { return "/tmp/relat\u00f3rios/vendas-maio.frp"; }
  void disconnectPages() override {}
  void connectPages() override {}
  void showStatus(const QString& text) override { status = text; }
  QString status;
};

TEST_F(ReportPrintTest, TheJobIsNamedByTheTitleElseByTheFile) {
  report.ShowPrintDialog = false;
  report.OnProgress = [](int) {};
  LoadedPreview preview;
  PrintCommand(report, preview);
  ASSERT_GE(events.log.size(), 2u);
  EXPECT_EQ(events.log[1], "begin vendas-maio.frp");
  EXPECT_TRUE(report.Title.empty());  // the report's own title is left alone
  events.log.clear();
  report.Title = "Vendas";
  PrintCommand(report, preview);
  EXPECT_EQ(events.log[1], "begin Vendas");
  EXPECT_TRUE(preview.status.isEmpty());
}

TEST_F(ReportPrintTest, ACancelledPrintSaysSo) {
  report.ShowPrintDialog = false;
  report.OnProgress = [this](int) { report.Terminated = true; };  // Cancel after a page
  LoadedPreview preview;
  PrintCommand(report, preview);
  EXPECT_EQ(preview.status, QString::fromUtf8("Impressão cancelada."));
}

}  // namespace
}  // namespace orv
