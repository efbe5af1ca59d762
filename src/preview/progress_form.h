#pragma once
#include <QDialog>
#include <functional>

#include "engine/report_print.h"

class QLabel;
class QPushButton;

namespace orv {

class TfrReport;

// The small window a long job runs inside: two centred labels and Cancel.
// The job starts from the window's own event queue once it is shown, and
// closes the window with OK when it has finished; Cancel sets the report's
// Terminated flag, which the job sees after the page it is printing.
class TfrProgressForm : public QDialog {
  Q_OBJECT
 public:
  explicit TfrProgressForm(QWidget* parent = nullptr);

  // Shows the window modally and runs the callback from inside it.
  int RunWithProgress(TfrReport& report);

  QLabel* Label1;
  QLabel* Label2;
  QPushButton* Button1;
  std::function<void()> OnJob;

 protected:
  bool event(QEvent* e) override;

 private:
  void cancel();
  TfrReport* report_ = nullptr;
};

// The progress window and message boxes, installed for the print job.
class WidgetPrintUi : public PrintUi {
 public:
  void runWithProgress(TfrReport& report, const QString& caption, const QString& prefix,
                       const std::function<void()>& job) override;
  void setProgressLabel(const QString& text) override;
  void processMessages() override;
  void showError(const QString& caption, const QString& text) override;
  void showNotice(const QString& caption, const QString& text) override;
  TfrProgressForm& form();

 private:
  std::unique_ptr<TfrProgressForm> form_;
};

// Installs the widget windows for printing, once for the program.
void installWidgetPrintUi();

}  // namespace orv
