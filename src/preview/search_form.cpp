#include "preview/search_form.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/strings.h"

namespace orv {

TfrPreviewSearchForm::TfrPreviewSearchForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(loadString(53000));
  auto* top = new QVBoxLayout(this);
  auto* label = new QLabel(loadString(53001));
  Edit1 = new QLineEdit;
  label->setBuddy(Edit1);
  top->addWidget(label);
  top->addWidget(Edit1);

  auto* row = new QHBoxLayout;
  auto* options = new QGroupBox(loadString(53002));
  auto* ol = new QVBoxLayout(options);
  CaseCB = new QCheckBox(loadString(53003));
  ol->addWidget(CaseCB);
  ol->addStretch();
  auto* origin = new QGroupBox(loadString(53004));
  auto* gl = new QVBoxLayout(origin);
  FirstRB = new QRadioButton(loadString(53005));
  CurrentRB = new QRadioButton(loadString(53006));
  FirstRB->setChecked(true);
  gl->addWidget(FirstRB);
  gl->addWidget(CurrentRB);
  row->addWidget(options);
  row->addWidget(origin);
  top->addLayout(row);

  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(loadString(55000), QDialogButtonBox::AcceptRole);
  buttons->addButton(loadString(55001), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
  setSizeGripEnabled(false);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrPreviewSearchForm::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  Edit1->setFocus();
  Edit1->selectAll();
}

bool TfrPreviewSearchForm::ask(QWidget* parent, QString& text, bool& caseSensitive,
                               bool& fromFirst) {
  TfrPreviewSearchForm form(parent);
  form.Edit1->setText(text);
  form.CaseCB->setChecked(caseSensitive);
  if (form.exec() != QDialog::Accepted) return false;
  text = form.Edit1->text();
  caseSensitive = form.CaseCB->isChecked();
  fromFirst = form.FirstRB->isChecked();
  return true;
}

}  // namespace orv
