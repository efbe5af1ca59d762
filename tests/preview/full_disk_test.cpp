// Saving and exporting from the window onto a disk that fills up part-way:
// the message names the file and says why, the file that was there before
// is left byte for byte, and no temporary stays behind. The folder of a small
// file system is given by tests/faults/full_disk_test.sh, which mounts it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "band_templates.h"
#include "engine/tfr_report.h"
#include "preview/export_dialog.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

constexpr int kPages = 400;
const QByteArray kPrevious = QByteArray("o arquivo de antes\n").repeated(300);

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = qEnvironmentVariable("ORV_FULL_DISK_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "run by full_disk_test.sh on a small file system";
    TfrPrinter::startUp(nullptr);
    for (int i = 0; i < kPages; ++i)
      tools::addTextPage(report, {"página " + std::to_string(i + 1), "linha de texto do relatório",
                                  std::string(i % 50 + 10, char('a' + i % 26))});
    preview.resize(800, 600);
    preview.Connect(&report);
  }
  void TearDown() override {
    if (!dir.isEmpty()) QFile::remove(dir + "/filler");
  }

  // The previous file at PATH, then the disk filled but for FREE bytes.
  void prepareDisk(const QString& path, qint64 free) {
    for (const QString& f : QDir(dir).entryList(QDir::Files)) QFile::remove(dir + "/" + f);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    ASSERT_EQ(old.write(kPrevious), kPrevious.size());
    old.close();
    QFile filler(dir + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray chunk(64 * 1024, 'x');
    while (filler.write(chunk) == chunk.size()) {
    }
    const QByteArray page(4096, 'x');
    while (filler.write(page) == page.size()) {
    }
    filler.close();
    ASSERT_TRUE(filler.resize(std::max<qint64>(0, filler.size() - free)));
  }

  void expectUntouched(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), kPrevious) << path.toStdString();
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    QStringList expected{QFileInfo(path).fileName(), "filler"};
    expected.sort();
    EXPECT_EQ(names, expected) << names.join(" ").toStdString();
  }

  TfrPreviewForm& form() { return *preview.form(); }
  QString dir;
  TfrReport report;
  TfrPreview preview;
};

TEST_F(FullDiskTest, SaveKeepsTheOldReportAndSaysTheDiskIsFull) {
  const QString path = dir + "/relatorio.frp";
  prepareDisk(path, 8192);
  QString shown;
  form().showError = [&](const QString& text) { shown = text; };
  form().SaveTo(path);
  EXPECT_TRUE(shown.contains(path)) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QString::fromUtf8("não há espaço livre no disco")))
      << shown.toStdString();
  expectUntouched(path);
  // The pages stay in the window, ready for another try elsewhere.
  EXPECT_EQ(form().AllPages(), kPages);
}

TEST_F(FullDiskTest, ExportsKeepTheOldFileAndSayTheDiskIsFull) {
  const QString pdf = dir + "/relatorio.pdf";
  prepareDisk(pdf, 8192);
  std::vector<int> all;
  for (int i = 0; i < kPages; ++i) all.push_back(i);
  QString error;
  EXPECT_EQ(exportPdf(form(), pdf, all, &error), ExportResult::Failed);
  EXPECT_EQ(error, QString::fromUtf8("não há espaço livre no disco"));
  expectUntouched(pdf);

  const QString png = dir + "/pagina.png";
  prepareDisk(png, 8192);
  error.clear();
  EXPECT_EQ(exportPageImage(form(), png, 1, 600, &error), ExportResult::Failed);
  EXPECT_EQ(error, QString::fromUtf8("não há espaço livre no disco"));
  expectUntouched(png);
}

// A long run keeps its finished pages in a temporary file; the disk of that
// file filling up ends the run with the reason, no pages and no file left.
TEST_F(FullDiskTest, ARunWhosePagesFillTheTemporaryFolderEndsWithTheReason) {
  const QString path = dir + "/relatorio.frp";
  prepareDisk(path, 0);
  const QByteArray before = qgetenv("TMPDIR");
  qputenv("TMPDIR", dir.toUtf8());
  TfrReport run;
  run.ShowProgress = false;
  tools::buildBandTemplate(run, tools::BandTemplate::PageBands);
  run.EMFPages.SpillThreshold = 0;
  const bool done = run.PrepareReport();
  qputenv("TMPDIR", before);
  EXPECT_FALSE(done);
  EXPECT_NE(run.LastError.find("arquivo tempor\xE1rio"), std::string::npos) << run.LastError;
  EXPECT_NE(run.LastError.find("n\xE3o h\xE1 espa\xE7o livre no disco"), std::string::npos)
      << run.LastError;
  EXPECT_EQ(run.EMFPages.Count(), 0);
  expectUntouched(path);
}

}  // namespace
}  // namespace orv
