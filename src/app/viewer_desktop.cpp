#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/recent_files.h"
#include "app/reports.h"
#include "app/viewer_window.h"
#include "platform/codepage.h"
#include "platform/desktop_integration.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "prepared/frp_error.h"
#include "preview/job_progress.h"
#include "preview/preview.h"
#include "preview/thumbnail_panel.h"

namespace orv {

namespace {
constexpr const char* kGeometry = "Geometry";
constexpr const char* kZoomMode = "ZoomMode";
constexpr const char* kZoomScale = "ZoomScale";
// Writers save in several steps; the file is read once it has been quiet
// this long, and a file that is briefly missing (replaced by a rename) is
// looked for again a few times before the reader gives up on it.
constexpr int kReloadDelayMs = 400;
constexpr int kReloadTries = 10;
constexpr int kStatusMs = 8000;

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The single ".frp" file a drag carries, or nothing.
QString droppedReport(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  return isPreparedReportArgument(path) ? path : QString();
}
}  // namespace

void TfPreview::setUpDesktop() {
  setAcceptDrops(true);
  Splitter = new QSplitter(Qt::Horizontal);
  Thumbnails = new ThumbnailPanel(frPreview);
  Thumbnails->hide();
  Splitter->addWidget(Thumbnails);
  Splitter->addWidget(frPreview);
  Splitter->setStretchFactor(1, 1);
  Splitter->setChildrenCollapsible(false);
  auto previous = frPreview->OnPageChanged;
  frPreview->OnPageChanged = [this, previous](TfrPreview& p, int page) {
    if (previous) previous(p, page);
    Thumbnails->setCurrentPage(page);
  };
  StatusBar = new QStatusBar;
  StatusBar->setSizeGripEnabled(false);
  watcher_ = new QFileSystemWatcher(this);
  reloadTimer_ = new QTimer(this);
  reloadTimer_->setSingleShot(true);
  reloadTimer_->setInterval(kReloadDelayMs);
  // The folder is watched beside the file: editors and `frptool save` write a
  // new file and rename it onto the name, which the file's own watch (on the
  // old file) never sees.
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TfPreview::fileMayHaveChanged);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TfPreview::fileMayHaveChanged);
  connect(reloadTimer_, &QTimer::timeout, this, &TfPreview::ReloadChangedFile);
  frPreview->OnReportChanged = [this](TfrPreview&) { reportChanged(); };
  frPreview->OnStatus = [this](const QString& text) { showStatus(text); };
  // Saving over the shown file is no change from outside: nothing to reload.
  frPreview->OnSaved = [this](const QString& path) {
    if (path == watchedFile_) {
      readStamp_ = stampOf(path);
      watchFile(path);
    }
  };
  connect(RecentMenu, &QMenu::aboutToShow, this, &TfPreview::fillRecentMenu);
  fillRecentMenu();
}

void TfPreview::showStatus(const QString& text) {
  StatusBar->showMessage(text, kStatusMs);
}

void TfPreview::reportChanged() {
  Thumbnails->reportChanged();
  const QString file = frPreview->FileName();
  setWindowTitle(file.isEmpty() ? loadString(101)
                                : QFileInfo(file).fileName() + u(" — ") + loadString(101));
  if (file != watchedFile_) {
    // Another file (or none): what was read is the file as it is now. A
    // reload keeps the stamp taken before it read, so a write during the
    // reading is still noticed.
    reloadTimer_->stop();
    readStamp_ = stampOf(file);
  }
  watchFile(file);
  if (file.isEmpty()) return;
  RecentFiles().add(file);
  const QString problem = addRecentUse(
      recentlyUsedPath(), {file, DesktopIntegration::kMimeType, QApplication::applicationName(),
                           QFileInfo(QApplication::applicationFilePath()).fileName() + " %u"});
  // The desktop's list is a courtesy; a list it cannot read stays as it is.
  if (!problem.isEmpty())
    std::fprintf(stderr, "orvalen-reader: %s: %s\n", qPrintable(recentlyUsedPath()),
                 qPrintable(problem));
}

