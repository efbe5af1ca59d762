// Export from the window: a PDF of chosen pages with real text, a page as a
// PNG at a chosen resolution, and a cancelled export that leaves nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "engine/tfr_report.h"
#include "model/printer_info.h"
#include "preview/export_dialog.h"
#include "preview/job_progress.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

// What poppler reads from a PDF: its page count and its text.
QString run(const QString& tool, const QStringList& args) {
  QProcess p;
  p.start(tool, args);
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Presses Escape in the progress window as soon as it shows; `saw` tells
// whether it did.
void cancelFromProgressWindow(bool& saw) {
  QTimer::singleShot(0, [&saw] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->isVisible() && top->inherits("QProgressDialog")) {
        saw = true;
        QTest::keyClick(top, Qt::Key_Escape);
      }
  });
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    tools::addTextPage(report, {"primeira pagina"});
    tools::addTextPage(report, {"segunda pagina"});
    tools::addTextPage(report, {"terceira pagina"});
    preview.resize(800, 600);
    preview.Connect(&report);
  }
  TfrPreviewForm& form() { return *preview.form(); }
  QTemporaryDir dir;
  TfrReport report;
  TfrPreview preview;
};

TEST_F(ExportTest, PdfOfAPageListHoldsThosePagesAsText) {
  const QString pdf = dir.filePath("parte.pdf");
  QString error;
  ASSERT_EQ(exportPdf(form(), pdf, {0, 2}, &error), ExportResult::Done) << error.toStdString();
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "no poppler";
  EXPECT_TRUE(run("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+2\\n")));
  const QString text = run("pdftotext", {pdf, "-"});
  EXPECT_TRUE(text.contains("primeira pagina")) << text.toStdString();
  EXPECT_TRUE(text.contains("terceira pagina"));
  EXPECT_FALSE(text.contains("segunda"));
  // Named after the report, else after its file.
  const QString titled = dir.filePath("titulo.pdf");
  report.Title = "Vendas de mar\xe7o";  // the report's own bytes, Windows-1252
  ASSERT_EQ(exportPdf(form(), titled, {0}, &error), ExportResult::Done);
  EXPECT_TRUE(run("pdfinfo", {titled})
                  .contains(QRegularExpression(QString::fromUtf8("Title:\\s+Vendas de março\\n"))))
      << run("pdfinfo", {titled}).toStdString();
  report.Title.clear();
  form().SaveTo(dir.filePath("vendas.frp"));
  preview.LoadFromFile(dir.filePath("vendas.frp"));
  ASSERT_EQ(exportPdf(form(), titled, {0}, &error), ExportResult::Done);
  EXPECT_TRUE(run("pdfinfo", {titled}).contains(QRegularExpression("Title:\\s+vendas.frp\\n")))
      << run("pdfinfo", {titled}).toStdString();
}

TEST_F(ExportTest, PageImageHasTheChosenResolution) {
  const QString png = dir.filePath("p2.png");
  QString error;
  ASSERT_EQ(exportPageImage(form(), png, 2, 300, &error), ExportResult::Done);
  QImage img(png);
  ASSERT_FALSE(img.isNull());
  const PrinterInfo& info = form().Pages->Entry(1).Format().PrinterInfo;
  EXPECT_EQ(img.width(), int(std::nearbyint(info.PaperWidthPx * 300 / kReportPixelsPerInch)));
  EXPECT_EQ(img.height(), int(std::nearbyint(info.PaperHeightPx * 300 / kReportPixelsPerInch)));
  EXPECT_NEAR(img.dotsPerMeterX() * 0.0254, 300, 0.5);
  // Dark text somewhere near the top left, where the page's line is.
  int dark = 0;
  for (int y = 0; y < img.height() / 4; ++y)
    for (int x = 0; x < img.width() / 2; ++x) dark += qGray(img.pixel(x, y)) < 100;
  EXPECT_GT(dark, 100);
  EXPECT_EQ(exportPageImage(form(), png, 4, 300, &error), ExportResult::Failed);
}

TEST_F(ExportTest, CancelledExportLeavesTheOldFileAlone) {
  for (int i = 0; i < 3000; ++i) tools::addTextPage(report, {"mais uma pagina"});
  preview.Connect(&report);
  const QString pdf = dir.filePath("antigo.pdf");
  {
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("o arquivo de antes");
  }
  std::vector<int> all(form().AllPages());
  for (int i = 0; i < int(all.size()); ++i) all[i] = i;
  const int before = JobProgress::showAfterMs;
  JobProgress::showAfterMs = 0;
  bool sawWindow = false;
  cancelFromProgressWindow(sawWindow);
  QString error;
  EXPECT_EQ(exportPdf(form(), pdf, all, &error), ExportResult::Cancelled);
  JobProgress::showAfterMs = before;
  EXPECT_TRUE(sawWindow);
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "o arquivo de antes");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"antigo.pdf"}));
}

