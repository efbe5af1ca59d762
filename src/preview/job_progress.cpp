#include "preview/job_progress.h"

#include <QProgressDialog>
#include <algorithm>

#include "platform/strings.h"

namespace orv {

namespace {
// Redrawing the bar more often than this costs more than the steps it shows.
constexpr int kUpdateMs = 40;

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
  ++running_;
}

JobProgress::~JobProgress() {
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