TfPreview::FileStamp TfPreview::stampOf(const QString& file) {
  struct stat st;
  if (file.isEmpty() || ::stat(QFile::encodeName(file).constData(), &st) != 0) return {};
  return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
          qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void TfPreview::watchFile(const QString& file) {
  // Watches are re-armed every time: after a rename onto the name the old
  // watch follows the old file, which no longer has the name.
  if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  watchedFile_ = file;
  if (file.isEmpty()) return;
  watcher_->addPath(QFileInfo(file).absolutePath());
  if (QFileInfo::exists(file)) watcher_->addPath(file);
}

void TfPreview::fileMayHaveChanged() {
  if (watchedFile_.isEmpty()) return;
  // Other files of the folder change too; only a change of the shown one counts.
  if (stampOf(watchedFile_) == readStamp_) return;
  if (QFileInfo::exists(watchedFile_) && !watcher_->files().contains(watchedFile_))
    watcher_->addPath(watchedFile_);
  reloadTries_ = 0;
  // Every further change starts the wait again: a file is read once quiet.
  reloadTimer_->start();
}

void TfPreview::ReloadChangedFile() {
  const QString file = frPreview->FileName();
  if (file.isEmpty()) return;
  // Never under a search, an export, a print or any dialog: they hold pages
  // of the old report (printing even holds the whole store). Later, then.
  // The viewer itself runs modally; only a window above it counts.
  QWidget* modal = QApplication::activeModalWidget();
  if (JobProgress::busy() || (modal && modal != this) || !frPreview->form()->Pages) {
    reloadTimer_->start();
    return;
  }
  if (!QFileInfo::exists(file)) {
    if (++reloadTries_ < kReloadTries) {
      reloadTimer_->start();
    } else {
      showStatus(u("O arquivo %1 não existe mais; as páginas continuam à vista.")
                     .arg(QFileInfo(file).fileName()));
    }
    return;
  }
  // A file replaced by a rename is a new file: it is watched again, and this
  // version is the one read, whether it loads or not.
  readStamp_ = stampOf(file);
  watchFile(file);
  QString error;
  if (frPreview->form()->ReloadFile(&error))
    showStatus(u("O arquivo mudou no disco e foi recarregado."));
  else
    showStatus(u("O arquivo mudou no disco, mas não pôde ser lido (%1); as páginas anteriores "
                 "continuam à vista.")
                   .arg(error));
}

void TfPreview::OpenReport(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    RecentFiles().remove(path);
    QMessageBox::warning(
        this, loadString(55206),
        u("O arquivo não foi encontrado:\n%1").arg(QDir::toNativeSeparators(path)));
    return;
  }
  try {
    frPreview->LoadFromFile(path);
  } catch (const std::exception& e) {
    QMessageBox::critical(this, loadString(55206), portugueseMessage(e));
  }
}

void TfPreview::fillRecentMenu() {
  RecentMenu->clear();
  const QStringList files = RecentFiles().list();
  int n = 0;
  for (const QString& f : files) {
    ++n;
    QString text = QFileInfo(f).fileName();
    text.replace('&', "&&");
    QAction* a = RecentMenu->addAction((n < 10 ? "&" + QString::number(n) + "  " : "   ") + text);
    a->setToolTip(f);
    a->setStatusTip(f);
    connect(a, &QAction::triggered, this, [this, f] { OpenReport(f); });
  }
  RecentMenu->setEnabled(!files.isEmpty());
}

void TfPreview::dragEnterEvent(QDragEnterEvent* e) {
  if (!droppedReport(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void TfPreview::dropEvent(QDropEvent* e) {
  const QString path = droppedReport(e->mimeData());
  if (path.isEmpty()) return;
  e->acceptProposedAction();
  // The drag's source waits for the drop to finish; the file opens after it.
  QTimer::singleShot(0, this, [this, path] { OpenReport(path); });
}

void TfPreview::RestoreWindow() {
  const QByteArray geometry = previewSettings()->value(kGeometry).toByteArray();
  if (geometry.isEmpty() || !restoreGeometry(geometry)) setWindowState(Qt::WindowMaximized);
}

bool TfPreview::restoreZoom() {
  // The tool bar's buttons follow the zoom through showZoom.
  auto settings = previewSettings();
  if (!settings->contains(kZoomMode)) return false;
  const int mode = settings->value(kZoomMode).toInt();
  const double scale = settings->value(kZoomScale, 1.0).toDouble();
  switch (mode) {
    case zmWholePage:
      frPreview->OnePage();
      return true;
    case zmPageWidth:
      frPreview->PageWidth();
      return true;
    case zmTwoPages:
      frPreview->TwoPages();
      return true;
    default:
      if (!(scale > 0.05 && scale <= 4.0)) return false;
      frPreview->SetZoom(scale * 100);
      return true;
  }
}

void TfPreview::done(int result) {
  auto settings = previewSettings();
  settings->setValue(kGeometry, saveGeometry());
  settings->setValue(kZoomMode, int(lastZoom().Mode));
  settings->setValue(kZoomScale, lastZoom().Scale);
  QDialog::done(result);
}

}  // namespace orv
