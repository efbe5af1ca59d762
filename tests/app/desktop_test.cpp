// The desktop side of the viewer: title, remembered settings, recent files
// (ours and the shared freedesktop list), drag and drop, reload on change.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QXmlStreamReader>
#include <cstdio>

#include "app/recent_files.h"
#include "app/reports.h"
#include "app/viewer_window.h"
#include "platform/settings.h"
#include "prepared/page_search.h"
#include "preview/job_progress.h"
#include "preview/preview.h"
#include "preview/thumbnail_panel.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAtomically(const QString& path, const QByteArray& bytes) {
  QSaveFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  ASSERT_TRUE(f.commit());
}

// Every bookmark of an XBEL list: href -> (our application's count, whole element text).
struct Bookmark {
  int ourCount = 0;
  int applications = 0;
  QString added;
};
std::map<QString, Bookmark> bookmarks(const QByteArray& xml, const QString& app) {
  std::map<QString, Bookmark> out;
  QXmlStreamReader r(xml);
  QString href;
  while (!r.atEnd()) {
    r.readNext();
    if (!r.isStartElement()) continue;
    if (r.name() == u"bookmark") {
      href = r.attributes().value("href").toString();
      out[href].added = r.attributes().value("added").toString();
    } else if (r.name() == u"application" &&
               r.namespaceUri() == u"http://www.freedesktop.org/standards/desktop-bookmarks") {
      ++out[href].applications;
      if (r.attributes().value("name") == app)
        out[href].ourCount = r.attributes().value("count").toInt();
    }
  }
  EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
  return out;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    TfrPrinter::startUp(nullptr);
    lastZoom() = {};
  }
  void TearDown() override { qunsetenv("XDG_DATA_HOME"); }
  // A report of `pages` listing pages saved as a file.
  // (Written over an existing file the way programs replace files: a new file renamed over it.)
  QString saveReport(const QString& name, int pages, uint32_t seed = 1) {
    TfrReport r;
    tools::buildListing(r, {pages, seed, false});
    const QString path = QFileInfo(name).isAbsolute() ? name : dir.filePath(name);
    r.SavePreparedReport(path.toStdString());
    return path;
  }
  std::unique_ptr<TfReports> viewer() {
    auto v = std::make_unique<TfReports>(QString(), false);
    v->ShowReport();
    return v;
  }
  // A shown viewer on a listing of that many pages.
  std::unique_ptr<TfReports> shownViewer(int pages) {
    auto v = std::make_unique<TfReports>(QString(), false);
    tools::buildListing(v->frReport, {pages, 1, false});
    v->fPreview->frPreview->Connect(&v->frReport);
    v->fPreview->show();
    return v;
  }
  QTemporaryDir dir;
  TfrLZWCompressor compressor;
};

TEST_F(DesktopTest, TitleCarriesTheFileName) {
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  EXPECT_EQ(w.windowTitle(), "Report Orvalen 1.0");
  w.frPreview->LoadFromFile(saveReport("relatorio.frp", 2));
  EXPECT_EQ(w.windowTitle(), QString::fromUtf8("relatorio.frp — Report Orvalen 1.0"));
  w.frPreview->Clear();
  EXPECT_EQ(w.windowTitle(), "Report Orvalen 1.0");
  // A file that does not load leaves the report shown before as it was: its
  // pages, its name in the title, its file watched.
  const QString shown = saveReport("relatorio.frp", 2);
  w.frPreview->LoadFromFile(shown);
  QFile bad(dir.filePath("ruim.frp"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("isto não é um relatório");
  bad.close();
  EXPECT_THROW(w.frPreview->LoadFromFile(bad.fileName()), std::exception);
  EXPECT_EQ(w.frPreview->AllPages(), 2);
  EXPECT_EQ(w.frPreview->FileName(), QFileInfo(shown).absoluteFilePath());
  EXPECT_EQ(w.windowTitle(), QString::fromUtf8("relatorio.frp — Report Orvalen 1.0"));
}

TEST_F(DesktopTest, RecentFilesNewestFirstAndInTheDesktopList) {
  const QString a = saveReport("a.frp", 1), b = saveReport("b & c.frp", 1);
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  w.frPreview->LoadFromFile(a);
  w.frPreview->LoadFromFile(b);
  w.frPreview->LoadFromFile(a);
  EXPECT_EQ(RecentFiles().list(), QStringList({a, b}));
  emit w.RecentMenu->aboutToShow();
  ASSERT_EQ(w.RecentMenu->actions().size(), 2);
  EXPECT_EQ(w.RecentMenu->actions()[1]->text(), "&2  b && c.frp");
  // Choosing an entry opens it; one whose file is gone leaves the pages and the list forgets it.
  w.RecentMenu->actions()[1]->trigger();
  EXPECT_EQ(w.frPreview->FileName(), b);
  QFile::remove(a);
  QTimer::singleShot(0, [] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->inherits("QMessageBox")) top->close();
  });
  w.OpenReport(a);
  EXPECT_EQ(w.frPreview->FileName(), b);
  EXPECT_EQ(RecentFiles().list(), QStringList({b}));

  const auto marks = bookmarks(readAll(recentlyUsedPath()), QApplication::applicationName());
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks.at(QUrl::fromLocalFile(a).toString(QUrl::FullyEncoded)).ourCount, 2);
  EXPECT_EQ(marks.at(QUrl::fromLocalFile(b).toString(QUrl::FullyEncoded)).ourCount, 2);
}

