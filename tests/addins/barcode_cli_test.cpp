// frptool barcode end to end: the PNG it writes is read back by zbar.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "tool_run.h"

namespace {

using orv::ToolRun;

ToolRun frptool(const QStringList& args) {
  return orv::runFrptool(QStringList{"barcode"} + args);
}

std::string zbar(const QString& file) {
  QProcess p;
  p.start(QStandardPaths::findExecutable("zbarimg"), {"--raw", "-q", file});
  p.waitForFinished(60000);
  return p.readAllStandardOutput().trimmed().toStdString();
}

TEST(FrptoolBarcode, WritesAPngThatDecodesToTheEncodedText) {
  if (QStandardPaths::findExecutable("zbarimg").isEmpty()) GTEST_SKIP() << "no zbarimg";
  QTemporaryDir dir;
  const QString png = dir.filePath("ean.png");
  ToolRun r = frptool({"EAN13", "400638133393", "--checksum", "-o", png});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "4006381333931\n");
  EXPECT_EQ(zbar(png), "4006381333931");

  // By number, turned, wider: the image is as high as the bars are long.
  const QString turned = dir.filePath("c128.png");
  r = frptool({"6", "Orvalen 1.0", "--angle", "90", "--modul", "2", "-o", turned});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(zbar(turned), "Orvalen 1.0");
  const QImage image(turned);
  EXPECT_GT(image.height(), image.width());

  const QString named = dir.filePath("c39.png");
  r = frptool({"Code39 Extended", "ab", "-o", named, "--height", "30"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(zbar(named), "+A+B");
}

TEST(FrptoolBarcode, RejectsBadCommandLinesAndBadTexts) {
  QTemporaryDir dir;
  const QString png = dir.filePath("x.png");
  EXPECT_EQ(frptool({"23", "1", "-o", png}).code, 64);
  EXPECT_EQ(frptool({"Qr", "1", "-o", png}).code, 64);
  EXPECT_EQ(frptool({"EAN13", "1"}).code, 64) << "no output file";
  EXPECT_EQ(frptool({"EAN13", "1", "--modul", "50", "-o", png}).code, 64);
  EXPECT_EQ(frptool({"EAN13", "1", "--angle", "north", "-o", png}).code, 64);
  const ToolRun r = frptool({"EAN13", "12a", "-o", png});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("Barcode must be numeric"), std::string::npos) << r.err;
  EXPECT_FALSE(QFile::exists(png));
}

}  // namespace
