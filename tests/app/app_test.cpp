#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/about_box.h"
#include "app/reports.h"
#include "app/translations.h"
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

TEST(TranslationsTest, QtsOwnDialogsSpeakPortuguese) {
  ASSERT_TRUE(installQtTranslations());
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancelar");
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), "Look in:");
  EXPECT_NE(QCoreApplication::translate("QPageSetupWidget", "Orientation"), "Orientation");
  // The input box's own buttons, as a user meets them.
  QInputDialog box;
  box.setInputMode(QInputDialog::IntInput);
  box.show();
  bool cancelar = false;
  for (QPushButton* b : box.findChildren<QPushButton*>()) cancelar |= b->text() == "Cancelar";
  EXPECT_TRUE(cancelar);
}

TEST(AboutTest, VersionAndMailLink) {
  EXPECT_EQ(versionText(2, 10, 0, 315), "2.10.0.315");
  EXPECT_EQ(versionText(1, 0, 1, 0), "1.0.1.0");
  TfSobre about;
  EXPECT_EQ(about.LabelVersao->text(), QString::fromUtf8("Versão 1.0.1.0"));
  EXPECT_TRUE(supportMailUrl().startsWith("mailto:"));
  EXPECT_TRUE(supportMailUrl().endsWith(" ?Subject=Report Reader"));
  EXPECT_GE(about.width(), 362);
  EXPECT_GE(about.height(), 215);
}

TEST(AboutTest, EveryLineShowsWhole) {
  TfSobre about;
  about.show();
  QApplication::processEvents();
  for (QLabel* l : about.findChildren<QLabel*>()) {
    if (l->text().isEmpty()) continue;  // the picture
    const QRect inDialog(l->mapTo(&about, QPoint(0, 0)), l->size());
    EXPECT_TRUE(about.rect().contains(inDialog)) << l->text().toStdString();
    EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
    EXPECT_GE(l->height(), l->sizeHint().height()) << l->text().toStdString();
  }
}

TEST(AboutTest, EveryLineShowsWholeAtScaleFactorTwo) {
  if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") GTEST_SKIP() << "already scaled";
  QProcess self;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_SCALE_FACTOR", "2");
  self.setProcessEnvironment(env);
  self.start(QCoreApplication::applicationFilePath(),
             {"--gtest_filter=AboutTest.EveryLineShowsWhole"});
  ASSERT_TRUE(self.waitForFinished(60000));
  EXPECT_EQ(self.exitCode(), 0) << self.readAllStandardOutput().toStdString();
}

// Runs `act` on the next modal dialog of type T once it is shown.
template <class T>
void whenShown(std::function<void(T&)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!d || !d->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*d);
  });
  timer->start();
}

