#pragma once
#include <QDialog>
#include <QList>

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
  void About();

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
