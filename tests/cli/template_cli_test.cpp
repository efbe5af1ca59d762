#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "engine/tfr_report.h"
#include "model/views.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

ToolRun frptool(const QStringList& args) {
  QProcess p;
  p.start(ORV_FRPTOOL, args);
  p.waitForFinished(60000);
  return {p.exitCode(), p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

class GhostView : public TfrView {
 public:
  const char* ClassName() const override { return "TfrGhostView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<GhostView>(); }
  void Draw(Canvas&) override {}
};

class TemplateCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    TfrPrinter::startUp(nullptr);
    tools::buildSampleTemplate(report);
  }
  QString write(const char* name) {
    const QString path = dir.filePath(name);
    report.SaveToFile(path.toStdString());
    return path;
  }
  QTemporaryDir dir;
  TfrReport report;
};

TEST_F(TemplateCliTest, JsonDescribesPagesObjectsDictionaryAndInformation) {
  const QString path = write("vendas.frf");
  const ToolRun r = frptool({"template", "--json", path});
  ASSERT_EQ(r.code, 0) << r.err;
  QJsonParseError e;
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &e).object();
  ASSERT_EQ(e.error, QJsonParseError::NoError) << r.out;
  EXPECT_EQ(o["version"].toInt(), 25);
  EXPECT_EQ(o["printer"].toString(), "Impressora Virtual");
  const QJsonObject info = o["info"].toObject();
  EXPECT_EQ(info["comment"].toString(), QString::fromUtf8("Vendas do mês por cliente"));
  EXPECT_EQ(info["created"].toString(), "2025-12-09T12:00:00");
  EXPECT_EQ(info["writerVersion"].toInt(), 88);
  EXPECT_FALSE(info["passwordRequired"].toBool());
  const QJsonArray vars = o["dictionary"].toObject()["variables"].toArray();
  ASSERT_EQ(vars.size(), 3);
  EXPECT_EQ(vars[1].toObject()["name"].toString(), "Total");
  EXPECT_EQ(vars[1].toObject()["value"].toString(), "1 + 2");

  const QJsonArray pages = o["pages"].toArray();
  ASSERT_EQ(pages.size(), 3);
  const QJsonObject p0 = pages[0].toObject();
  EXPECT_EQ(p0["paperSize"].toInt(), 9);
  EXPECT_EQ(p0["margins"].toArray()[3].toInt(), 20);
  EXPECT_EQ(pages[1].toObject()["columns"].toInt(), 2);
  EXPECT_EQ(pages[2].toObject()["kind"].toString(), "dialog");
  EXPECT_EQ(pages[2].toObject()["script"].toArray().size(), 3);
  const QJsonArray objects = p0["objects"].toArray();
  ASSERT_EQ(objects.size(), 9);
  const QJsonObject data = objects[3].toObject();
  EXPECT_EQ(data["kind"].toString(), "band");
  EXPECT_EQ(data["bandType"].toInt(), 5);
  EXPECT_EQ(data["dataSource"].toString(), "5");
  const QJsonObject row = objects[4].toObject();
  EXPECT_EQ(row["class"].toString(), "TfrMemoView");
  EXPECT_EQ(row["top"].toInt(), 122);
  EXPECT_EQ(row["memo"].toArray()[1].toString(), "[Total]");
  EXPECT_EQ(row["script"].toArray().size(), 2);
}

TEST_F(TemplateCliTest, TextNamesEveryPageAndObject) {
  const ToolRun r = frptool({"template", write("vendas.frf")});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* want :
       {"template version 25", "page 1 \"Page1\": report page, paper 9", "page 3 \"Page3\": dialog",
        "band \"MasterData1\" TfrBandView at (0, 120)", "memo   [Total]",
        "variable \"Total\" = \"1 + 2\""})
    EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
}

TEST_F(TemplateCliTest, PasswordComesOnlyFromTheCommandLine) {
  report.PasswordText = "segredo";
  report.PasswordRequired = 1;
  const QString path = write("protegido.frf");
  const ToolRun none = frptool({"template", path});
  EXPECT_EQ(none.code, 2);
  EXPECT_EQ(none.err, "frptool: " + path.toStdString() +
                          ": the template needs a password (give it with --password)\n");
  EXPECT_TRUE(none.out.empty());
  const ToolRun wrong = frptool({"template", path, "--password", "errado"});
  EXPECT_EQ(wrong.code, 2);
  EXPECT_EQ(wrong.err, "frptool: " + path.toStdString() + ": wrong password\n");
  const ToolRun right = frptool({"template", "--password", "segredo", "--json", path});
  EXPECT_EQ(right.code, 0) << right.err;
  EXPECT_NE(right.out.find("\"passwordRequired\":true"), std::string::npos);
}

TEST_F(TemplateCliTest, DamagedTemplateIsAFailureNamingTheFile) {
  const QString path = dir.filePath("ruim.frf");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("\x19\x00\x00\x00\x00\x01\x00\x01\x00\x64", 10);
  f.close();
  const ToolRun r = frptool({"template", path});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("frptool: " + path.toStdString() + ": unknown block marker 100", 0), 0u)
      << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST_F(TemplateCliTest, UnregisteredClassesAreReportedButTheRestIsShown) {
  tools::place<GhostView>(report.Pages.Page(0), "Fantasma", 0, 0, 10, 10);
  const ToolRun r = frptool({"template", "--json", write("fantasma.frf")});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.err.find("left out: TfrGhostView"), std::string::npos) << r.err;
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
  EXPECT_EQ(o["missingClasses"].toArray()[0].toString(), "TfrGhostView");
  EXPECT_EQ(o["pages"].toArray()[0].toObject()["objects"].toArray().size(), 9);
}

}  // namespace
}  // namespace orv
