#pragma once
#include <QDialog>
#include <QList>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QFileSystemWatcher;
class QMenu;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolButton;

namespace orv {

class TfrPreview;
class ThumbnailPanel;

// The viewer window: tool bar, menus and the preview control. Every command
// is a thin call into the preview, except go to page, about and close.
class TfPreview : public QDialog {
  Q_OBJECT
 public:
  explicit TfPreview(QWidget* parent = nullptr);

  TfrPreview* frPreview;
  QToolButton *SpdOpen, *SpdSave, *SpdPrint, *SpdFirst, *SpdPrior, *SpdNext, *SpdLast, *Spd100,
      *SpdPagInteira, *SpdLargura, *SpdGoto, *SpdFind, *SpdSobre, *SpdClose;
  QButtonGroup* ZoomButtons;
  // Says what happened where no message box is wanted: a missing file named
  // at start, a reload, a search that found nothing, a zoom by wheel or keys.
  QStatusBar* StatusBar;

  void GotoPage();
  void About();

  // What a Linux desktop adds around the Part's window (viewer_desktop.cpp):
  // file name in the title, recent files, drag and drop, reload when the file
  // changes on disk, and remembered folders, zoom and geometry.
  QMenu* RecentMenu;
  QSplitter* Splitter;  // the thumbnails beside the preview
  ThumbnailPanel* Thumbnails;
  QAction* ShowThumbnails;  // "Exibir" › "Miniaturas", F4
  // Opens a report handed over by the desktop (a drop, the recent list). A
  // file that is gone is said so and leaves the pages as they are.
  void OpenReport(const QString& path);
  // Re-reads the shown file after it changed on disk (run by the watcher).
  void ReloadChangedFile();
  // Saved geometry when there is one, maximised otherwise.
  void RestoreWindow();
  void showStatus(const QString& text);

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void done(int result) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void showZoom();
  void enableCommands();
  void setUpDesktop();
  void reportChanged();
  void fillRecentMenu();
  bool restoreZoom();
  bool activated_ = false;
  QList<QAction*> needPages_;
  void watchFile(const QString& file);
  void fileMayHaveChanged();
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer* reloadTimer_ = nullptr;
  int reloadTries_ = 0;
  // The shown file as it was when last read: a change in any of these, even a
  // new file renamed onto the name, is a new version to read.
  struct FileStamp {
    qint64 device = -1, inode = -1, size = -1, modified = -1;
    bool operator==(const FileStamp&) const = default;
  };
  static FileStamp stampOf(const QString& file);
  QString watchedFile_;
  FileStamp readStamp_;
};

}  // namespace orv
