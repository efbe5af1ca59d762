// Barcodes on a page exported by frptool pdf and rasterised by poppler at
// several printer resolutions: zbar reads every one, and the narrowest bar
// is as wide as a module at that resolution.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <set>

#include "addins/barcode.h"
#include "addins/barcode_test_util.h"
#include "engine/tfr_report.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

// Report pixels per inch.
constexpr double kReportDpi = 93 / 1.015;

std::set<std::string> zbarReads(const QString& png) {
  QProcess p;
  p.start(QStandardPaths::findExecutable("zbarimg"), {"--raw", "-q", png});
  p.waitForFinished(120000);
  std::set<std::string> out;
  for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
    if (!line.trimmed().isEmpty()) out.insert(line.trimmed().toStdString());
  return out;
}

TEST(BarcodePdf, ReadsAtEveryPrinterResolution) {
  for (const char* tool : {"zbarimg", "pdftoppm"})
    if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  tools::addBarcodePage(report, {{bcCodeEAN13, "400638133393", true},
                                 {bcCode128B, "Orvalen 1.0"},
                                 {bcCode39, "ORVALEN 39"},
                                 {bcCode93, "CODE 93"},
                                 {bcCode_2_5_interleaved, "12345678"},
                                 {bcCodeEAN8, "5512345", true}});
  const QString frp = dir.filePath("codes.frp");
  report.SavePreparedReport(frp.toStdString());
  const QString pdf = dir.filePath("codes.pdf");
  QProcess tool;
  tool.start(ORV_FRPTOOL, {"pdf", frp, "-o", pdf});
  ASSERT_TRUE(tool.waitForFinished(60000));
  ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

  const std::set<std::string> expected = {"4006381333931", "Orvalen 1.0", "ORVALEN 39",
                                          "CODE 93",       "12345678",    "55123457"};
  for (int dpi : {150, 300, 600}) {
    const QString base = dir.filePath("page" + QString::number(dpi));
    QProcess raster;
    raster.start("pdftoppm",
                 {"-r", QString::number(dpi), "-png", "-singlefile", "-gray", pdf, base});
    ASSERT_TRUE(raster.waitForFinished(120000));
    ASSERT_EQ(raster.exitCode(), 0) << raster.readAllStandardError().toStdString();
    const QString png = base + ".png";
    EXPECT_EQ(zbarReads(png), expected) << "at " << dpi << " dpi";
    // A row through the first barcode, 20 report pixels below its top.
    QImageReader reader(png);
    reader.setAllocationLimit(1024);  // megabytes: a page at 600 dpi is large
    const QImage page = reader.read();
    ASSERT_FALSE(page.isNull()) << dpi << " " << reader.errorString().toStdString();
    const double module = dpi / kReportDpi;
    const test::Runs runs = test::narrowestRuns(page, int((60 + 20) * module));
    EXPECT_NEAR(runs.bar, module, 1.0) << "narrowest bar at " << dpi << " dpi";
    EXPECT_NEAR(runs.space, module, 1.0) << "narrowest space at " << dpi << " dpi";
  }
}

}  // namespace
}  // namespace orv
