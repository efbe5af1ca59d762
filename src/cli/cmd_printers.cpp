#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "cli/print_commands.h"
#include "printing/cups_backend.h"
#include "printing/printer_options.h"
#include "printing/tfr_printer.h"

namespace orv::cli {
namespace {

// The choices the queue offers beyond paper, as `print --option` names them.
void printOptions(TfrPrinter& p, bool json, std::string& out) {
  const std::vector<PrinterOption> options = p.backend() && !p.isVirtual()
                                                 ? p.backend()->printerOptions(p.CurrentIndex)
                                                 : std::vector<PrinterOption>();
  if (json) {
    out += ",\"options\":[";
    for (size_t i = 0; i < options.size(); ++i) {
      const PrinterOption& o = options[i];
      out += std::string(i ? "," : "") + "{\"name\":" + jsonString(o.name) +
             ",\"label\":" + jsonString(o.label) + ",\"default\":" + jsonString(o.defaultValue) +
             ",\"pickMany\":" + (o.pickMany ? "true" : "false") +
             ",\"installable\":" + (o.installable ? "true" : "false") + ",\"choices\":[";
      for (size_t c = 0; c < o.choices.size(); ++c)
        out += std::string(c ? "," : "") + "{\"value\":" + jsonString(o.choices[c].value) +
               ",\"label\":" + jsonString(o.choices[c].label) +
               ",\"available\":" + (o.choices[c].available ? "true" : "false") + "}";
      out += "]}";
    }
    out += "]";
    return;
  }
  if (options.empty()) return;
  std::printf("  options: %d\n", int(options.size()));
  // The default is starred; a choice the installed hardware rules out is
  // marked, as is an option that only says what is installed.
  for (const PrinterOption& o : options) {
    const std::vector<std::string> defaults =
        o.pickMany ? splitValues(o.defaultValue) : std::vector<std::string>{o.defaultValue};
    std::string values;
    for (const PrinterOption::Choice& c : o.choices) {
      const bool isDefault = std::find(defaults.begin(), defaults.end(), c.value) != defaults.end();
      values += " " + (c.value.empty() ? std::string("\"\"") : c.value) + (isDefault ? "*" : "") +
                (c.available ? "" : "(not installed)");
    }
    std::printf("    %s (%s)%s:%s\n", o.name.c_str(), o.label.c_str(),
                o.installable ? " [installed]"
                : o.pickMany  ? " [several]"
                              : "",
                values.c_str());
  }
}

void printCurrent(const TfrPrinter& p, bool json, std::string& out) {
  if (json) {
    out += ",\"virtual\":" + std::string(p.isVirtual() ? "true" : "false");
    if (!p.isVirtual()) out += ",\"dpi\":" + std::to_string(p.Caps.logPixelsX);
    out += ",\"papers\":[";
    for (int i = 0; i < p.PaperCodeCount; ++i) {
      if (i) out += ",";
      out += "{\"code\":" + std::to_string(p.PaperCodes[i]) +
             ",\"name\":" + jsonString(toUtf8(p.PaperNameList[i])) + "}";
    }
    out += "],\"bins\":[";
    for (int i = 0; i < p.BinCount && !p.isVirtual(); ++i) {
      if (i) out += ",";
      out += "{\"code\":" + std::to_string(p.BinCodes[i]) +
             ",\"name\":" + jsonString(toUtf8(p.BinNameList[i])) + "}";
    }
    out += "]}";
    return;
  }
  if (!p.isVirtual())
    std::printf("  resolution: %d x %d dpi\n", p.Caps.logPixelsX, p.Caps.logPixelsY);
  std::printf("  papers: %d\n", p.PaperCodeCount);
  for (int i = 0; i < p.PaperCodeCount; ++i)
    std::printf("    %d %s\n", p.PaperCodes[i], toUtf8(p.PaperNameList[i]).c_str());
  if (p.isVirtual()) return;
  std::printf("  bins: %d\n", p.BinCount);
  for (int i = 0; i < p.BinCount; ++i)
    std::printf("    %d %s\n", p.BinCodes[i], toUtf8(p.BinNameList[i]).c_str());
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const bool json = args.flag("--json");
  args.done();
  TfrPrinter& p = TfrPrinter::startUp(makeCupsBackend());
  const int current = p.CurrentIndex;
  const std::vector<std::string> names = p.PrinterList;
  std::string out = "[";
  for (int i = 0; i < int(names.size()); ++i) {
    p.SelectPrinter(i);
    // A printer without a usable driver falls back to the virtual printer.
    const bool usable = p.CurrentIndex == i;
    const std::string name = toUtf8(names[i]);
    if (json) {
      if (i) out += ",";
      out += "{\"name\":" + jsonString(name) + ",\"current\":" + (i == current ? "true" : "false") +
             ",\"usable\":" + (usable ? "true" : "false");
      printOptions(p, true, out);
      printCurrent(p, true, out);
    } else {
      std::printf("%s%s%s\n", name.c_str(), i == current ? " (current)" : "",
                  usable ? "" : " (not usable: shown as the virtual printer)");
      printCurrent(p, false, out);
      printOptions(p, false, out);
    }
  }
  if (json) std::printf("%s]\n", out.c_str());
  return kExitOk;
}

Registrar reg({"printers", kPrintersUsage, kPrintersSummary, run});

}  // namespace
}  // namespace orv::cli