QPushButton* buttonNamed(QWidget& w, const char* text) {
  for (QPushButton* b : w.findChildren<QPushButton*>())
    if (b->text().remove('&') == QString::fromUtf8(text)) return b;
  return nullptr;
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

QAction* findAction(QWidget& w, const char* text) {
  for (QAction* a : w.findChildren<QAction*>())
    if (a->text() == QString::fromUtf8(text)) return a;
  return nullptr;
}

TEST_F(ViewerTest, TheZoomButtonDownIsTheZoomShown) {
  QAction* fit = findAction(window(), "Página Inteira");
  ASSERT_NE(fit, nullptr);
  fit->trigger();
  EXPECT_EQ(preview().form()->ZoomMode, zmWholePage);
  EXPECT_TRUE(window().SpdPagInteira->isChecked());
  auto noneDown = [&] {
    return !window().Spd100->isChecked() && !window().SpdPagInteira->isChecked() &&
           !window().SpdLargura->isChecked();
  };
  preview().form()->ZoomItemChosen(150);
  EXPECT_TRUE(noneDown());
  preview().form()->ZoomItemChosen(zmTwoPages);
  EXPECT_TRUE(noneDown());
  preview().form()->ZoomItemChosen(100);
  EXPECT_TRUE(window().Spd100->isChecked());
  preview().form()->ZoomItemChosen(zmPageWidth);
  EXPECT_TRUE(window().SpdLargura->isChecked());
}

TEST_F(ViewerTest, OneThingHasOneName) {
  // The tool bar, the menu and the zoom popup name the page-width zoom alike.
  EXPECT_EQ(window().SpdLargura->toolTip(), QString::fromUtf8("Largura da Página"));
  EXPECT_NE(findAction(window(), "Largura da Página"), nullptr);
  bool inPopup = false;
  for (QAction* a : preview().form()->ProcMenu->actions())
    inPopup |=
        a->text().remove('&').compare(window().SpdLargura->toolTip(), Qt::CaseInsensitive) == 0;
  EXPECT_TRUE(inPopup);
  EXPECT_EQ(window().SpdClose->toolTip(), window().SpdClose->text().remove('&'));
}

TEST_F(ViewerTest, CommandsThatNeedPagesAreDisabledWithoutThem) {
  QTemporaryDir dir;
  EXPECT_TRUE(window().SpdPrint->isEnabled());
  preview().LoadFromFile(dir.filePath("nada.frp"));
  ASSERT_EQ(preview().AllPages(), 0);
  for (QToolButton* b : {window().SpdSave, window().SpdPrint, window().SpdFind, window().SpdGoto,
                         window().SpdNext, window().SpdLast, window().Spd100})
    EXPECT_FALSE(b->isEnabled()) << b->toolTip().toStdString();
  for (const char* text :
       {"&Salvar Como", "&Imprimir", "Localizar Texto", "Ir à página", "&Exportar como PDF…",
        "Exportar página como i&magem…", "Expor&tar…", "Ampliar", "&Voltar"}) {
    QAction* a = findAction(window(), text);
    ASSERT_NE(a, nullptr) << text;
    EXPECT_FALSE(a->isEnabled()) << text;
  }
  EXPECT_TRUE(window().SpdOpen->isEnabled());
  EXPECT_TRUE(findAction(window(), "&Abrir")->isEnabled());
  EXPECT_TRUE(window().SpdSobre->isEnabled());
  // A report loaded again enables them again.
  const QString path = dir.filePath("r.frp");
  TfrReport source;
  tools::buildListing(source, {2, 1, false});
  source.SavePreparedReport(path.toStdString());
  preview().LoadFromFile(path);
  EXPECT_TRUE(window().SpdPrint->isEnabled());
  EXPECT_TRUE(findAction(window(), "&Imprimir")->isEnabled());
  EXPECT_TRUE(findAction(window(), "&Exportar como PDF…")->isEnabled());
}

TEST_F(ViewerTest, ActivationPressesSpd100) {
  window().SpdLargura->click();
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&window(), &activate);
  EXPECT_TRUE(window().Spd100->isChecked());
  EXPECT_EQ(preview().form()->ZoomMode, zmCustom);
  EXPECT_DOUBLE_EQ(preview().Zoom(), 100);
}

TEST_F(ViewerTest, FindAndGoToKeepTheZoomWhenTheWindowIsActivatedAgain) {
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&window(), &activate);  // first shown: 100 %
  EXPECT_DOUBLE_EQ(preview().Zoom(), 100);
  window().SpdPagInteira->click();
  whenShown<QInputDialog>([](QInputDialog& box) {
    box.setIntValue(4);
    box.accept();
  });
  window().SpdGoto->click();
  QApplication::sendEvent(&window(), &activate);  // the go-to box has closed
  EXPECT_EQ(preview().Page(), 4);
  EXPECT_EQ(preview().form()->ZoomMode, zmWholePage);
  EXPECT_TRUE(window().SpdPagInteira->isChecked());

  preview().form()->askFind = [](QString& t, bool& c, bool& f) {
    t = "Total";
    c = false;
    f = true;
    return true;
  };
  window().SpdFind->click();
  QApplication::sendEvent(&window(), &activate);  // the find dialog has closed
  EXPECT_EQ(preview().Page(), 1);
  EXPECT_EQ(preview().form()->ZoomMode, zmWholePage);
  EXPECT_EQ(preview().form()->Mark.page, 0);  // the hit is still marked
}

