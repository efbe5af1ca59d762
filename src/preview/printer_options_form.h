#pragma once
#include <QDialog>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "printing/printer_backend.h"
#include "printing/printer_options.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;

namespace orv {

// "Propriedades": the choices the chosen printer itself offers (paper and
// orientation, two-sided printing, colour, quality, pages per sheet, tray,
// the driver's own options), each preset to what the user chose last for it,
// else to the printer's default; below them, what is installed in the
// printer, as its administrator set it up.
class TfrPrinterOptionsForm : public QDialog {
  Q_OBJECT
 public:
  TfrPrinterOptionsForm(const QString& printerName, std::vector<PrinterOption> options,
                        const JobOptions& chosen, QWidget* parent = nullptr);

  // What the user chose: only the values that differ from the printer's own
  // defaults, so that a queue whose default changes later is followed.
  JobOptions chosen() const;

  // One list per option, in the order the printer gave them; null for an
  // option of several choices at once, which has a box per choice instead.
  std::vector<QComboBox*> Boxes;
  std::vector<std::vector<QCheckBox*>> Checks;
  // What is installed in the printer, shown but not changed here; null when
  // the printer tells nothing of it.
  QGroupBox* Installed = nullptr;
  // Shown instead of the lists when the printer offers nothing beyond paper.
  QLabel* NoOptions = nullptr;

 private:
  std::vector<PrinterOption> options_;
};

}  // namespace orv
