// Writes large, realistic prepared reports for tests and benchmarks:
//   frpgen OUT.frp [--pages N] [--seed S] [--plain] [--no-picture]
// or, with --template, the sample report template (".frf") instead; with
// --band NAME one of the small band-engine templates (band_templates.h).
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "band_templates.h"
#include "prepared/compressor.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"
#include "template_builder.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  orv::tools::ReportSpec spec;
  std::string out;
  bool plain = false;
  bool asTemplate = false;
  std::string bandKind;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--pages" && i + 1 < argc)
      spec.pages = std::atoi(argv[++i]);
    else if (a == "--seed" && i + 1 < argc)
      spec.seed = uint32_t(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--plain")
      plain = true;
    else if (a == "--no-picture")
      spec.picture = false;
    else if (a == "--template")
      asTemplate = true;
    else if (a == "--band" && i + 1 < argc)
      bandKind = argv[++i];
    else if (out.empty() && a[0] != '-')
      out = a;
    else {
      std::fprintf(
          stderr,
          "usage: frpgen OUT.frp [--pages N] [--seed S] [--plain] [--no-picture] | --template "
          "[--band title|five|pages|groups|split|cross|orders|sales]\n");
      return 64;
    }
  }
  if (out.empty() || spec.pages < 0) {
    std::fprintf(
        stderr,
        "usage: frpgen OUT.frp [--pages N] [--seed S] [--plain] [--no-picture] | --template "
        "[--band title|five|pages|groups|split|cross|orders|sales]\n");
    return 64;
  }
  try {
    orv::TfrPrinter::startUp(nullptr);
    orv::TfrLZWCompressor compressor;
    compressor.setEnabled(!plain);
    orv::TfrReport report;
    if (asTemplate) {
      orv::tools::BandTemplate kind;
      if (bandKind == "orders")
        orv::tools::buildOrdersListing(report);
      else if (bandKind == "sales")
        orv::tools::buildSalesListing(report);
      else if (orv::tools::bandTemplateByName(bandKind, kind))
        orv::tools::buildBandTemplate(report, kind);
      else if (bandKind.empty())
        orv::tools::buildSampleTemplate(report);
      else
        throw std::runtime_error("unknown band template " + bandKind);
      report.SaveToFile(out);
      return 0;
    }
    orv::tools::buildListing(report, spec);
    report.SavePreparedReport(out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "frpgen: %s\n", e.what());
    return 2;
  }
  return 0;
}
