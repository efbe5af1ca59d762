#include "cli/cli.h"
#include "cli/cli_common.h"
#include "prepared/frp_error.h"

namespace orv::cli {
namespace {

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const bool plain = args.flag("--plain");
  const std::string in = args.positional("IN");
  const std::string out = args.positional("OUT");
  args.done();
  Session s;
  s.load(in);
  s.compressor.setEnabled(!plain);
  try {
    s.report.SavePreparedReport(out);
  } catch (const PreparedFileError& e) {
    throw FileError(e.file, e.reason);
  }
  return kExitOk;
}

Registrar reg({"save", "save IN OUT [--plain]",
               "load a prepared report and write it again (compressed unless --plain)", run});

}  // namespace
}  // namespace orv::cli
