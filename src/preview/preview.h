#pragma once
#include <QFrame>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "prepared/emf_pages.h"
#include "prepared/page_search.h"
#include "prepared/search_cache.h"
#include "preview/page_layout.h"

class QActionGroup;
class QLabel;
class QMenu;
class QScrollBar;
class QToolButton;

namespace orv {

class TfrReport;
class TfrPreview;
class TfrPreviewForm;

// The zoom last chosen in any preview; a newly connected report starts with it.
struct LastZoomState {
  double Scale = 1.0;
  uint8_t Mode = zmCustom;
};
LastZoomState& lastZoom();

// The zoom level after `scale` in a direction (+1 larger, -1 smaller), as
// Ctrl+plus, Ctrl+minus and Ctrl+wheel step: 10 % to 400 %.
double nextZoomLevel(double scale, int direction);

// The paint box: paints the pages and takes the mouse.
class TfrPBox : public QWidget {
  Q_OBJECT
 public:
  explicit TfrPBox(TfrPreviewForm* form);

  bool Down = false;  // dragging
  int LastX = 0, LastY = 0;
  int ClickedPage = 0;
  bool SkipNextDown = false;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  TfrPreviewForm* form_;
};

// The viewing logic and the page area. Never shown as a window of its own:
// the control borrows its page area.
class TfrPreviewForm : public QObject {
  Q_OBJECT
 public:
  explicit TfrPreviewForm(TfrPreview* control);
  ~TfrPreviewForm() override;

  TfrPreview* Control;
  TfrReport* Report = nullptr;
  std::unique_ptr<TfrEMFPages> Pages;  // held while shown
  int CurPage = 1;
  int OfsX = 0, OfsY = 0;
  int OldHPos = 0, OldVPos = 0;
  double Scale = 1.0;
  uint8_t ZoomMode = zmCustom;
  bool PaintEnabled = true;
  int WheelFactor = 1;
  SearchState Search;
  QString LastFindText;    // as typed, offered again by the next find
  SearchCache SearchRuns;  // what searches have read of the held pages
  // The file the held pages came from, absolute; empty for a report's own pages.
  QString FileName;
  PageLayout Layout;  // where the pages sit; LayoutRect of each entry mirrors it
  // The last find's hit, marked on screen until the view next scrolls, zooms
  // or goes to another page; page -1 when nothing is marked.
  struct FoundMark {
    int page = -1;
    Rect found;
  } Mark;

  QWidget* PreviewPanel;
  TfrPBox* PBox;
  QScrollBar* VScrollBar;
  QScrollBar* HScrollBar;
  QToolButton* PgUp;
  QToolButton* PgDown;
  QWidget* RightPanel;
  QWidget* BottomPanel;
  QLabel* Label1;   // page label
  QLabel* Label2;   // link label
  QMenu* ProcMenu;  // zoom popup
  QActionGroup* ZoomGroup;
  QMenu* HostPopup = nullptr;

  // Hooks for the dialogs, so hosts and tests can answer them.
  std::function<QString()> askOpenFile;
  std::function<QString()> askSaveFile;
  // Whether an existing file other than the one shown may be replaced.
  std::function<bool(const QString& path)> confirmReplace;
  // Returns false when cancelled; fills text, case flag and "from first page",
  // which come in as the last search's.
  std::function<bool(QString& text, bool& caseSensitive, bool& fromFirst)> askFind;
  std::function<void(const QString&)> showError;
  std::function<void()> printCommand;
  std::function<void()> exitCommand;

  void Connect(TfrReport* report);
  // Makes `report` the one files are loaded into, without taking pages over:
  // a report that has none yet can still open files.
  void Attach(TfrReport* report) { Report = report; }
  void Disconnect();
  void TakeOver();
  void GiveBack();
  void Clear();
  void ResetView(bool toFirstPage);
  void FormResize();  // layout
  void ScrollToCurrentPage();
  void SetCurPage(int page);
  void UpdateLabel();
  int AllPages() const { return Pages ? Pages->Count() : 0; }

  void SetZoom(double percent);
  void SetZoomMode(uint8_t mode);
  void ZoomItemChosen(int tag);
  // Custom zoom that keeps the report point under `anchor` (paint-box
  // pixels) where it is: Ctrl+wheel zooms around the mouse.
  void ZoomAround(double newScale, QPoint anchor);
  // One zoom level up or down, around the anchor or the box's centre.
  void ZoomStep(int direction, std::optional<QPoint> anchor = std::nullopt);