TEST_F(DesktopTest, TheSharedListKeepsOtherProgramsEntries) {
  const QString xbel = dir.filePath("recently-used.xbel");
  const QByteArray theirs =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<xbel version=\"1.0\"\n"
      "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
      "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n"
      "  <bookmark href=\"file:///home/u/carta.odt\" added=\"2020-01-01T00:00:00.000000Z\" "
      "modified=\"2020-01-01T00:00:00.000000Z\" visited=\"2020-01-01T00:00:00.000000Z\">\n"
      "    <info><metadata owner=\"http://freedesktop.org\">"
      "<mime:mime-type type=\"application/vnd.oasis.opendocument.text\"/>"
      "<bookmark:groups><bookmark:group>Office</bookmark:group></bookmark:groups>"
      "<bookmark:applications><bookmark:application name=\"LibreOffice\" "
      "exec=\"&apos;soffice %u&apos;\" modified=\"2020-01-01T00:00:00Z\" count=\"7\"/>"
      "</bookmark:applications></metadata></info>\n"
      "  </bookmark>\n"
      "  <bookmark href=\"file:///tmp/r.frp\" added=\"2021-05-05T00:00:00.000000Z\" "
      "modified=\"2021-05-05T00:00:00Z\" visited=\"2021-05-05T00:00:00Z\">\n"
      "    <info><metadata owner=\"http://freedesktop.org\">"
      "<bookmark:applications><bookmark:application name=\"Outro\" exec=\"&apos;x %u&apos;\" "
      "modified=\"2021-05-05T00:00:00Z\" count=\"1\"/></bookmark:applications>"
      "</metadata></info>\n"
      "  </bookmark>\n"
      "</xbel>\n";
  writeAtomically(xbel, theirs);
  RecentUse use{"/tmp/r.frp", "application/x-orvalen-report", "Leitor", "orvalen-reader %u"};
  ASSERT_EQ(addRecentUse(xbel, use), QString());
  ASSERT_EQ(addRecentUse(xbel, use), QString());
  use.file = "/tmp/novo relatório.frp";
  ASSERT_EQ(addRecentUse(xbel, use), QString());
  const QByteArray after = readAll(xbel);
  const auto marks = bookmarks(after, "Leitor");
  ASSERT_EQ(marks.size(), 3u);
  // The other program's entry, group and counter come through untouched.
  EXPECT_EQ(marks.at("file:///home/u/carta.odt").ourCount, 0);
  EXPECT_TRUE(after.contains("<bookmark:group>Office</bookmark:group>")) << after.toStdString();
  EXPECT_TRUE(after.contains("name=\"LibreOffice\" exec=\"'soffice %u'\""));
  EXPECT_TRUE(after.contains("count=\"7\""));
  // A file another program used gets our line beside its own; "added" stays.
  EXPECT_EQ(marks.at("file:///tmp/r.frp").applications, 2);
  EXPECT_EQ(marks.at("file:///tmp/r.frp").ourCount, 2);
  EXPECT_EQ(marks.at("file:///tmp/r.frp").added, "2021-05-05T00:00:00.000000Z");
  EXPECT_EQ(marks.at("file:///tmp/novo%20relat%C3%B3rio.frp").ourCount, 1);

  // A list that does not parse is never overwritten.
  const QByteArray broken = theirs.left(theirs.size() / 2);
  writeAtomically(xbel, broken);
  EXPECT_NE(addRecentUse(xbel, use), QString());
  EXPECT_EQ(readAll(xbel), broken);
}

