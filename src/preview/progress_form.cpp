#include "preview/progress_form.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/tfr_report.h"
#include "platform/strings.h"

namespace orv {

namespace {
constexpr int kCancelString = 55001;
// The window's private message that starts the job (WM_USER + 1).
const QEvent::Type kStartJob = QEvent::Type(QEvent::User + 1);
}  // namespace

TfrProgressForm::TfrProgressForm(QWidget* parent) : QDialog(parent) {
  setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  Label1 = new QLabel(this);
  Label2 = new QLabel(this);
  Label1->setAlignment(Qt::AlignCenter);
  Label2->setAlignment(Qt::AlignCenter);
  Label1->setMinimumWidth(240);
  Button1 = new QPushButton(this);
  layout->addWidget(Label1);
  layout->addWidget(Label2);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  connect(Button1, &QPushButton::clicked, this, &TfrProgressForm::cancel);
}

int TfrProgressForm::RunWithProgress(TfrReport& report) {
  Button1->setText(loadString(kCancelString));
  report_ = &report;
  Label2->clear();
  QCoreApplication::postEvent(this, new QEvent(kStartJob));
  return exec();
}

bool TfrProgressForm::event(QEvent* e) {
  if (e->type() == kStartJob) {
    if (OnJob) OnJob();
    return true;
  }
  return QDialog::event(e);
}

void TfrProgressForm::cancel() {
  if (report_) report_->Terminated = true;
  reject();
}

void WidgetPrintUi::runWithProgress(TfrReport& report, const QString& caption,
                                    const QString& prefix, const std::function<void()>& job) {
  TfrProgressForm& f = form();
  f.setWindowTitle(caption);
  // Wide enough for the caption (the report's title or file name), which
  // the title bar would otherwise cut in the middle; never wider than most
  // of the screen.
  int width = f.fontMetrics().horizontalAdvance(caption) + 140;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    width = std::min(width, screen->availableGeometry().width() * 4 / 5);
  f.setMinimumWidth(std::max(width, 280));
  f.Label1->setText(prefix);
  f.OnJob = [&f, &report, job] {
    job();
    // A cancelled window is already closing; it must stay a cancel.
    if (!report.Terminated) f.accept();
  };
  f.RunWithProgress(report);
  f.OnJob = nullptr;
}

void WidgetPrintUi::setProgressLabel(const QString& text) {
  form().Label1->setText(text);
}

void WidgetPrintUi::processMessages() {
  QCoreApplication::processEvents();
}

void WidgetPrintUi::showError(const QString& caption, const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), caption, text);
}

void WidgetPrintUi::showNotice(const QString& caption, const QString& text) {
  QMessageBox::information(QApplication::activeWindow(), caption, text);
}

TfrProgressForm& WidgetPrintUi::form() {
  if (!form_) form_ = std::make_unique<TfrProgressForm>();
  return *form_;
}

void installWidgetPrintUi() {
  static WidgetPrintUi ui;
  if (printUi() != &ui) installPrintUi(&ui);
}

}  // namespace orv
