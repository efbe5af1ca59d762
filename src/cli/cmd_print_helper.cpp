// frptool's print and printers commands: they run the helper program that
// holds them, in place of this process, so its output and exit status are
// the command's own.
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/print_commands.h"

namespace orv::cli {
namespace {

int runHelper(const char* command, const std::vector<std::string>& args) {
  const std::string helper =
      QCoreApplication::applicationDirPath().toStdString() + "/" + kPrintHelper;
  std::vector<std::string> words{helper, command};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  execv(helper.c_str(), argv.data());
  throw Error("cannot start " + helper + ": " + std::strerror(errno));
}

int runPrint(const std::vector<std::string>& args) {
  return runHelper("print", args);
}
int runPrinters(const std::vector<std::string>& args) {
  return runHelper("printers", args);
}

Registrar print({"print", kPrintUsage, kPrintSummary, runPrint});
Registrar printers({"printers", kPrintersUsage, kPrintersSummary, runPrinters});

}  // namespace
}  // namespace orv::cli
