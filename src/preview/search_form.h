#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace orv {

// The find dialog: the text, the case rule and where to start.
class TfrPreviewSearchForm : public QDialog {
  Q_OBJECT
 public:
  explicit TfrPreviewSearchForm(QWidget* parent = nullptr);

  QLineEdit* Edit1;
  QCheckBox* CaseCB;
  QRadioButton* FirstRB;
  QRadioButton* CurrentRB;

  // Shows a dialog modally, offering the text and case rule passed in (the
  // text selected); false when cancelled.
  static bool ask(QWidget* parent, QString& text, bool& caseSensitive, bool& fromFirst);

 protected:
  void showEvent(QShowEvent* e) override;
};

}  // namespace orv
