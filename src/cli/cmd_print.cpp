#include <QString>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "cli/print_commands.h"
#include "engine/report_print.h"
#include "platform/codepage.h"
#include "platform/strings.h"
#include "printing/cups_backend.h"
#include "printing/print_job.h"
#include "printing/tfr_printer.h"

namespace orv::cli {
namespace {

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string printerName = args.option("--printer");
  const std::string pageList = args.option("--pages");
  const std::string title = args.option("--title");
  const int copies = args.intOption("--copies", "-c", 1);
  const bool collate = args.flag("--collate");
  const bool odd = args.flag("--odd");
  const bool even = args.flag("--even");
  const std::string path = args.positional("FILE");
  args.done();
  if (odd && even) throw UsageError("--odd and --even exclude each other");

  Session s;
  // Printing needs the real printers; the session starts with the virtual one.
  TfrPrinter& printer = TfrPrinter::startUp(makeCupsBackend());
  s.load(path);
  if (printer.VirtualIndex == 0) {
    // Like the viewer's print button, with no printer there is nothing to do.
    std::fprintf(stderr, "frptool: no printer is installed; nothing printed\n");
    return kExitFailure;
  }
  if (s.report.EMFPages.Count() == 0) {
    std::fprintf(stderr, "frptool: %s: the report has no pages; nothing printed\n", path.c_str());
    return kExitFailure;
  }
  if (!printerName.empty()) {
    const std::string wanted = encodeText(QString::fromUtf8(printerName.c_str()), 1252);
    const int index = printer.findPrinter(wanted);
    if (index < 0) throw Error("no printer named \"" + printerName + "\"");
    if (!ChangePrinter(s.report, printer.CurrentIndex, index))
      throw Error(loadString8(55210) + ": " + printerName);
  }

  if (!title.empty()) s.report.Title = encodeText(QString::fromUtf8(title.c_str()), 1252);
  const std::string prefix = loadString(55208).toStdString();
  s.report.OnProgress = [&prefix](int n) { std::fprintf(stderr, "%s  %d\n", prefix.c_str(), n); };
  StartPrint(s.report, pageList, copies, odd ? pfOdd : even ? pfEven : pfAll, collate);
  return kExitOk;
}

Registrar reg({"print", kPrintUsage, kPrintSummary, run});

}  // namespace
}  // namespace orv::cli
