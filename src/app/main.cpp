#include <QApplication>

#include "addins/addins.h"
#include "app/reports.h"
#include "app/translations.h"
#include "printing/cups_backend.h"
#include "printing/tfr_printer.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Sistema Orvalen Report Reader");
  // The windows name themselves ("relatorio.frp — Report Orvalen 1.0"); an
  // empty display name keeps Qt from appending the program's name to them.
  QApplication::setApplicationDisplayName(QString());
  orv::installQtTranslations();
  // Add-in classes register before any report is read; the printers are the
  // system's, with the virtual printer when there are none.
  orv::registerAddIns();
  orv::TfrPrinter::startUp(orv::makeCupsBackend());
  QStringList args = QApplication::arguments();
  const QString executable = args.isEmpty() ? QString() : args.takeFirst();
  orv::TfReports reports(QApplication::applicationFilePath().isEmpty()
                             ? executable
                             : QApplication::applicationFilePath());
  return reports.Run(args);
}
