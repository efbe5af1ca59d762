#include "preview/job_progress.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

#include "platform/strings.h"

namespace orv {

namespace {
// Redrawing the bar more often than this costs more than the steps it shows.
constexpr int kUpdateMs = 40;

// Work that ran this long without its window has kept the user waiting long
// enough to type or click at the window behind it.
constexpr int kTypeAheadMs = 100;

// Swallows the user's input while it is flushed.
class InputEater : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
        return true;
      default:
        return false;
    }
  }
};

class ProgressWindow : public QProgressDialog {
 public:
  using QProgressDialog::QProgressDialog;
  // Escape and the window's close button cancel the work.
  void reject() override { cancel(); }
};
}  // namespace

int JobProgress::showAfterMs = 400;
int JobProgress::running_ = 0;

JobProgress::JobProgress(QWidget* parent, const QString& caption, int total)
    : dialog_(std::make_unique<ProgressWindow>(parent)), total_(std::max(1, total)) {
  dialog_->setWindowTitle(caption);
  dialog_->setCancelButtonText(loadString(55001));
  dialog_->setRange(0, total_);
  dialog_->setMinimumDuration(std::max(0, showAfterMs));
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setMinimumWidth(320);
  dialog_->setValue(0);
  sinceUpdate_.start();
  sinceStart_.start();
  ++running_;
}

JobProgress::~JobProgress() {
  // Keys and clicks given while the work ran before its window appeared would
  // reach the viewer only now, long after they were meant; an Escape among
  // them would close it. They are dropped, as the window would have taken
  // them. The work still counts as running meanwhile, so that nothing the
  // flush lets through (a reload's timer) touches its pages.
  if (!dialog_->isVisible() && sinceStart_.elapsed() >= kTypeAheadMs) {
    InputEater eater;
    qApp->installEventFilter(&eater);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&eater);
  }
  --running_;
}

bool JobProgress::step(int done, const QString& label) {
  if (dialog_->wasCanceled()) return false;
  if (sinceUpdate_.elapsed() < kUpdateMs && done < total_) return true;
  sinceUpdate_.restart();
  if (!label.isEmpty()) dialog_->setLabelText(label);
  // Once shown, the window-modal dialog lets events run inside setValue; before
  // that nothing runs, so no command can start while the work goes on.
  dialog_->setValue(std::min(done, total_));
  return !dialog_->wasCanceled();
}

bool JobProgress::cancelled() const {
  return dialog_->wasCanceled();
}

}  // namespace orv
