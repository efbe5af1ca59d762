// A run whose data goes bad part-way leaves the pages the window shows as
// they were: the window keeps its own pages while the report runs again.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "band_templates.h"
#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "engine/tfr_report.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

TEST(FailedPrepare, TheWindowKeepsThePagesItShowed) {
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  report.ShowProgress = false;
  for (int i = 1; i <= 3; ++i) tools::addTextPage(report, {"p\xE1gina " + std::to_string(i)});
  TfrPreview preview;
  preview.resize(800, 600);
  preview.Connect(&report);
  preview.SetPage(2);
  ASSERT_EQ(preview.form()->AllPages(), 3);

  // The orders listing over a CSV file cut short in its last record.
  QTemporaryDir dir;
  const QString csv = dir.filePath("orders.csv");
  QFile f(csv);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("ID,CUSTOMER,CITY,AMOUNT,CITY_COUNT\n1,\"Ana\",\"Natal\",10.5,2\n2,\"Bia\",\"Nat");
  f.close();
  tools::buildOrdersListing(report);
  addDatasetDefinition(report.Components, "Orders=csv:" + csv.toStdString(), nullptr);
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_NE(report.LastError.find("ends inside a quoted field of record 2"), std::string::npos)
      << report.LastError;

  EXPECT_EQ(preview.form()->AllPages(), 3);
  EXPECT_EQ(preview.Page(), 2);
  QImage shot(preview.size(), QImage::Format_RGB32);
  preview.render(&shot);  // the pages still draw
}

}  // namespace
}  // namespace orv
