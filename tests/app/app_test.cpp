#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "app/about_box.h"
#include "app/reports.h"
#include "app/viewer_window.h"
#include "platform/desktop_integration.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

TEST(StartupTest, ExtensionTest) {
  for (const char* ok : {"a.frp", "/x/y/RELAT.FRP", "b.Frp", "c.frpx", "dir.v2/r.frp"})
    EXPECT_TRUE(isPreparedReportArgument(ok)) << ok;
  for (const char* no : {"a.txt", "/x/y/noext", "frp", "dir.frp/file", ""})
    EXPECT_FALSE(isPreparedReportArgument(no)) << no;
}

TEST(AboutTest, VersionAndMailLink) {
  EXPECT_EQ(versionText(2, 10, 0, 315), "2.10.0.315");
  EXPECT_EQ(versionText(1, 0, 1, 0), "1.0.1.0");
  TfSobre about;
  EXPECT_EQ(about.LabelVersao->text(), QString::fromUtf8("Versão 1.0.1.0"));
  EXPECT_TRUE(supportMailUrl().startsWith("mailto:"));
  EXPECT_TRUE(supportMailUrl().endsWith(" ?Subject=Report Reader"));
  EXPECT_EQ(about.size(), QSize(362, 215));
}

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Closing the window writes the user's settings; never into the real ones.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    TfrPrinter::startUp(nullptr);
    reports = std::make_unique<TfReports>(QString(), false);
    tools::buildListing(reports->frReport, {5, 3, false});
    reports->fPreview->frPreview->Connect(&reports->frReport);
  }
  TfPreview& window() { return *reports->fPreview; }
  TfrPreview& preview() { return *window().frPreview; }
  QTemporaryDir settingsDir;
  std::unique_ptr<TfReports> reports;
};

TEST_F(ViewerTest, CoverPageIsShownWithoutArguments) {
  TfReports fresh(QString(), false);
  fresh.ShowReport();
  EXPECT_EQ(fresh.fPreview->frPreview->AllPages(), 1);
  EXPECT_EQ(fresh.fPreview->frPreview->Page(), 1);
}

TEST_F(ViewerTest, ButtonsReachThePreview) {
  window().SpdLast->click();
  EXPECT_EQ(preview().Page(), 5);
  window().SpdPrior->click();
  EXPECT_EQ(preview().Page(), 4);
  window().SpdFirst->click();
  EXPECT_EQ(preview().Page(), 1);
  window().SpdNext->click();
  EXPECT_EQ(preview().Page(), 2);
  window().SpdPagInteira->click();
  EXPECT_EQ(preview().form()->ZoomMode, zmWholePage);
  EXPECT_TRUE(window().SpdPagInteira->isChecked());
  EXPECT_FALSE(window().Spd100->isChecked());
  window().SpdLargura->click();
  EXPECT_EQ(preview().form()->ZoomMode, zmPageWidth);
  window().Spd100->click();
  EXPECT_DOUBLE_EQ(preview().Zoom(), 100);
}

TEST_F(ViewerTest, MenuZoomLeavesTheButtonsAlone) {
  QAction* fit = nullptr;
  for (QAction* a : window().findChildren<QAction*>())
    if (a->text() == QString::fromUtf8("Página Inteira")) fit = a;
  ASSERT_NE(fit, nullptr);
  fit->trigger();
  EXPECT_EQ(preview().form()->ZoomMode, zmWholePage);
  EXPECT_TRUE(window().Spd100->isChecked());
}

TEST_F(ViewerTest, ActivationPressesSpd100) {
  window().SpdLargura->click();
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&window(), &activate);
  EXPECT_TRUE(window().Spd100->isChecked());
  EXPECT_EQ(preview().form()->ZoomMode, zmCustom);
  EXPECT_DOUBLE_EQ(preview().Zoom(), 100);
}

TEST_F(ViewerTest, GoToPageBox) {
  window().GotoPageText("3");
  EXPECT_EQ(preview().Page(), 3);
  for (const char* bad : {"0", "-2", "6", "99"}) {
    window().GotoPageText(bad);
    EXPECT_EQ(preview().Page(), 3) << bad;
  }
  window().GotoPageText("abc");
  EXPECT_EQ(preview().Page(), 1);
  window().askPage = [](const QString& initial) {
    EXPECT_EQ(initial, "1");
    return QString("4");
  };
  window().SpdGoto->click();
  EXPECT_EQ(preview().Page(), 4);
}

TEST_F(ViewerTest, EscapeClosesAtOnce) {
  window().show();
  QTimer::singleShot(0, [&] {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(preview().form()->PBox, &esc);
  });
  EXPECT_EQ(window().exec(), QDialog::Rejected);
}

TEST_F(ViewerTest, MissingFileGivesAnEmptyViewer) {
  QTemporaryDir dir;
  preview().LoadFromFile(dir.filePath("nada.frp"));
  EXPECT_EQ(preview().AllPages(), 0);
}

// The association, checked with the freedesktop tools themselves.
TEST(DesktopIntegrationTest, ToolsAcceptTheAssociation) {
  QTemporaryDir dir;
  const QString exe = dir.filePath("pasta com \"aspas\" e $ /orvalen-reader");
  DesktopIntegration d;
  d.executable = exe;
  d.dataHome = dir.filePath("data");
  d.configHome = dir.filePath("config");
  const QStringList problems = d.install();
  EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
  const QString desktop = d.dataHome + "/applications/orvalen-reader.desktop";
  QFile f(desktop);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray first = f.readAll();
  f.close();
  EXPECT_TRUE(first.contains(
      "Exec=\"" + dir.filePath("pasta com \\\\\"aspas\\\\\" e \\\\$ /orvalen-reader").toUtf8() +
      "\" %f"))
      << first.toStdString();

  const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
  if (!validate.isEmpty()) {
    QProcess p;
    p.start(validate, {desktop});
    p.waitForFinished();
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString();
  }
  const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
  if (!xdgMime.isEmpty()) {
    QFile report(dir.filePath("teste.frp"));
    report.open(QIODevice::WriteOnly);
    report.write("\x19\x01");
    report.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", d.dataHome);
    env.insert("XDG_CONFIG_HOME", d.configHome);
    env.insert("XDG_DATA_DIRS", d.dataHome + ":/usr/share");
    env.insert("XDG_CURRENT_DESKTOP", "X-Generic");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(xdgMime, {"query", "filetype", report.fileName()});
    p.waitForFinished();
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), DesktopIntegration::kMimeType);
    p.start(xdgMime, {"query", "default", DesktopIntegration::kMimeType});
    p.waitForFinished();
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), DesktopIntegration::kDesktopId);
  }

  // A second start writes the same content again.
  EXPECT_TRUE(d.install().isEmpty());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), first);
  QFile apps(d.configHome + "/mimeapps.list");
  ASSERT_TRUE(apps.open(QIODevice::ReadOnly));
  EXPECT_EQ(apps.readAll().count("application/x-orvalen-report="), 1);
}

}  // namespace
}  // namespace orv