TEST_F(ExportTest, PdfDialogChecksThePageList) {
  ExportPdfDialog d(3, 2);
  d.File->Edit->setText(dir.filePath("r"));
  EXPECT_EQ(d.File->path(), dir.filePath("r.pdf"));
  d.PageList->setChecked(true);
  d.PageListEdit->setText("1,x");
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_FALSE(d.Problem->isHidden());
  d.PageListEdit->setText("7-9");
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_TRUE(d.Problem->text().contains("3"));
  // A reversed range is named, though page 2 alone would export.
  d.PageListEdit->setText("3-1,2");
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_EQ(d.Problem->text(), QString::fromUtf8("O intervalo 3-1 está invertido: escreva 1-3."));
  d.PageListEdit->setText("3, 2-");
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.Indices, std::vector<int>({1, 2}));
  d.CurrentPage->setChecked(true);
  d.accept();
  EXPECT_EQ(d.Indices, std::vector<int>({1}));
  d.File->Edit->setText("");
  d.setResult(QDialog::Rejected);
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Rejected);
}

// "Exportar": the format decides the file's suffix and which options apply.
TEST_F(ExportTest, DataDialogFollowsTheChosenFormat) {
  ExportDataDialog d(3, 1);
  d.Format->setCurrentIndex(d.Format->findData(int(ExportFormat::Xlsx)));
  d.File->Edit->setText(dir.filePath("dados.xlsx"));
  EXPECT_TRUE(d.SheetPerPage->isEnabled());
  EXPECT_TRUE(d.KeepPageBands->isEnabled());
  EXPECT_FALSE(d.Semicolon->isEnabled());
  d.Format->setCurrentIndex(d.Format->findData(int(ExportFormat::Csv)));
  EXPECT_EQ(d.File->path(), dir.filePath("dados.csv"));
  EXPECT_FALSE(d.SheetPerPage->isEnabled());
  EXPECT_TRUE(d.Semicolon->isEnabled());
  d.Semicolon->setChecked(true);
  EXPECT_EQ(d.options().separator, ';');
  d.Format->setCurrentIndex(d.Format->findData(int(ExportFormat::Html)));
  EXPECT_EQ(d.File->path(), dir.filePath("dados.html"));
  EXPECT_FALSE(d.KeepPageBands->isEnabled());
  EXPECT_EQ(d.options().separator, ',');
  d.PageList->setChecked(true);
  d.PageListEdit->setText("2-3");
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.Indices, std::vector<int>({1, 2}));
  EXPECT_EQ(d.format(), ExportFormat::Html);
  // The next dialog offers the format used last.
  ExportDataDialog again(3, 1);
  EXPECT_EQ(again.format(), ExportFormat::Html);
}

TEST_F(ExportTest, DataExportWritesTheChosenFormatAndCancelLeavesNothing) {
  QString error;
  const QString csv = dir.filePath("dados.csv");
  ASSERT_EQ(exportData(form(), csv, ExportFormat::Csv, {0, 2}, {}, &error), ExportResult::Done)
      << error.toStdString();
  QFile f(csv);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "primeira pagina\r\nterceira pagina\r\n");
  const QString xlsx = dir.filePath("dados.xlsx");
  ASSERT_EQ(exportData(form(), xlsx, ExportFormat::Xlsx, {0, 1, 2}, {}, &error),
            ExportResult::Done);
  QFile x(xlsx);
  ASSERT_TRUE(x.open(QIODevice::ReadOnly));
  EXPECT_TRUE(x.read(2) == "PK");

  // A long report shows the progress window, and Escape in it cancels.
  TfrReport longer;
  tools::buildListing(longer, {60, 4, true});
  preview.Connect(&longer);
  std::vector<int> all(form().AllPages());
  for (int i = 0; i < int(all.size()); ++i) all[i] = i;
  const int before = JobProgress::showAfterMs;
  JobProgress::showAfterMs = 0;
  bool sawWindow = false;
  cancelFromProgressWindow(sawWindow);
  const QString html = dir.filePath("dados.html");
  EXPECT_EQ(exportData(form(), html, ExportFormat::Html, all, {}, &error), ExportResult::Cancelled);
  JobProgress::showAfterMs = before;
  preview.Connect(&report);
  EXPECT_TRUE(sawWindow);
  EXPECT_FALSE(QFile::exists(html));
}

// Every Alt key of the export dialogs leads to one control only.
TEST_F(ExportTest, EachAltKeyOfTheExportDialogsIsUsedOnce) {
  ExportPdfDialog pdf(3, 2);
  ExportImageDialog image(3, 2);
  ExportDataDialog data(3, 2);
  for (QDialog* d :
       {static_cast<QDialog*>(&pdf), static_cast<QDialog*>(&image), static_cast<QDialog*>(&data)}) {
    QStringList texts;
    for (QLabel* l : d->findChildren<QLabel*>()) texts << l->text();
    for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) texts << b->text();
    std::map<QChar, QStringList> keys;
    for (const QString& t : texts) {
      const qsizetype at = t.indexOf(QRegularExpression("&[^&]"));
      if (at >= 0) keys[t[at + 1].toLower()] << t;
    }
    for (const auto& [key, users] : keys)
      EXPECT_EQ(users.size(), 1) << d->windowTitle().toStdString() << ": "
                                 << users.join(" | ").toStdString();
  }
}

}  // namespace
}  // namespace orv
