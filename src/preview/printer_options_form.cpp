#include "preview/printer_options_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/strings.h"

namespace orv {

namespace {

const std::string* valueOf(const JobOptions& options, const std::string& name) {
  for (const auto& [n, v] : options)
    if (n == name) return &v;
  return nullptr;
}

bool lists(const PrinterOption& option, const std::string& value) {
  return std::any_of(option.choices.begin(), option.choices.end(),
                     [&value](const PrinterOption::Choice& c) { return c.value == value; });
}

// The values of a several-choices option in the printer's order, so that
// the same set always reads the same.
std::string ordered(const PrinterOption& option, const std::string& value) {
  const std::vector<std::string> wanted = splitValues(value);
  std::vector<std::string> out;
  for (const PrinterOption::Choice& c : option.choices)
    if (std::find(wanted.begin(), wanted.end(), c.value) != wanted.end()) out.push_back(c.value);
  return joinValues(out);
}

QComboBox* choiceList(const PrinterOption& o, QWidget* parent) {
  auto* box = new QComboBox(parent);
  for (const PrinterOption::Choice& c : o.choices) {
    box->addItem(QString::fromStdString(c.label), QString::fromStdString(c.value));
    if (c.available) continue;
    // Shown greyed: the user sees the printer could, were it fitted for it.
    if (auto* model = qobject_cast<QStandardItemModel*>(box->model()))
      model->item(box->count() - 1)->setEnabled(false);
  }
  return box;
}

}  // namespace

TfrPrinterOptionsForm::TfrPrinterOptionsForm(const QString& printerName,
                                             std::vector<PrinterOption> options,
                                             const JobOptions& chosen, QWidget* parent)
    : QDialog(parent), options_(std::move(options)) {
  setWindowTitle(loadString(53042).remove('&') + " - " + printerName);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* root = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  root->addLayout(form);
  QFormLayout* installed = nullptr;
  bool anyChoice = false;
  for (PrinterOption& o : options_) {
    auto* label = new QLabel(QString::fromStdString(o.label) + ":", this);
    Checks.emplace_back();
    if (o.pickMany) {
      o.defaultValue = ordered(o, o.defaultValue);
      const std::string* mine = valueOf(chosen, o.name);
      const std::vector<std::string> preset =
          splitValues(mine && offersValue(o, *mine) ? *mine : o.defaultValue);
      auto* column = new QVBoxLayout;
      for (const PrinterOption::Choice& c : o.choices) {
        auto* check = new QCheckBox(QString::fromStdString(c.label), this);
        check->setChecked(std::find(preset.begin(), preset.end(), c.value) != preset.end());
        check->setEnabled(c.available);
        column->addWidget(check);
        Checks.back().push_back(check);
      }
      if (!Checks.back().empty()) label->setBuddy(Checks.back().front());
      form->addRow(label, column);
      Boxes.push_back(nullptr);
      anyChoice = true;
      continue;
    }
    QComboBox* box = choiceList(o, this);
    // A default the queue does not list among its choices shows as the first
    // one, and leaving that alone is no choice of the user's.
    if (!lists(o, o.defaultValue) && !o.choices.empty()) o.defaultValue = o.choices[0].value;
    const std::string* mine = o.installable ? nullptr : valueOf(chosen, o.name);
    const std::string& preset = mine && offersValue(o, *mine) ? *mine : o.defaultValue;
    box->setCurrentIndex(std::max(0, box->findData(QString::fromStdString(preset))));
    label->setBuddy(box);
    Boxes.push_back(box);
    if (!o.installable) {
      form->addRow(label, box);
      anyChoice = true;
      continue;
    }
    if (!Installed) {
      Installed = new QGroupBox(QString::fromUtf8("Opções instaláveis"), this);
      auto* column = new QVBoxLayout(Installed);
      auto* note = new QLabel(
          QString::fromUtf8("Configuradas pelo administrador da fila de impressão."), Installed);
      note->setWordWrap(true);
      column->addWidget(note);
      installed = new QFormLayout;
      column->addLayout(installed);
      root->addWidget(Installed);
    }
    label->setParent(Installed);
    box->setParent(Installed);
    box->setEnabled(false);
    installed->addRow(label, box);
  }
  if (!anyChoice) {
    NoOptions =
        new QLabel(QString::fromUtf8("Esta impressora não oferece opções além do papel."), this);
    root->insertWidget(0, NoOptions);
  }
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(loadString(55000), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(loadString(55001), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  root->addWidget(buttons);
  setFixedSize(sizeHint());
}

JobOptions TfrPrinterOptionsForm::chosen() const {
  JobOptions out;
  for (size_t i = 0; i < options_.size(); ++i) {
    const PrinterOption& o = options_[i];
    if (o.installable) continue;
    std::string value;
    if (o.pickMany) {
      std::vector<std::string> values;
      for (size_t c = 0; c < Checks[i].size(); ++c)
        if (Checks[i][c]->isChecked()) values.push_back(o.choices[c].value);
      value = joinValues(values);
      // None at all cannot be said to the spooler: it keeps the default.
      if (value.empty()) continue;
    } else {
      value = Boxes[i]->currentData().toString().toStdString();
    }
    if (value != o.defaultValue) out.emplace_back(o.name, value);
  }
  return out;
}

}  // namespace orv
