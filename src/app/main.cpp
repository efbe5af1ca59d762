#include <QApplication>

#include "app/reports.h"
#include "printing/tfr_printer.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Sistema Orvalen Report Reader");
  QApplication::setApplicationDisplayName("Sistema Orvalen Report Reader");
  orv::TfrPrinter::startUp(nullptr);
  QStringList args = QApplication::arguments();
  const QString executable = args.isEmpty() ? QString() : args.takeFirst();
  orv::TfReports reports(QApplication::applicationFilePath().isEmpty()
                             ? executable
                             : QApplication::applicationFilePath());
  return reports.Run(args);
}
