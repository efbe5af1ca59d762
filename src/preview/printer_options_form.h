#pragma once
#include <QDialog>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "printing/printer_backend.h"

class QComboBox;
class QLabel;

namespace orv {

// "Propriedades": the choices the chosen printer itself offers (two-sided
// printing, colour, quality, pages per sheet, tray), each preset to what the
// user chose last for it, else to the printer's default.
class TfrPrinterOptionsForm : public QDialog {
  Q_OBJECT
 public:
  TfrPrinterOptionsForm(const QString& printerName, std::vector<PrinterOption> options,
                        const JobOptions& chosen, QWidget* parent = nullptr);

  // What the user chose: only the values that differ from the printer's own
  // defaults, so that a queue whose default changes later is followed.
  JobOptions chosen() const;

  // One list per option, in the order the printer gave them.
  std::vector<QComboBox*> Boxes;
  // Shown instead of the lists when the printer offers nothing beyond paper.
  QLabel* NoOptions = nullptr;

 private:
  std::vector<PrinterOption> options_;
};

// The choices remembered for a printer, as the user last confirmed them,
// and handed to the printer for its next jobs. Values the printer no longer
// offers are left out.
void restorePrinterOptions(PrinterBackend& backend, int index, const QString& printerName);
void rememberPrinterOptions(const QString& printerName, const JobOptions& chosen);

}  // namespace orv