TEST_F(ViewerTest, GoToPageBoxTakesOnlyPagesThatExist) {
  int max = 0;
  QString cancel;
  whenShown<QInputDialog>([&](QInputDialog& box) {
    max = box.intMaximum();
    if (QPushButton* b = buttonNamed(box, "Cancelar")) cancel = b->text();
    auto* spin = box.findChild<QSpinBox*>();
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->value(), 1);  // the current page
    for (const char* bad : {"9999", "0", "abc", "-2"}) {
      spin->selectAll();
      QTest::keyClicks(spin, bad);
      EXPECT_GE(spin->value(), 1) << bad;
      EXPECT_LE(spin->value(), 5) << bad;
    }
    spin->selectAll();
    QTest::keyClicks(spin, "4");
    QTest::keyClick(spin, Qt::Key_Return);
  });
  window().SpdGoto->click();
  EXPECT_EQ(max, 5);
  EXPECT_EQ(cancel, QString::fromUtf8("Cancelar"));
  EXPECT_EQ(preview().Page(), 4);

  whenShown<QInputDialog>([&](QInputDialog& box) {
    box.findChild<QSpinBox*>()->setValue(2);
    buttonNamed(box, "Cancelar")->click();
  });
  window().SpdGoto->click();
  EXPECT_EQ(preview().Page(), 4);  // cancelled: the page stays
}

TEST_F(ViewerTest, EscapeClosesAtOnce) {
  window().show();
  QTimer::singleShot(0, [&] {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(preview().form()->PBox, &esc);
  });
  EXPECT_EQ(window().exec(), QDialog::Rejected);
}

TEST_F(ViewerTest, MissingFileGivesAnEmptyViewerThatSaysSoAndStillOpens) {
  QTemporaryDir dir;
  const QString missing = dir.filePath("nada.frp");
  reports->LoadArgument({missing});
  EXPECT_EQ(preview().AllPages(), 0);
  EXPECT_EQ(window().StatusBar->currentMessage(),
            QString::fromUtf8("Arquivo não encontrado: ") + missing);
  int asked = 0;
  preview().form()->askOpenFile = [&] {
    ++asked;
    return QString();
  };
  window().SpdOpen->click();
  EXPECT_EQ(asked, 1);
}

// A start-up report that gave no pages (its run failed or was cancelled):
// the file named on the command line and Open still load.
TEST(StartupTest, AStartUpReportWithoutPagesStillOpensFiles) {
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
  TfrPrinter::startUp(nullptr);
  TfrLZWCompressor compressor;
  TfrReport source;
  tools::buildListing(source, {4, 2, false});
  const QString path = dir.filePath("argumento.frp");
  source.SavePreparedReport(path.toStdString());

  TfReports reports(QString(), false);  // nothing prepared: no pages were ever shown
  TfrPreview& preview = *reports.fPreview->frPreview;
  ASSERT_EQ(preview.AllPages(), 0);
  reports.LoadArgument({path});
  EXPECT_EQ(preview.AllPages(), 4);
  EXPECT_EQ(preview.FileName(), path);

  TfReports again(QString(), false);
  TfrPreview& other = *again.fPreview->frPreview;
  other.form()->askOpenFile = [&] { return path; };
  again.fPreview->SpdOpen->click();
  EXPECT_EQ(other.AllPages(), 4);
}

