#pragma once
#include <QDialog>
#include <QList>
#include <functional>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QStatusBar;
class QToolButton;

namespace orv {

class TfrPreview;

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
  // Says what happened where no message box is wanted (a missing file named at start).
  QStatusBar* StatusBar;

  void GotoPage();
  // Sets the page from the go-to-page box's answer.
  void GotoPageText(const QString& answer);
  void About();
  // Replaces the input box in tests; returns the answer (the initial text when cancelled).
  std::function<QString(const QString& initial)> askPage;

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void showZoom();
  void enableCommands();
  bool activated_ = false;
  QList<QAction*> needPages_;
};

}  // namespace orv