TEST_F(DesktopTest, ZoomFolderAndGeometryAreRemembered) {
  {
    auto v = viewer();
    TfPreview& w = *v->fPreview;
    w.resize(700, 500);
    w.frPreview->PageWidth();
    w.accept();
  }
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, "ReportEngine",
              QApplication::applicationName());
  EXPECT_EQ(s.value("ZoomMode").toInt(), zmPageWidth);
  rememberDialogFolder(dir.filePath("sub/x.frp"));
  EXPECT_NE(lastDialogFolder(), dir.filePath("sub"));  // no such folder (any more)
  rememberDialogFolder(dir.filePath("x.frp"));
  EXPECT_EQ(lastDialogFolder(), dir.path());
  EXPECT_FALSE(s.value("Geometry").toByteArray().isEmpty());
  lastZoom() = {};
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  w.RestoreWindow();
  EXPECT_EQ(w.size(), QSize(700, 500));
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&w, &activate);
  EXPECT_EQ(w.frPreview->form()->ZoomMode, zmPageWidth);
  EXPECT_TRUE(w.SpdLargura->isChecked());
  // Only the first activation brings it back; later ones (a dialog closing)
  // leave the zoom alone.
  QApplication::sendEvent(&w, &activate);
  EXPECT_EQ(w.frPreview->form()->ZoomMode, zmPageWidth);
  EXPECT_TRUE(w.SpdLargura->isChecked());
}

TEST_F(DesktopTest, DroppingAReportOpensIt) {
  const QString path = saveReport("solto.frp", 3);
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &dropEvent);
    QApplication::processEvents();
    return true;
  };
  EXPECT_FALSE(drop({QUrl::fromLocalFile(dir.filePath("notas.txt"))}));
  EXPECT_FALSE(drop({QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)}));
  EXPECT_FALSE(drop({QUrl("https://example.com/r.frp")}));
  EXPECT_TRUE(drop({QUrl::fromLocalFile(path)}));
  EXPECT_EQ(w.frPreview->AllPages(), 3);
  EXPECT_EQ(w.frPreview->FileName(), path);
}

TEST_F(DesktopTest, ReloadKeepsPageAndZoomAndSurvivesABadFile) {
  const QString path = saveReport("vivo.frp", 5);
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  w.frPreview->resize(800, 600);
  w.frPreview->LoadFromFile(path);
  w.frPreview->SetZoom(150);
  w.frPreview->SetPage(4);
  TfrPreviewForm& f = *w.frPreview->form();
  const int into = 37;
  f.VScrollBar->setValue(f.VScrollBar->value() + into);
  const int before = f.VScrollBar->value();

  // A new version with more pages.
  saveReport(path, 7, 2);
  w.ReloadChangedFile();
  EXPECT_EQ(w.frPreview->AllPages(), 7);
  EXPECT_EQ(w.frPreview->Page(), 4);
  EXPECT_EQ(f.VScrollBar->value(), before);
  EXPECT_DOUBLE_EQ(w.frPreview->Zoom(), 150);
  EXPECT_TRUE(w.StatusBar->currentMessage().contains("recarregado"));

  // Then a damaged one: the seven pages stay and can still be drawn.
  const QByteArray good = readAll(path);
  writeAtomically(path, good.left(good.size() / 2));
  w.ReloadChangedFile();
  EXPECT_EQ(w.frPreview->AllPages(), 7);
  EXPECT_EQ(w.frPreview->Page(), 4);
  EXPECT_TRUE(w.StatusBar->currentMessage().contains(QString::fromUtf8("não pôde ser lido")));
  EXPECT_FALSE(PageTextRuns(*f.Pages, 6).empty());

  // A shorter report keeps as much of the place as it has; it waits for a
  // search or an export running on the old pages to end.
  saveReport(path, 2, 3);
  {
    JobProgress job(&w, "Localizar", 10);
    w.ReloadChangedFile();
    EXPECT_EQ(w.frPreview->AllPages(), 7);
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.frPreview->AllPages() == 2; }, 5000));
  EXPECT_EQ(w.frPreview->AllPages(), 2);
  EXPECT_EQ(w.frPreview->Page(), 2);
}

