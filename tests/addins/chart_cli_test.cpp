// frptool chart end to end: the metafile holds the labels as whole texts,
// and poppler reads the PDF's labels and shows the bars in their colours.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "addins/addin_test_util.h"
#include "charts/chart.h"
#include "platform/emf_player.h"

namespace orv {
namespace {

int frptool(const QStringList& args, std::string* err = nullptr) {
  QProcess p;
  p.start(ORV_FRPTOOL, QStringList{"chart"} + args);
  if (!p.waitForFinished(60000)) return -1;
  if (err) *err = p.readAllStandardError().toStdString();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

const QStringList kLines{"Janeiro;Fevereiro;Março", "120;340;95"};

TEST(FrptoolChart, MetafileHoldsTheLabelsAndOneWedgePerValue) {
  QTemporaryDir dir;
  const QString emf = dir.filePath("pie.emf");
  std::string err;
  ASSERT_EQ(frptool(QStringList{"--kind", "pie", "--3d", "--marks", "2", "-o", emf} + kLines, &err),
            0)
      << err;
  const std::vector<uint8_t> bytes = emftest::readFile(emf.toStdString());
  EXPECT_EQ(emftest::ofType(emftest::records(bytes), emf::EMR_PIE).size(), 3u);
  int marks = 0;
  for (const EmfTextRun& r : enumerateTextRuns(bytes)) marks += r.text == "Mar\xE7o";
  EXPECT_EQ(marks, 2);  // the mark and the legend, in the system code page
}

TEST(FrptoolChart, PopplerReadsThePdfAtPrinterResolution) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty() ||
      QStandardPaths::findExecutable("pdftoppm").isEmpty())
    GTEST_SKIP() << "no poppler";
  QTemporaryDir dir;
  const QString pdf = dir.filePath("bars.pdf");
  ASSERT_EQ(
      frptool(QStringList{"--kind", "bar", "--axes", "--one-color", "--no-legend", "-o", pdf} +
              kLines),
      0);
  QProcess text;
  text.start("pdftotext", {pdf, "-"});
  text.waitForFinished(60000);
  const QString words = QString::fromUtf8(text.readAllStandardOutput());
  for (const char* w : {"Janeiro", "Fevereiro", "Março", "340"})
    EXPECT_TRUE(words.contains(QString::fromUtf8(w))) << w << "\n" << words.toStdString();

  QProcess raster;
  raster.start("pdftoppm", {"-r", "300", "-png", "-singlefile", pdf, dir.filePath("bars")});
  raster.waitForFinished(60000);
  const QImage image(dir.filePath("bars.png"));
  ASSERT_FALSE(image.isNull());
  // The bars keep their colour, and the tallest stands 340/95 as high as
  // the lowest: count the bar colour's pixels column by column.
  const Color bar = chartPaletteColor(0);
  std::vector<int> heights;
  int run = 0;
  for (int x = 0; x < image.width(); ++x) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
      const QRgb p = image.pixel(x, y);
      n += std::abs(qRed(p) - redOf(bar)) < 8 && std::abs(qGreen(p) - greenOf(bar)) < 8 &&
           std::abs(qBlue(p) - blueOf(bar)) < 8;
    }
    if (n > 0 && (heights.empty() || run == 0)) heights.push_back(n);
    if (n > 0) heights.back() = std::max(heights.back(), n);
    run = n;
  }
  ASSERT_EQ(heights.size(), 3u);
  EXPECT_NEAR(double(heights[1]) / heights[2], 340.0 / 95, 0.05);
  EXPECT_NEAR(double(heights[0]) / heights[2], 120.0 / 95, 0.05);
}

TEST(FrptoolChart, RejectsBadCommandLines) {
  QTemporaryDir dir;
  const QString png = dir.filePath("x.png");
  EXPECT_EQ(frptool(QStringList{"--kind", "donut", "-o", png} + kLines), 64);
  EXPECT_EQ(frptool({"--kind", "bar", "-o", png}), 64) << "no lines";
  EXPECT_EQ(frptool(QStringList{"--kind", "bar"} + kLines), 64) << "no output";
  EXPECT_EQ(frptool(QStringList{"--marks", "5", "-o", png} + kLines), 64);
  EXPECT_EQ(frptool(QStringList{"-o", dir.filePath("x.gif")} + kLines), 64);
  EXPECT_FALSE(QFile::exists(png));
  // Negative values are lines, not options.
  EXPECT_EQ(frptool({"--kind", "hbar", "a;b", "-5;3", "-o", png}), 0);
  EXPECT_TRUE(QFile::exists(png));
}

}  // namespace
}  // namespace orv
