#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "addins/addins.h"
#include "addins/rich_view.h"
#include "engine/tfr_report.h"
#include "prepared/compressor.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

Result frptool(const QStringList& args) {
  QProcess p;
  p.start(ORV_FRPTOOL, args);
  p.waitForFinished(60000);
  return {p.exitCode(), p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

class FrptoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    TfrPrinter::startUp(nullptr);
    TfrLZWCompressor compressor;
    compressor.setEnabled(true);
    TfrReport report;
    report.GeneratorVersion = 88;
    PageSetup a4;
    a4.paper = {9, 2100, 2970, 0, -1};
    a4.useMargins = true;
    a4.margins = {1, 2, 3, 4};
    report.EMFPages.AddPage(a4);
    PageSetup letter;
    letter.paper = {1, 2159, 2794, 1, 2};
    report.EMFPages.AddPage(letter);
    report.EMFPages.Entry(1).Objects().write("\x04xyz", 4);
    file = dir.filePath("r.frp");
    report.SavePreparedReport(file.toStdString());
  }
  QTemporaryDir dir;
  QString file;
};

TEST_F(FrptoolTest, InfoJsonDescribesEveryPage) {
  Result r = frptool({"info", "--json", file});
  ASSERT_EQ(r.code, 0) << r.err;
  QJsonParseError e;
  QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &e);
  ASSERT_EQ(e.error, QJsonParseError::NoError) << r.out;
  QJsonObject o = doc.object();
  EXPECT_EQ(o["version"].toInt(), 25);
  EXPECT_EQ(o["compressed"].toBool(), true);
  EXPECT_EQ(o["printer"].toString(), "Impressora Virtual");
  EXPECT_EQ(o["generator"].toInt(), 88);
  QJsonArray pages = o["pages"].toArray();
  ASSERT_EQ(pages.size(), 2);
  QJsonObject p0 = pages[0].toObject(), p1 = pages[1].toObject();
  EXPECT_EQ(p0["paperSize"].toInt(), 9);
  EXPECT_EQ(p0["useMargins"].toBool(), true);
  EXPECT_EQ(p0["margins"].toArray(), (QJsonArray{1, 2, 3, 4}));
  EXPECT_EQ(p0["paperWidthPx"].toInt(), 758);
  EXPECT_EQ(p0["paperHeightPx"].toInt(), 1071);
  EXPECT_EQ(p0["offsetX"].toInt(), 18);
  EXPECT_EQ(p0["printableWidth"].toInt(), 722);
  EXPECT_EQ(p0["streamBytes"].toInt(), 1);
  EXPECT_EQ(p1["orientation"].toInt(), 1);
  EXPECT_EQ(p1["bin"].toInt(), 2);
  EXPECT_EQ(p1["paperWidth"].toInt(), 2159);
  EXPECT_EQ(p1["streamBytes"].toInt(), 5);
}

TEST_F(FrptoolTest, SaveRoundTripsAndPlainDropsCompression) {
  const QString same = dir.filePath("same.frp"), plain = dir.filePath("plain.frp");
  ASSERT_EQ(frptool({"save", file, same}).code, 0);
  EXPECT_EQ(readFile(file), readFile(same));
  ASSERT_EQ(frptool({"save", same, plain, "--plain"}).code, 0);
  const QByteArray p = readFile(plain);
  ASSERT_GT(p.size(), 2);
  EXPECT_EQ(p[1], 0);
  const QString back = dir.filePath("back.frp");
  ASSERT_EQ(frptool({"save", plain, back}).code, 0);
  EXPECT_EQ(readFile(file), readFile(back));
}

