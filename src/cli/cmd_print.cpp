#include <QString>
#include <algorithm>
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
#include "printing/printer_options.h"
#include "printing/tfr_printer.h"

namespace orv::cli {
namespace {

// What the user asked of the printer beyond the pages: --sides, --color or
// --gray, and --option NAME=VALUE, in the spooler's own words.
JobOptions jobOptionsOf(Args& args) {
  JobOptions o;
  const std::string sides = args.option("--sides");
  if (!sides.empty()) {
    if (sides != "one-sided" && sides != "two-sided-long-edge" && sides != "two-sided-short-edge")
      throw UsageError("--sides takes one-sided, two-sided-long-edge or two-sided-short-edge");
    o.emplace_back("sides", sides);
  }
  const bool color = args.flag("--color");
  const bool gray = args.flag("--gray");
  if (color && gray) throw UsageError("--color and --gray exclude each other");
  if (color || gray) o.emplace_back("print-color-mode", color ? "color" : "monochrome");
  for (std::string v; !(v = args.option("--option")).empty();) {
    const size_t eq = v.find('=');
    if (eq == 0 || eq == std::string::npos || eq + 1 == v.size())
      throw UsageError("--option takes NAME=VALUE, not \"" + v + "\"");
    o.emplace_back(v.substr(0, eq), v.substr(eq + 1));
  }
  return o;
}

// Refuses a choice the queue lists but does not offer in that value (or
// whose hardware is not installed), an installed-hardware setting, and
// two-sided printing on a queue that has none, before anything is drawn.
void checkOffered(const JobOptions& wanted, const std::vector<PrinterOption>& offered,
                  const std::string& queue) {
  for (const auto& option : wanted) {
    // Named copies: clang 14 lets no lambda capture a structured binding.
    const std::string& name = option.first;
    const std::string& value = option.second;
    auto it = std::find_if(offered.begin(), offered.end(),
                           [&](const PrinterOption& o) { return o.name == name; });
    if (it == offered.end()) {
      if (name == "sides" && value != "one-sided")
        throw Error("the printer \"" + queue + "\" does not print on both sides");
      continue;
    }
    if (it->installable)
      throw Error("\"" + name + "\" says what is installed in the printer \"" + queue +
                  "\"; its administrator sets it up (lpadmin -p " + queue + " -o " + name +
                  "=...)");
    if (offersValue(*it, value)) continue;
    std::string values, missing;
    for (const PrinterOption::Choice& c : it->choices) {
      if (c.available) values += (values.empty() ? "" : ", ") + c.value;
      const std::vector<std::string> asked =
          it->pickMany ? splitValues(value) : std::vector<std::string>{value};
      if (!c.available && std::find(asked.begin(), asked.end(), c.value) != asked.end())
        missing = c.value;
    }
    if (!missing.empty())
      throw Error("the printer \"" + queue + "\" cannot print " + name + "=" + missing +
                  ": what it needs is not installed in the printer");
    throw Error("the printer \"" + queue + "\" offers no " + name + "=" + value + " (it offers " +
                values + ")");
  }
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string printerName = args.option("--printer");
  const std::string pageList = args.option("--pages");
  const std::string title = args.option("--title");
  const int copies = args.intOption("--copies", "-c", 1);
  const bool collate = args.flag("--collate");
  const bool odd = args.flag("--odd");
  const bool even = args.flag("--even");
  const JobOptions options = jobOptionsOf(args);
  const bool savedOptions = !args.flag("--no-saved-options");
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

  // The printer the job goes to: the system printer, which --printer moved.
  // The model itself may stand on the virtual printer a loaded report was
  // laid out for, and options set for that one would be lost.
  PrinterBackend* backend = printer.backend();
  const int target =
      backend ? std::clamp(backend->currentIndex(), 0, printer.VirtualIndex - 1) : -1;
  const std::string queue = target >= 0 ? toUtf8(printer.PrinterList[target]) : std::string();
  if (backend) {
    // What the user chose for this printer in the reader, unless asked not
    // to; an option given here takes the place of the remembered one.
    JobOptions chosen;
    if (savedOptions)
      chosen =
          savedPrinterOptions(*backend, target, decodeBytes(printer.PrinterList[target], 1252));
    if (!options.empty()) checkOffered(options, backend->printerOptions(target), queue);
    for (const auto& option : options) {
      auto same = std::find_if(chosen.begin(), chosen.end(),
                               [&option](const auto& c) { return c.first == option.first; });
      if (same != chosen.end())
        same->second = option.second;
      else
        chosen.push_back(option);
    }
    backend->setJobOptions(target, chosen);
  }

  if (!title.empty()) s.report.Title = encodeText(QString::fromUtf8(title.c_str()), 1252);
  // Nothing reaches the spooler until every page is drawn, so while they are
  // drawn the lines say so; what was sent is said once the spooler took it.
  int drawn = 0;
  s.report.OnProgress = [&drawn](int n) {
    ++drawn;
    std::fprintf(stderr, "Preparando página:  %d\n", n);
  };
  StartPrint(s.report, pageList, copies, odd ? pfOdd : even ? pfEven : pfAll, collate);
  if (drawn > 0)
    std::fprintf(stderr, "%s à impressora \"%s\": %d %s.\n", drawn == 1 ? "Enviada" : "Enviadas",
                 queue.c_str(), drawn, drawn == 1 ? "página" : "páginas");
  return kExitOk;
}

Registrar reg({"print", kPrintUsage, kPrintSummary, run});

}  // namespace
}  // namespace orv::cli