TEST_F(DesktopTest, TheWatcherNoticesARewrite) {
  const QString path = saveReport("observado.frp", 2);
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  w.frPreview->LoadFromFile(path);
  saveReport(path, 3, 4);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.frPreview->AllPages() == 3; }, 5000));
  // Still watched after the rename that replaced the file.
  saveReport(path, 4, 5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.frPreview->AllPages() == 4; }, 5000));
}

// As the program runs it: the viewer is itself a modal window, and files are
// replaced in every way programs replace them.
TEST_F(DesktopTest, AModalViewerReloadsAFileReplacedInAnyWay) {
  const QString path = saveReport("trocado.frp", 2);
  auto v = viewer();
  TfPreview& w = *v->fPreview;
  w.setWindowModality(Qt::ApplicationModal);
  w.show();
  ASSERT_EQ(QApplication::activeModalWidget(), &w);
  w.frPreview->LoadFromFile(path);
  w.frPreview->SetPage(2);
  auto reloadedTo = [&](int pages) {
    return QTest::qWaitFor([&] { return w.frPreview->AllPages() == pages; }, 5000);
  };

  // Written in place, as cp does.
  const QString three = saveReport("tres.frp", 3, 5);
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(readAll(three));
  }
  EXPECT_TRUE(reloadedTo(3));
  EXPECT_EQ(w.frPreview->Page(), 2);  // at the same page
  EXPECT_TRUE(w.StatusBar->currentMessage().contains("recarregado"));

  // Another file moved onto it, as mv does.
  const QString four = saveReport("quatro.frp", 4, 6);
  ASSERT_EQ(::rename(QFile::encodeName(four).constData(), QFile::encodeName(path).constData()), 0);
  EXPECT_TRUE(reloadedTo(4));

  // Renamed onto it twice in a row, as editors and frptool save do.
  saveReport(path, 5, 7);
  EXPECT_TRUE(reloadedTo(5));
  saveReport(path, 6, 8);
  EXPECT_TRUE(reloadedTo(6));

  // A damaged version keeps the pages and says why; the next good one loads.
  const QByteArray good = readAll(path);
  writeAtomically(path, good.left(good.size() / 2));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return w.StatusBar->currentMessage().contains(QString::fromUtf8("não pôde ser lido"));
      },
      5000));
  EXPECT_EQ(w.frPreview->AllPages(), 6);
  saveReport(path, 2, 9);
  EXPECT_TRUE(reloadedTo(2));
  // Other files of the folder changing reload nothing, nor does saving the
  // shown report over its own file.
  w.StatusBar->clearMessage();
  saveReport("vizinho.frp", 1);
  w.frPreview->form()->askSaveFile = [&] { return path; };
  w.frPreview->SaveFile();
  QTest::qWait(1000);
  EXPECT_TRUE(w.StatusBar->currentMessage().isEmpty())
      << w.StatusBar->currentMessage().toStdString();
  EXPECT_EQ(w.frPreview->AllPages(), 2);
  w.hide();
}

TEST_F(DesktopTest, EscapeCancelsALongSearchAndLeavesTheViewerOpen) {
  auto v = shownViewer(1500);
  TfPreview& w = *v->fPreview;
  TfrPreviewForm& f = *w.frPreview->form();
  f.askFind = [](QString& t, bool& c, bool& first) {
    t = "QXZJWKVQ";
    c = false;
    first = true;
    return true;
  };
  const int before = JobProgress::showAfterMs;
  JobProgress::showAfterMs = 0;
  QString caption;
  // Runs at the first events the search lets through: those of its window.
  QTimer::singleShot(0, [&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->isVisible() && top->inherits("QProgressDialog")) {
        caption = top->windowTitle();
        QTest::keyClick(top, Qt::Key_Escape);
      }
  });
  w.frPreview->Find();
  JobProgress::showAfterMs = before;
  EXPECT_EQ(caption, "Localizar");
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.StatusBar->currentMessage(), "Busca cancelada");
  EXPECT_LT(f.Search.FindPage, 1500);
  EXPECT_GT(f.SearchRuns.bytes(), 0u);

  f.askFind = [](QString& t, bool& c, bool& first) {
    t = "QXZJWKVQ";
    c = false;
    first = false;  // from the current page: page 1, the same pages again
    return true;
  };
  w.frPreview->Find();
  EXPECT_EQ(w.StatusBar->currentMessage(), QString::fromUtf8("Texto não encontrado"));
  EXPECT_EQ(f.Search.FindPage, 1500);
  EXPECT_EQ(w.frPreview->Page(), 1);
}

