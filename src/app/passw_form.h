#pragma once
#include <QDialog>
#include <memory>

#include "engine/report_ui.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace orv {

// Asks for the password of a protected report template. The second label is
// for a designer that asks twice when a password is set; opening a template
// keeps it hidden.
class TfrPasswForm : public QDialog {
  Q_OBJECT
 public:
  explicit TfrPasswForm(QWidget* parent = nullptr);
  QLabel* L1;
  QLabel* L2;
  QLineEdit* E1;
  QPushButton* Button1;
  QPushButton* Button2;
};

// The reader's answers to the report engine: the password dialog and the
// "Erro" message boxes, over the given window.
std::unique_ptr<ReportUi> makeDialogReportUi(QWidget* parent);

}  // namespace orv
