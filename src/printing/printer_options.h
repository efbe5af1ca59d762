#pragma once
#include <QString>
#include <string>
#include <vector>

#include "printing/printer_backend.h"

namespace orv {

// Whether the option offers that value: one of its choices that the
// installed printer allows; for several choices at once, each of them.
bool offersValue(const PrinterOption& option, const std::string& value);

// The choices remembered for a printer as the user last confirmed them in
// the reader, kept in its settings by the printer's name. Values the
// printer no longer offers are left out, so an old choice never reaches a
// queue that changed.
JobOptions savedPrinterOptions(PrinterBackend& backend, int index, const QString& printerName);
void rememberPrinterOptions(const QString& printerName, const JobOptions& chosen);
// Hands the remembered choices to the printer for its next jobs.
void restorePrinterOptions(PrinterBackend& backend, int index, const QString& printerName);

}  // namespace orv