TEST_F(DesktopTest, EscapeTypedBeforeTheProgressWindowShowsIsDropped) {
  auto v = shownViewer(1500);
  TfPreview& w = *v->fPreview;
  w.frPreview->form()->askFind = [](QString& t, bool& c, bool& first) {
    t = "QXZJWKVQ";
    c = false;
    first = true;
    return true;
  };
  const int before = JobProgress::showAfterMs;
  JobProgress::showAfterMs = 1000000;  // the window never comes
  // Waiting in the queue while the search runs, as a key typed meanwhile does.
  QCoreApplication::postEvent(w.frPreview->form()->PBox,
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  w.frPreview->Find();
  JobProgress::showAfterMs = before;
  QApplication::processEvents();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.StatusBar->currentMessage(), QString::fromUtf8("Texto não encontrado"));
}

TEST_F(DesktopTest, ZoomKeysAndMenuEntries) {
  auto v = shownViewer(3);
  TfPreview& w = *v->fPreview;
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QWidget* box = w.frPreview->form()->PBox;
  QTest::keyClick(box, Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(w.frPreview->Zoom(), 125);
  QTest::keyClick(box, Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(w.frPreview->Zoom(), 150);
  QTest::keyClick(box, Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(w.frPreview->Zoom(), 75);
  QTest::keyClick(box, Qt::Key_0, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(w.frPreview->Zoom(), 100);
  QStringList view;
  QStringList keys;
  for (QAction* a : w.findChildren<QAction*>()) {
    view << a->text();
    keys << a->shortcut().toString();
  }
  EXPECT_TRUE(view.contains("Ampliar"));
  EXPECT_TRUE(view.contains("Reduzir"));
  EXPECT_TRUE(keys.contains("Alt+Left"));
  EXPECT_TRUE(keys.contains("F4"));
}

TEST_F(DesktopTest, ThumbnailsAreHiddenAtStartDrawnLazilyAndLeadToTheirPage) {
  auto v = shownViewer(2000);
  TfPreview& w = *v->fPreview;
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  ThumbnailPanel& panel = *w.Thumbnails;
  EXPECT_TRUE(panel.isHidden());
  EXPECT_EQ(panel.Model->drawn(), 0);
  QTest::keyClick(w.frPreview->form()->PBox, Qt::Key_F4);
  ASSERT_TRUE(panel.isVisible());
  EXPECT_TRUE(w.ShowThumbnails->isChecked());
  QTest::qWait(50);
  // The pages start right beside the thumbnails, with no empty band between.
  const int gap =
      w.frPreview->mapTo(&w, QPoint(0, 0)).x() - panel.mapTo(&w, QPoint(panel.width(), 0)).x();
  EXPECT_LE(gap, w.Splitter->handleWidth() + 2);
  EXPECT_EQ(panel.Model->rowCount(), 2000);
  // Only the thumbnails in sight are drawn, not two thousand.
  const int inSight = panel.height() / ThumbnailModel::kThumbSize.height() + 2;
  EXPECT_GT(panel.Model->drawn(), 0);
  EXPECT_LE(panel.Model->drawn(), inSight + 2);

  const QModelIndex second = panel.Model->index(1);
  QTest::mouseClick(panel.viewport(), Qt::LeftButton, {}, panel.visualRect(second).center());
  EXPECT_EQ(w.frPreview->Page(), 2);
  // The panel follows the page the preview shows, far down too.
  w.frPreview->SetPage(1500);
  EXPECT_EQ(panel.currentIndex().row(), 1499);
  QTest::qWait(50);
  EXPECT_TRUE(panel.viewport()->rect().intersects(panel.visualRect(panel.currentIndex())));
  EXPECT_LE(panel.Model->drawn(), 3 * inSight + 4);

  QTest::keyClick(w.frPreview->form()->PBox, Qt::Key_F4);
  EXPECT_TRUE(panel.isHidden());
  // A report loaded while the panel is hidden is read when it is shown again.
  w.frPreview->LoadFromFile(saveReport("outro.frp", 3));
  QTest::keyClick(w.frPreview->form()->PBox, Qt::Key_F4);
  EXPECT_EQ(panel.Model->rowCount(), 3);
}

}  // namespace
}  // namespace orv