// The thumbnailer entry as file managers read it, also when the program lies
// in a folder whose name has blanks and quotes: GNOME's thumbnail factory
// must accept it for our type (it looks TryExec up as a plain path), and
// XFCE's thumbnail service must make the picture with it.
TEST(DesktopIntegrationTest, FileManagersThumbnailServicesUseTheEntry) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("pasta com \"aspas\"");
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString tool = folder + "/frptool";
  ASSERT_TRUE(QFile::copy(ORV_FRPTOOL, tool));
  DesktopIntegration d;
  d.executable = folder + "/orvalen-reader";
  d.thumbnailer = tool;
  d.dataHome = dir.filePath("data");
  d.configHome = dir.filePath("config");
  d.runUpdateTools = true;
  ASSERT_TRUE(d.install().isEmpty());
  QFile entry(d.dataHome + "/thumbnailers/orvalen-reader.thumbnailer");
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  const QByteArray text = entry.readAll();
  EXPECT_TRUE(text.contains("\nTryExec=" + tool.toUtf8() + "\n")) << text.toStdString();

  TfrPrinter::startUp(nullptr);
  TfrReport report;
  tools::buildListing(report, {1, 1, false});
  const QString file = dir.filePath("capa.frp");
  report.SavePreparedReport(file.toStdString());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", dir.filePath("home"));
  env.insert("XDG_DATA_HOME", d.dataHome);
  env.insert("XDG_CONFIG_HOME", d.configHome);
  env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
  env.insert("XDG_DATA_DIRS", d.dataHome + ":/usr/share");
  env.insert("GSETTINGS_BACKEND", "memory");
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start("/usr/bin/python3", {ORV_TEST_SOURCE_DIR "/app/gnome_thumbnail.py", file,
                               DesktopIntegration::kMimeType, dir.filePath("miniatura.png")});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QString said = QString::fromUtf8(p.readAll());
  if (p.exitCode() == 77) GTEST_SKIP() << said.toStdString();
  EXPECT_EQ(p.exitCode(), 0) << said.toStdString();
  EXPECT_TRUE(said.contains("accepted")) << said.toStdString();
  // Making the picture runs the entry in a sandbox that sees only /usr, so
  // it is made only for an installed program; when made, it must be a page.
  if (said.contains("made ") && !said.contains("not made")) {
    const QImage thumb(dir.filePath("miniatura.png"));
    EXPECT_FALSE(thumb.isNull());
  }

  // XFCE's thumbnail service runs the entry as it stands, wherever the
  // program lies: it makes the picture, a page on white.
  QProcess tumbler;
  tumbler.start("bash", {ORV_TEST_SOURCE_DIR "/app/tumbler_thumbnail.sh", file,
                         DesktopIntegration::kMimeType, d.dataHome, dir.filePath("cache")});
  ASSERT_TRUE(tumbler.waitForFinished(60000));
  const QString made = QString::fromUtf8(tumbler.readAllStandardOutput()).trimmed();
  if (tumbler.exitCode() == 77) GTEST_SKIP() << made.toStdString();
  ASSERT_EQ(tumbler.exitCode(), 0) << made.toStdString();
  const QImage thumb(made);
  ASSERT_FALSE(thumb.isNull()) << made.toStdString();
  EXPECT_EQ(std::max(thumb.width(), thumb.height()), 128);
  int white = 0, dark = 0;
  for (int y = 0; y < thumb.height(); ++y)
    for (int x = 0; x < thumb.width(); ++x) {
      const int g = qGray(thumb.pixel(x, y));
      white += g >= 250;
      dark += g < 100;
    }
  EXPECT_GT(white, thumb.width() * thumb.height() / 2);  // the page's white
  EXPECT_GT(dark, 50);                                   // and its print
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

