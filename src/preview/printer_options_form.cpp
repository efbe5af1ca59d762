#include "preview/printer_options_form.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/settings.h"
#include "platform/strings.h"

namespace orv {

namespace {

constexpr const char* kSettingsGroup = "OpcoesDaImpressora";

const std::string* valueOf(const JobOptions& options, const std::string& name) {
  for (const auto& [n, v] : options)
    if (n == name) return &v;
  return nullptr;
}

bool offers(const PrinterOption& option, const std::string& value) {
  return std::any_of(option.choices.begin(), option.choices.end(),
                     [&](const PrinterOption::Choice& c) { return c.value == value; });
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
  for (PrinterOption& o : options_) {
    auto* box = new QComboBox(this);
    for (const PrinterOption::Choice& c : o.choices)
      box->addItem(QString::fromStdString(c.label), QString::fromStdString(c.value));
    // A default the queue does not list among its choices shows as the first
    // one, and leaving that alone is no choice of the user's.
    if (!offers(o, o.defaultValue) && !o.choices.empty()) o.defaultValue = o.choices[0].value;
    const std::string* mine = valueOf(chosen, o.name);
    const std::string& preset = mine && offers(o, *mine) ? *mine : o.defaultValue;
    box->setCurrentIndex(std::max(0, box->findData(QString::fromStdString(preset))));
    auto* label = new QLabel(QString::fromStdString(o.label) + ":", this);
    label->setBuddy(box);
    form->addRow(label, box);
    Boxes.push_back(box);
  }
  if (options_.empty()) {
    NoOptions =
        new QLabel(QString::fromUtf8("Esta impressora não oferece opções além do papel."), this);
    root->addWidget(NoOptions);
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
    const std::string value = Boxes[i]->currentData().toString().toStdString();
    if (value != options_[i].defaultValue) out.emplace_back(options_[i].name, value);
  }
  return out;
}

void restorePrinterOptions(PrinterBackend& backend, int index, const QString& printerName) {
  const QStringList saved =
      previewSettings()->value(QString(kSettingsGroup) + "/" + printerName).toStringList();
  if (saved.isEmpty()) return;
  const std::vector<PrinterOption> offered = backend.printerOptions(index);
  JobOptions options;
  for (const QString& entry : saved) {
    const qsizetype eq = entry.indexOf('=');
    if (eq <= 0) continue;
    const std::string name = entry.left(eq).toStdString();
    const std::string value = entry.mid(eq + 1).toStdString();
    auto it = std::find_if(offered.begin(), offered.end(),
                           [&](const PrinterOption& o) { return o.name == name; });
    if (it != offered.end() && offers(*it, value)) options.emplace_back(name, value);
  }
  backend.setJobOptions(index, options);
}

void rememberPrinterOptions(const QString& printerName, const JobOptions& chosen) {
  QStringList entries;
  for (const auto& [name, value] : chosen)
    entries << QString::fromStdString(name) + "=" + QString::fromStdString(value);
  previewSettings()->setValue(QString(kSettingsGroup) + "/" + printerName, entries);
}

}  // namespace orv
