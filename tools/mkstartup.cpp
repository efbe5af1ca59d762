// Writes the reader's start-up report as the "ReportForm" data the program
// carries in its resources: mkstartup OUT
#include <QGuiApplication>
#include <cstdio>

#include "printing/tfr_printer.h"
#include "startup_template.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkstartup OUT\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  try {
    // The page keeps its paper; the printer it is shown on gives the rest.
    orv::TfrPrinter::startUp(nullptr);
    orv::TfrReport report;
    orv::tools::buildStartupTemplate(report);
    orv::MemoryStream form;
    report.SaveReportForm(form);
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(form.bytes().data(), 1, form.size(), f) != form.size() ||
        std::fclose(f) != 0) {
      std::fprintf(stderr, "mkstartup: cannot write %s\n", argv[1]);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkstartup: %s\n", e.what());
    return 1;
  }
  return 0;
}