TEST_F(FrptoolTest, ErrorsAndUsage) {
  const QString missing = dir.filePath("missing.frp");
  Result r = frptool({"info", missing});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("frptool: " + missing.toStdString() + ": ", 0), 0u) << r.err;

  QFile bad(dir.filePath("bad.frp"));
  bad.open(QIODevice::WriteOnly);
  bad.write(QByteArray("\x19\x00\x00\x00\x00\xff\xff\xff\x7f", 9));
  bad.close();
  r = frptool({"info", "--json", bad.fileName()});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("page count"), std::string::npos) << r.err;

  EXPECT_EQ(frptool({}).code, 64);
  EXPECT_EQ(frptool({"info"}).code, 64);
  EXPECT_EQ(frptool({"info", file, "extra"}).code, 64);
  EXPECT_EQ(frptool({"nosuchcommand"}).code, 64);
  r = frptool({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "frptool 1.0.1.0\n");
  r = frptool({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("info"), std::string::npos);
}

// Commands that draw one page check only that page: a damaged page elsewhere
// does not stop them, the damaged one fails as the whole file fails for the others.
TEST_F(FrptoolTest, ADamagedPageFailsWhenItIsDrawn) {
  size_t at = 0;
  {
    TfrLZWCompressor compressor;
    TfrReport report;
    report.LoadPreparedReport(file.toStdString());
    ASSERT_GE(report.EMFPages.Entry(1).Stored.size, 11u);
    at = report.EMFPages.Entry(1).Stored.offset;
  }
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.seek(qint64(at) + 4);
  // One block whose first item copies from before the block start.
  f.write(QByteArray("\x05\x00\x40\x80\x00\x00\x13", 7));
  f.close();
  const std::string expected =
      "frptool: " + file.toStdString() + ": page 2: Error reading compressed stream.\n";
  const QString png = dir.filePath("p.png");
  Result r = frptool({"render", file, "-o", png, "-p", "2"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, expected);
  EXPECT_FALSE(QFile::exists(png));
  r = frptool({"info", file});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, expected);
  r = frptool({"render", file, "-o", png, "-p", "1"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(QImage(png).isNull());
}

// The drawing commands on a realistic report: sizes follow the paper, the
// PDF keeps real text, and text, find and dump agree with what was written.
TEST_F(FrptoolTest, DrawingAndTextCommands) {
  TfrReport report;
  tools::buildListing(report, {2, 11, true});
  const QString listing = dir.filePath("listing.frp");
  report.SavePreparedReport(listing.toStdString());

  const QString png = dir.filePath("p.png");
  ASSERT_EQ(frptool({"render", listing, "-o", png, "-p", "2", "--zoom", "50"}).code, 0);
  QImage img(png);
  EXPECT_EQ(img.size(), QSize(379, 536));  // 758 x 1071 at 50 %, halves to even
  ASSERT_EQ(frptool({"thumbnail", listing, dir.filePath("t.png"), "128"}).code, 0);
  EXPECT_EQ(QImage(dir.filePath("t.png")).size(), QSize(91, 128));
  EXPECT_EQ(frptool({"render", listing, "-o", png, "-p", "3"}).code, 2);

  Result text = frptool({"text", listing, "-p", "1"});
  ASSERT_EQ(text.code, 0);
  EXPECT_EQ(text.out.rfind("Relatório de Vendas por Região\n", 0), 0u) << text.out;
  EXPECT_EQ(text.out.find('\f'), std::string::npos);
  EXPECT_NE(frptool({"text", listing}).out.find("\f\n"), std::string::npos);

  Result found = frptool({"find", listing, "PÁGINA 2 DE 2"});
  ASSERT_EQ(found.code, 0) << found.err;
  EXPECT_EQ(found.out.rfind("2\t", 0), 0u) << found.out;
  EXPECT_NE(found.out.find("\tSistema Orvalen — página 2 de 2\n"), std::string::npos);
  EXPECT_EQ(frptool({"find", listing, "PÁGINA 2 DE 2", "--case"}).code, 1);
  EXPECT_EQ(frptool({"find", dir.filePath("none.frp"), "x"}).code, 2);

  Result dump = frptool({"dump", listing, "-p", "1", "--json"});
  ASSERT_EQ(dump.code, 0);
  QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(dump.out)).object();
  QJsonArray objects = o["objects"].toArray();
  ASSERT_GT(objects.size(), 10);
  EXPECT_EQ(objects[0].toObject()["class"].toString(), "TfrPictureView");
  EXPECT_EQ(objects[0].toObject()["image"].toObject()["width"].toInt(), 48);
  QJsonObject title = objects[1].toObject();
  EXPECT_EQ(title["type"].toInt(), 0);
  EXPECT_EQ(title["x"].toInt(), 150);
  EXPECT_EQ(title["properties"].toObject()["Font.Name"].toString(), "Arial");

  const QString pdf = dir.filePath("r.pdf");
  ASSERT_EQ(frptool({"pdf", listing, "-o", pdf, "--pages", "2"}).code, 0);
  if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
    QProcess p;
    p.start("pdftotext", {pdf, "-"});
    p.waitForFinished();
    const QString pdfText = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(pdfText.contains(QString::fromUtf8("página 2 de 2"))) << pdfText.toStdString();
    EXPECT_FALSE(pdfText.contains(QString::fromUtf8("página 1 de 2")));
  }
}

// frptool on a prepared page holding rich text: the text command and the
// search find its words, dump lists its plain text, render draws it.
TEST(FrptoolRichText, TextDumpAndRenderShowRichTextObjects) {
  registerAddIns();
  TfrPrinter::startUp(nullptr);
  QTemporaryDir dir;
  TfrReport report;
  PageSetup a4;
  a4.paper = {9, 2100, 2970, 0, -1};
  report.EMFPages.AddPage(a4);
  MemoryStream& s = report.EMFPages.Entry(0).Objects();
  s.seek(s.size());
  TfrRichView v;
  v.Left = 40, v.Top = 40, v.Width = 400, v.Height = 120;
  v.RichContent = rtf::read(std::string_view(
      "{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs24 Rela\\'e7\\'e3o {\\b anual}\\par "
      "segunda linha}"));
  v.WriteObject(s);
  s.rewind();
  const QString file = dir.filePath("rich.frp");
  report.SavePreparedReport(file.toStdString());

  Result r = frptool({"text", file});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Relação "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("anual"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("segunda linha"), std::string::npos) << r.out;
  EXPECT_EQ(frptool({"find", file, "SEGUNDA"}).code, 0);

  r = frptool({"dump", "--json", file});
  ASSERT_EQ(r.code, 0) << r.err;
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
  const QJsonObject rich = o["objects"].toArray().at(0).toObject();
  EXPECT_EQ(rich["class"].toString(), "TfrRichView");
  EXPECT_EQ(rich["richText"].toString(), QString::fromUtf8("Relação anual\nsegunda linha"));

  const QString png = dir.filePath("rich.png");
  r = frptool({"render", file, "-o", png});
  ASSERT_EQ(r.code, 0) << r.err;
  const QImage img(png);
  ASSERT_FALSE(img.isNull());
  // Ink inside the object's box and nowhere else.
  int inside = 0, outside = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      if (qGray(img.pixel(x, y)) > 128) continue;
      (x >= 40 && x < 440 && y >= 40 && y < 160 ? inside : outside) += 1;
    }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace orv
