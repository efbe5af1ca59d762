// The commands that neither print nor open windows start without Qt's
// widgets, its printing classes and the spooler library; print and printers
// load them in their helper program. The dynamic loader says what it loaded.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "engine/tfr_report.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

// The libraries the loader initialised while frptool ran `args`.
QString loadedBy(const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LD_DEBUG", "libs");
  p.setProcessEnvironment(env);
  p.start(ORV_FRPTOOL, args);
  p.waitForFinished(60000);
  QString loaded;
  for (const QString& line : QString::fromLocal8Bit(p.readAllStandardError()).split('\n'))
    if (line.contains("calling init:")) loaded += line.section("calling init:", 1).trimmed() + '\n';
  return loaded;
}

TEST(FrptoolLinkage, OnlyPrintingCommandsLoadWidgetsPrintSupportAndCups) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  tools::addTextPage(report, {"Página 1"});
  const QString frp = dir.filePath("r.frp");
  report.SavePreparedReport(frp.toStdString());

  const QStringList heavy = {"libQt6Widgets", "libQt6PrintSupport", "libcups"};
  const QList<QStringList> light = {{"info", frp},
                                    {"render", frp, "-o", dir.filePath("r.png")},
                                    {"pdf", frp, "-o", dir.filePath("r.pdf")},
                                    {"text", frp},
                                    {"find", frp, "1"},
                                    {"dump", frp, "-p", "1"},
                                    {"save", frp, dir.filePath("s.frp")},
                                    {"barcode", "EAN13", "1", "-o", dir.filePath("b.png")}};
  for (const QStringList& args : light) {
    const QString loaded = loadedBy(args);
    ASSERT_TRUE(loaded.contains("libQt6Core")) << "no loader report for " << args[0].toStdString();
    for (const QString& lib : heavy)
      EXPECT_FALSE(loaded.contains(lib)) << args[0].toStdString() << " loads " << lib.toStdString();
  }
  const QString printers = loadedBy({"printers"});
  EXPECT_TRUE(printers.contains("libQt6PrintSupport")) << printers.toStdString();
  EXPECT_TRUE(printers.contains("libcups")) << printers.toStdString();
}

}  // namespace
}  // namespace orv