// An installed reader: the system's entries serve the user, the user's own
// folders get the default association only, and copies left there by a start
// from a build folder are pointed at the installed program.
TEST(DesktopIntegrationTest, InstalledProgramUsesTheSystemEntries) {
  QTemporaryDir dir;
  auto makeProgram = [&](const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
  };
  const QString installed = dir.filePath("usr/bin com \"aspas\" e $/orvalen-reader");
  const QString built = dir.filePath("build/src/orvalen-reader");
  makeProgram(installed);
  makeProgram(built);
  const QString system = dir.filePath("usr/share");
  DesktopIntegration packaged;  // what the package ships, written by the same code
  packaged.executable = installed;
  packaged.thumbnailer = QFileInfo(installed).absolutePath() + "/frptool";
  packaged.dataHome = system;
  packaged.configHome = dir.filePath("scratch");
  packaged.runUpdateTools = false;
  ASSERT_TRUE(packaged.install().isEmpty());
  const QString entry = system + "/applications/orvalen-reader.desktop";
  EXPECT_EQ(DesktopIntegration::findSystemEntry(installed, {dir.filePath("none"), system}), entry);
  EXPECT_EQ(DesktopIntegration::findSystemEntry(built, {system}), QString());
  // An entry of the same name earlier in the search order hides ours.
  QDir().mkpath(dir.filePath("local/applications"));
  QFile::copy(entry, dir.filePath("local/applications/orvalen-reader.desktop"));
  EXPECT_EQ(DesktopIntegration::findSystemEntry(installed, {dir.filePath("local"), system}),
            dir.filePath("local/applications/orvalen-reader.desktop"));
  QFile::remove(dir.filePath("local/applications/orvalen-reader.desktop"));
  EXPECT_TRUE(
      DesktopIntegration::findSystemEntry(built, {dir.filePath("local"), system}).isEmpty());

  // A user who never ran a build: only the association is written.
  DesktopIntegration user;
  user.executable = installed;
  user.thumbnailer = packaged.thumbnailer;
  user.dataHome = dir.filePath("home/data");
  user.configHome = dir.filePath("home/config");
  user.systemEntry = entry;
  EXPECT_TRUE(user.install().isEmpty());
  QFile apps(user.configHome + "/mimeapps.list");
  ASSERT_TRUE(apps.open(QIODevice::ReadOnly));
  EXPECT_TRUE(apps.readAll().contains("application/x-orvalen-report=orvalen-reader.desktop"));
  EXPECT_FALSE(QFileInfo::exists(user.dataHome)) << "the user's data folder was written";

  // A user who once ran the reader from a build folder.
  DesktopIntegration earlier = user;
  earlier.systemEntry.clear();
  earlier.executable = built;
  earlier.thumbnailer = QFileInfo(built).absolutePath() + "/frptool";
  earlier.runUpdateTools = false;
  ASSERT_TRUE(earlier.install().isEmpty());
  QFile::remove(user.dataHome + "/icons/hicolor/16x16/mimetypes/application-x-orvalen-report.png");
  user.runUpdateTools = false;
  EXPECT_TRUE(user.install().isEmpty());
  for (const char* name :
       {"/applications/orvalen-reader.desktop", "/thumbnailers/orvalen-reader.thumbnailer"}) {
    QFile f(user.dataHome + name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    const QByteArray text = f.readAll();
    EXPECT_FALSE(text.contains(dir.filePath("build").toUtf8())) << text.toStdString();
    EXPECT_TRUE(text.contains("usr/bin com")) << text.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(
      user.dataHome + "/icons/hicolor/16x16/mimetypes/application-x-orvalen-report.png"));
}

TEST(DesktopIntegrationTest, ExecProgramUndoesQuotingAndEscapes) {
  EXPECT_EQ(DesktopIntegration::execProgram("orvalen-reader %f"), "orvalen-reader");
  EXPECT_EQ(DesktopIntegration::execProgram("\"/a b/\\\\\"x\\\\$\" %f"), "/a b/\"x$");
  EXPECT_EQ(DesktopIntegration::execProgram("\"/a\\\\\\\\b\" %f"), "/a\\b");
  EXPECT_EQ(DesktopIntegration::execProgram("\"/opt/x\\sy/reader\" %f"), "/opt/x y/reader");
  EXPECT_EQ(DesktopIntegration::execProgram("\"/never closed %f"), QString());
}

}  // namespace
}  // namespace orv