  // Where the user was before following page links, newest last (Alt+Left).
  struct Place {
    int page;
    double x, y;  // scroll position from the page's corner, in report pixels
  };
  std::vector<Place> Places;
  void RememberPlace();
  // Returns to the last remembered place; false when there is none.
  bool GoBack();

  void LoadFile(const QString& name);
  // Reads FileName again. The new pages replace the old ones only when the
  // whole file loads; otherwise the old pages stay and `error` says why. The
  // current page (as far as the new report has it) and the zoom are kept.
  bool ReloadFile(QString* error);
  void OpenCommand();
  void SaveCommand();
  void SaveTo(QString name);
  void PrintCommand();
  void FindCommand();
  void FindNextCommand();
  // The report's title, else the shown file's name: what documents made from
  // the pages are called.
  QString DocumentTitle() const;
  void ExportPdfCommand();    // "Exportar como PDF..."
  void ExportImageCommand();  // "Exportar página como imagem..."
  void ExportDataCommand();   // "Exportar..." (spreadsheet, CSV, web page, text)
  void ExitCommand();
  // Keys forwarded by a host; returns whether the key was consumed.
  bool KeyDown(int key, Qt::KeyboardModifiers mods);

  // The page target rectangle for drawing, in paint-box pixels.
  Rect PageTarget(int index) const;
  void Paint(QPainter& painter, const QRegion& clip);
  void MouseDown(QPoint pt, Qt::MouseButton button, QPoint global);
  void MouseMove(QPoint pt);
  // Notches down (negative up) and to the right (negative left).
  void Wheel(int notches, int sideways = 0);
  void ShowHit();
  void ClearMark();
  // A passing note for the user ("Texto não encontrado"): the host's status
  // area when it has one, else the link label.
  void ShowStatus(const QString& text);

 private:
  void onVScroll(int pos);
  void onHScroll(int pos);
  // Names the page that fills most of the view, unless a page was just gone to.
  void followView();
  void checkZoomItem();
  void storeLastZoom();
  void markAllInvisible();
  void pagesChanged();
  bool laidOut() const { return Pages && Layout.count() == Pages->Count(); }
  // Scrolls without letting the position choose the current page: the page
  // the user went to stays current even when another one starts its row.
  void scrollKeepingPage(int h, int v);
  void paintMark(QPainter& painter);
  Rect foundOnPage(int index, const Rect& found) const;
  bool keepPage_ = false;
  void reportChanged();
  // Loads a file into a store; when it fails, the printer, its paper and the
  // report's printer name are as they were before (and the store is empty).
  void loadChecked(const QString& name, TfrEMFPages& into);
};

// The preview control a host window places.
class TfrPreview : public QFrame {
  Q_OBJECT
 public:
  enum ScrollBarsKind { ssNone, ssHorizontal, ssVertical, ssBoth };
  explicit TfrPreview(QWidget* parent = nullptr);
  ~TfrPreview() override;

  void Connect(TfrReport* report);
  void Attach(TfrReport* report);
  void Disconnect();
  int Page() const;
  void SetPage(int page);
  int AllPages() const;
  void SetZoom(double percent);
  double Zoom() const;
  void OnePage();
  void PageWidth();
  void TwoPages();
  void First();
  void Prev();
  void Next();
  void Last();
  void LoadFromFile(const QString& name);
  void OpenFile();
  void SaveFile();
  void Print();
  void Find();
  void FindNext();
  void ExportPdf();
  void ExportImage();
  void ExportData();
  void ZoomIn();
  void ZoomOut();
  // Back to where the user was before the last page link followed.
  void Back();
  void Clear();
  void setScrollBars(ScrollBarsKind kind);
  void setPopupMenu(QMenu* menu);
  bool handleKey(int key, Qt::KeyboardModifiers mods);

  TfrPreviewForm* form() const { return form_.get(); }
  std::function<void(TfrPreview&, int)> OnPageChanged;
  // After pages were connected, loaded, reloaded or cleared.
  std::function<void(TfrPreview&)> OnReportChanged;
  std::function<void(const QString&)> OnStatus;
  // After the pages were written to a file (its name, with its extension).
  std::function<void(const QString&)> OnSaved;
  QString FileName() const;

 signals:
  // Any change of the zoom: a command, the popup, a new report.
  void zoomChanged();
  // A page store was taken over, loaded or let go; commands that need pages follow it.
  void pagesChanged();

 private:
  std::unique_ptr<TfrPreviewForm> form_;
  ScrollBarsKind scrollBars_ = ssBoth;
};

}  // namespace orv
